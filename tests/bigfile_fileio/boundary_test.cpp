// The accepting side of the handle layer's limits: the longest name and
// directory part a lookup takes, entries that end exactly at the end of
// the archive, and the last free slot of the handle table.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <orvobf/ORVOBF.H>
#include <orvobf/archive_writer.h>
#include "temp_dir.h"

namespace {

class HandleBoundary : public ::testing::Test {
protected:
    void OpenArchive(const orvobf::writer::RawArchive& a) {
        file = dir.Write("b.bf", a.bytes());
        ASSERT_EQ(bf.Init(BIGFILE_HEADER_VERSION), 1);
        ASSERT_EQ(bf.Open(file.c_str(), 0), 1) << bf.GetLastErrorText();
    }
    std::string Read(FileHandle h, uint32_t count, int* ok) {
        std::string out(count, '\0');
        uint32_t got = 0;
        *ok = bf.FileRead(h, out.data(), count, &got);
        out.resize(got);
        return out;
    }

    TempDir dir;
    std::string file;
    BigFile bf;
};

TEST_F(HandleBoundary, LongestNameAndDirectoryPartStillOpen) {
    const std::string name259(259, 'n'), dir254(254, 'D');
    orvobf::writer::RawArchive a;
    a.Header(1, 3, 32, 0).Block(3);
    a.Dir(dir254).Block(1).File("f", 1, 0);
    a.File(name259, 1, 0).File(name259 + "x", 1, 0);
    OpenArchive(a);
    FileHandle h = 0;
    EXPECT_EQ(bf.FileOpen(name259.c_str(), &h, BF_MODE_BINARY), 1) << bf.GetLastErrorText();
    // The directory part runs to the last separator: 255 characters.
    EXPECT_EQ(bf.FileOpen((dir254 + "/f").c_str(), &h, BF_MODE_BINARY), 1) << bf.GetLastErrorText();
    EXPECT_EQ(bf.FileOpen(("C:" + dir254 + "\\f").c_str(), &h, BF_MODE_BINARY), 1) << "the drive is not counted";

    bf.SetError(0, 0);
    EXPECT_EQ(bf.FileOpen((name259 + "x").c_str(), &h, BF_MODE_BINARY), 0);
    EXPECT_EQ(bf.GetErrorCode(), BFE_BAD_PARAMETER);
    bf.SetError(0, 0);
    EXPECT_EQ(bf.FileOpen(("/" + dir254 + "/f").c_str(), &h, BF_MODE_BINARY), 0);
    EXPECT_EQ(bf.GetErrorCode(), BFE_BAD_PARAMETER);
}

TEST_F(HandleBoundary, EntriesEndingExactlyAtTheArchivesEnd) {
    // "last" takes the archive's last 5 bytes, "empty" starts at its very
    // end, "over" runs one byte past it.
    const auto archive = [](uint32_t data) {
        orvobf::writer::RawArchive a;
        a.Header(0, 3, 32, 0).Block(3).File("empty", 0, data + 5).File("last", 5, data).File("over", 5, data + 1);
        return a;
    };
    OpenArchive(archive(static_cast<uint32_t>(archive(0).size())).Bytes("12345"));

    FileHandle last = 0, empty = 0, over = 0;
    ASSERT_EQ(bf.FileOpen("last", &last, BF_MODE_BINARY), 1);
    ASSERT_EQ(bf.FileOpen("empty", &empty, BF_MODE_BINARY), 1);
    ASSERT_EQ(bf.FileOpen("over", &over, BF_MODE_BINARY), 1);
    int ok = 0;
    EXPECT_EQ(Read(last, 5, &ok), "12345");
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(bf.FileEof(last), 0);
    EXPECT_EQ(Read(last, 1, &ok), "");
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(bf.FileEof(last), 1);
    ASSERT_EQ(bf.FileSeek(last, 1, 2), 1);  // one byte before the end
    EXPECT_EQ(Read(last, 9, &ok), "5");
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(bf.FileTell(last), 5);

    EXPECT_EQ(Read(empty, 1, &ok), "");
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(bf.FileEof(empty), 1);
    ASSERT_EQ(bf.FileSeek(empty, 0, 2), 1);

    EXPECT_EQ(Read(over, 5, &ok), "2345");
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(bf.GetErrorCode(), BFE_FILE_IO);
}

TEST_F(HandleBoundary, TheLastFreeSlotIsHandedOutForDiskAndArchiveAlike) {
    orvobf::writer::RawArchive a;
    a.Header(0, 1, 32, 0).Block(1).File("f", 0, 0);
    OpenArchive(a);
    const std::string disk = dir.Write("disk.bin", {'d'});
    bf.SetSearchArchive(0);
    std::vector<FileHandle> open;
    for (uint32_t i = 1; i < BF_HANDLE_COUNT; ++i) {
        FileHandle h = 0;
        ASSERT_EQ(bf.FileOpen(disk.c_str(), &h, BF_MODE_BINARY), 1) << i;
        EXPECT_EQ(h, static_cast<FileHandle>(i));
        open.push_back(h);
    }
    FileHandle h = 0;
    bf.SetError(0, 0);
    EXPECT_EQ(bf.FileOpen(disk.c_str(), &h, BF_MODE_BINARY), 0);
    EXPECT_EQ(h, -1);
    EXPECT_EQ(bf.GetErrorCode(), 0);

    // The last slot freed goes to an archive entry.
    bf.SetSearchArchive(1);
    ASSERT_EQ(bf.FileClose(255), 1);
    ASSERT_EQ(bf.FileOpen("f", &h, BF_MODE_BINARY), 1);
    EXPECT_EQ(h, 255);
    EXPECT_EQ(bf.FileOpen("f", &h, BF_MODE_BINARY), 0);
    EXPECT_EQ(h, 0);
}

}  // namespace

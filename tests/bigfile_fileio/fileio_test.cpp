// Files through the handle table: end-of-file rules, seeks, several
// handles on one stream, lookups and their longest names, entries that end
// at the archive's end, disk handles, text mode, truncated archives, bad
// handles and the debug log.
#include <filesystem>
#include <fstream>
#include <regex>

#include "fileio_fixture.h"
#include <orvobf/platform.h>
#include <orvobf/platform_test_hooks.h>

namespace {
const std::string kTen = "0123456789";
}

TEST_F(ArchiveFixture, EndOfFileOnlyPastTheEndAndSeeksStayInsideTheEntry) {
    Make({{"ten", kTen}, {"next", "NEXT"}});
    FileHandle h = OpenOk("ten");
    EXPECT_EQ(bf.FileSize(h), 10);
    EXPECT_EQ(Read(h, 10), kTen);
    EXPECT_EQ(bf.FileEof(h), 0);
    EXPECT_EQ(Read(h, 1), "");
    EXPECT_EQ(bf.FileEof(h), 1);
    ASSERT_EQ(bf.FileSeek(h, 0, 0), 1);
    EXPECT_EQ(bf.FileEof(h), 0);
    EXPECT_EQ(bf.FileTell(h), 0);
    EXPECT_EQ(Read(h, 20), kTen);  // never the next entry's bytes
    EXPECT_EQ(bf.FileEof(h), 1);
    ASSERT_EQ(bf.FileSeek(h, 3, 0), 1);
    EXPECT_EQ(Read(h, 1), "3");  // the one-byte path
    EXPECT_EQ(bf.FileTell(h), 4);

    EXPECT_EQ(bf.FileSeek(h, 0, 2), 1);
    EXPECT_EQ(bf.FileTell(h), 10);
    EXPECT_EQ(bf.FileSeek(h, 10, 2), 1);  // from the end, counted backwards
    EXPECT_EQ(bf.FileTell(h), 0);
    EXPECT_EQ(bf.FileSeek(h, 4, 1), 1);
    const int32_t code = bf.GetErrorCode();
    EXPECT_EQ(bf.FileSeek(h, -1, 2), 0);
    EXPECT_EQ(bf.FileSeek(h, 11, 0), 0);
    EXPECT_EQ(bf.FileSeek(h, -5, 1), 0);
    EXPECT_EQ(bf.FileSeek(h, INT32_MAX, 1), 0);  // no wrap into a neighbour
    EXPECT_EQ(bf.GetErrorCode(), code);         // out of range sets no code
    EXPECT_EQ(bf.FileTell(h), 4);
    EXPECT_EQ(bf.FileSeek(h, 10, 0), 1);
    EXPECT_EQ(bf.FileSeek(h, 99, 7), 1);  // other origins go to the start
    EXPECT_EQ(Read(h, 2), "01");
}

TEST_F(ArchiveFixture, HandlesReadTheirOwnBytesInTurns) {
    std::string big(100000, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + i / 256);
    Make({{"big", big}, {"ten", kTen}});
    FileHandle a = OpenOk("big"), b = OpenOk("big"), c = OpenOk("ten");
    std::string gotA, gotB, gotC;
    for (int round = 0; round < 40; ++round) {
        gotA += Read(a, 1000 + round);
        gotB += Read(b, 3 - round % 3);
        if (round % 4 == 0) gotC += Read(c, 1);
        if (round == 20) {
            ASSERT_EQ(bf.FileSeek(b, 0, 1), 1);  // seeking B leaves A alone
        }
    }
    EXPECT_EQ(gotA, big.substr(0, gotA.size()));
    EXPECT_EQ(gotB, big.substr(0, gotB.size()));
    EXPECT_EQ(gotC, kTen);

    // Reads are positioned: no handle moves a stream position that another
    // handle would have to put back, whatever the order of reads and seeks.
    const uint64_t seeks = orvobf::platform::StreamSeekCount();
    ASSERT_EQ(bf.FileSeek(a, 0, 0), 1);
    EXPECT_EQ(Read(a, 10), big.substr(0, 10));
    EXPECT_EQ(Read(b, 1), big.substr(gotB.size(), 1));
    EXPECT_EQ(Read(a, 100), big.substr(10, 100));
    EXPECT_EQ(orvobf::platform::StreamSeekCount(), seeks);
}

TEST_F(ArchiveFixture, SlotsAreLowestFirstAndRunOutAt255ForDiskAndArchiveAlike) {
    Make({{"f", "x"}});
    const std::string disk = dir.Write("disk.bin", {'d'});
    bf.SetSearchArchive(0);
    for (FileHandle i = 1; i < 255; ++i) ASSERT_EQ(OpenOk(disk.c_str()), i);
    bf.SetSearchArchive(1);
    EXPECT_EQ(OpenOk("f"), 255);  // the last slot goes to an archive entry
    // No slot left: no code set, and each kind hands back its own value.
    FileHandle more = 99;
    bf.SetError(0, 0);
    EXPECT_EQ(bf.FileOpen("f", &more, BF_MODE_BINARY), 0);
    EXPECT_EQ(more, 0);
    bf.SetSearchArchive(0);
    EXPECT_EQ(bf.FileOpen(disk.c_str(), &more, BF_MODE_BINARY), 0);
    EXPECT_EQ(more, -1);
    EXPECT_EQ(bf.GetErrorCode(), 0);
    bf.SetSearchArchive(1);
    EXPECT_EQ(bf.FileClose(17), 1);
    EXPECT_EQ(OpenOk("f"), 17);
    ASSERT_EQ(bf.Close(), 1);  // closes every handle
    EXPECT_EQ(bf.FindFreeHandle(), 1);
}

TEST_F(ArchiveFixture, LookupSplitsThePathLikeTheRuntime) {
    Make({{"Top/Sub/File.Txt", "deep"}, {"root.bin", "r"}});
    EXPECT_EQ(Read(OpenOk("top\\SUB/file.txt"), 9), "deep");
    EXPECT_EQ(Read(OpenOk("C:/Top/Sub/File.Txt"), 9), "deep");
    ASSERT_EQ(bf.ChangeDir("Top"), 1);
    EXPECT_EQ(Read(OpenOk("Sub/File.Txt"), 9), "deep");
    EXPECT_EQ(Read(OpenOk("\\root.bin"), 9), "r");
    FileHandle h = 5;
    EXPECT_EQ(bf.FileOpen("root.bin", &h, BF_MODE_BINARY), 0);  // not in Top
    EXPECT_EQ(h, 0);
    EXPECT_EQ(bf.FileOpen("Sub", &h, BF_MODE_BINARY), 0);  // a directory
    while (bf.dirStackDepth < 255) ASSERT_EQ(bf.PushDir(), 1);
    EXPECT_EQ(bf.FileOpen("Sub/File.Txt", &h, BF_MODE_BINARY), 0);
    EXPECT_EQ(bf.GetErrorCode(), BFE_DIR_STACK_FULL);
    EXPECT_EQ(bf.dirStackDepth, 255u);
    EXPECT_EQ(bf.FileOpen(nullptr, &h, 0), 0);
    EXPECT_EQ(bf.GetErrorDetail(), 1u);
    EXPECT_EQ(bf.FileOpen("x", nullptr, 0), 0);
    EXPECT_EQ(bf.GetErrorDetail(), 2u);
}

TEST_F(ArchiveFixture, LongestNameAndDirectoryPartStillOpen) {
    const std::string name259(259, 'n'), dir254(254, 'D');
    orvobf::writer::RawArchive a;
    a.Header(1, 3, 32, 0).Block(3);
    a.Dir(dir254).Block(1).File("f", 1, 0);
    a.File(name259, 1, 0).File(name259 + "x", 1, 0);
    Make(a);
    OpenOk(name259.c_str());
    // The directory part runs to the last separator: 255 characters.
    OpenOk((dir254 + "/f").c_str());
    OpenOk(("C:" + dir254 + "\\f").c_str());  // the drive is not counted

    FileHandle h = 0;
    bf.SetError(0, 0);
    EXPECT_EQ(bf.FileOpen((name259 + "x").c_str(), &h, BF_MODE_BINARY), 0);
    EXPECT_EQ(bf.GetErrorCode(), BFE_BAD_PARAMETER);
    bf.SetError(0, 0);
    EXPECT_EQ(bf.FileOpen(("/" + dir254 + "/f").c_str(), &h, BF_MODE_BINARY), 0);
    EXPECT_EQ(bf.GetErrorCode(), BFE_BAD_PARAMETER);
}

TEST_F(ArchiveFixture, EntriesEndingExactlyAtTheArchivesEnd) {
    // "last" takes the archive's last 5 bytes, "empty" starts at its very
    // end.
    const auto archive = [](uint32_t data) {
        orvobf::writer::RawArchive a;
        a.Header(0, 2, 32, 0).Block(2).File("empty", 0, data + 5).File("last", 5, data);
        return a;
    };
    Make(archive(static_cast<uint32_t>(archive(0).size())).Bytes("12345"));
    const FileHandle last = OpenOk("last"), empty = OpenOk("empty");
    EXPECT_EQ(Read(last, 5), "12345");
    EXPECT_EQ(Read(last, 1), "");
    EXPECT_EQ(bf.FileEof(last), 1);
    ASSERT_EQ(bf.FileSeek(last, 1, 2), 1);  // one byte before the end
    EXPECT_EQ(Read(last, 9), "5");
    EXPECT_EQ(bf.FileTell(last), 5);
    EXPECT_EQ(bf.FileSize(empty), 0);
    EXPECT_EQ(Read(empty, 1), "");
    EXPECT_EQ(bf.FileEof(empty), 1);
    ASSERT_EQ(bf.FileSeek(empty, 0, 2), 1);
}

TEST_F(ArchiveFixture, DiskHandlesFollowTheSettings) {
    Make({{"only-in-archive", "A"}, {"both", "archive"}});
    const std::string disk = dir.File("both");
    { std::ofstream(disk, std::ios::binary) << "disk copy of both"; }
    bf.SetSearchArchive(0);
    FileHandle h = 0;
    EXPECT_EQ(bf.FileOpen("only-in-archive", &h, BF_MODE_BINARY), 0);
    EXPECT_EQ(bf.GetErrorCode(), BFE_CANNOT_OPEN);
    bf.SetSearchArchive(1);
    bf.SetDiskFirst(1);
    h = OpenOk(disk.c_str());
    EXPECT_EQ(bf.handleKinds[h], 0u);
    EXPECT_EQ(bf.FileSize(h), 17);
    EXPECT_EQ(bf.FileSeek(h, -10, 2), 1);
    EXPECT_EQ(Read(h, 100), "py of both");
    EXPECT_EQ(bf.FileEof(h), 1);
    EXPECT_EQ(bf.FileSeek(h, 0, 7), 0);
    EXPECT_EQ(Read(OpenOk("only-in-archive"), 5), "A");  // falls back
}

TEST_F(ArchiveFixture, TextModeJoinsCrLfAcrossPiecesAndStaysInTheEntry) {
    const std::string text = "a\r\nb\r\r\n\r\nc\r";
    Make({{"t.txt", text}, {"u.txt", "\nNEXT"}});
    for (uint32_t piece = 1; piece <= 5; ++piece) {
        FileHandle h = OpenOk("t.txt", BF_MODE_TEXT);
        std::string got;
        while (!bf.FileEof(h)) got += Read(h, piece);
        EXPECT_EQ(got, "a\nb\r\n\nc\r") << piece;
        bf.FileClose(h);
    }
}

TEST_F(ArchiveFixture, TruncatedArchiveReportsShortReads) {
    Make({{"a", std::string(1000, 'a')}, {"b", std::string(1000, 'b')}});
    bf.Close();
    std::filesystem::resize_file(archive, std::filesystem::file_size(archive) - 1500);
    ASSERT_EQ(bf.Open(archive.c_str(), 0), 1);
    FileHandle a = OpenOk("a"), b = OpenOk("b");
    int ok = 1;
    EXPECT_EQ(Read(a, 2000, &ok), std::string(500, 'a'));
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(bf.GetErrorCode(), BFE_FILE_IO);
    EXPECT_EQ(bf.FileEof(a), 0);  // not an end the entry has
    EXPECT_EQ(Read(b, 1, &ok), "");
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(bf.GetErrorCode(), BFE_FILE_IO);
}

TEST_F(ArchiveFixture, BadHandlesFailOnEveryOperation) {
    Make({{"f", "x"}});
    FileHandle closed = OpenOk("f");
    bf.FileClose(closed);
    char byte;
    uint32_t got;
    for (FileHandle h : {0, -1, 256, 100000, closed}) {
        EXPECT_EQ(bf.FileRead(h, &byte, 1, &got), 0);
        EXPECT_EQ(bf.GetErrorCode(), BFE_BAD_HANDLE);
        EXPECT_EQ(bf.FileSeek(h, 0, 0), 0);
        EXPECT_EQ(bf.FileTell(h), -1);
        EXPECT_EQ(bf.FileSize(h), -1);
        EXPECT_EQ(bf.FileEof(h), 1);
        EXPECT_EQ(bf.FileClose(h), 0);
    }
    orvobf::platform::FailAllocationAfter(1);
    FileHandle h = 7;
    EXPECT_EQ(bf.FileOpen("f", &h, BF_MODE_BINARY), 0);
    orvobf::platform::FailAllocationAfter(0);
    EXPECT_EQ(bf.GetErrorCode(), BFE_MEMORY);
    EXPECT_EQ(bf.FindFreeHandle(), 1);
}

TEST_F(ArchiveFixture, LogLinesHaveTheirExactTexts) {
    Make({{"f", "xyz"}});
    const std::string log = dir.File("log.txt");
    ASSERT_EQ(bf.SetLogFile(log.c_str()), 1);
    FileHandle h = OpenOk("f");
    Read(h, 2);
    bf.FileClose(h);
    const std::string disk = dir.File("disk");
    { std::ofstream(disk) << "d"; }
    bf.SetDiskFirst(1);
    bf.FileClose(OpenOk(disk.c_str()));  // disk handles log nothing
    bf.Log("%s %d", "value", 42);
    ASSERT_EQ(bf.SetLogFile(nullptr), 1);
    const std::string text = FileBytes(log);
    EXPECT_TRUE(std::regex_match(text, std::regex("[ 0-9]{7}[0-9] : Opening file \\[f\\] in mode 32768 handle 1\n\n"
                                                  "[ 0-9]{7}[0-9] : Reading 2 bytes of file 1\n"
                                                  "[ 0-9]{7}[0-9] : Closing file 1 \n"
                                                  "[ 0-9]{7}[0-9] : value 42\n")))
        << text;
    EXPECT_EQ(bf.SetLogFile(dir.File("no/such/dir/x.log").c_str()), 0);
    bf.Log("nothing");  // no log: nothing happens
}

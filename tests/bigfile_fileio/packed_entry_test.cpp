// Packed entries through the handle table read, seek and report exactly
// like stored entries of the same contents; text mode is refused and
// damaged images fail cleanly.
#include <filesystem>
#include <random>

#include "fileio_fixture.h"
#include "random_reads.h"

namespace {

using PackedEntryTest = ArchiveFixture;

// Entries of every size from none to past many checkpoints, read in uneven
// pieces with seeks from every origin, then at their end.
TEST_F(PackedEntryTest, ReadsAndSeeksOfEverySizeMatchTheContents) {
    std::map<std::string, std::string> files;
    for (size_t size : {0, 1, 16, 17, 1000, 70000, 3 * 1024 * 1024 + 99})
        files["p/f" + std::to_string(size)] = Contents(size, static_cast<unsigned>(size));
    Make(files, "p/");
    std::mt19937 rng(8);
    for (const auto& [name, contents] : files) {
        SCOPED_TRACE(name);
        struct {
            BigFile& bf;
            FileHandle h;
            int32_t Tell() { return bf.FileTell(h); }
            bool Seek(int32_t offset, int32_t origin) { return bf.FileSeek(h, offset, origin) == 1; }
            bool Read(unsigned char* to, int32_t count) {
                uint32_t got = 0;
                return bf.FileRead(h, to, static_cast<uint32_t>(count), &got) == 1 && got == static_cast<uint32_t>(count);
            }
        } access{bf, OpenOk(name.c_str())};
        const auto size = static_cast<int32_t>(contents.size());
        EXPECT_EQ(bf.FileSize(access.h), size);
        const auto* bytes = reinterpret_cast<const unsigned char*>(contents.data());
        ExpectRandomReadsThrough(access, bytes, contents.size(), rng, 600, 40000, PACKED_CHECKPOINT_SPACING);

        // A read across the end comes short and sets end-of-file; a seek
        // clears it; no seek goes past the end.
        ASSERT_EQ(bf.FileSeek(access.h, std::min(size, 3), 2), 1);
        EXPECT_EQ(Read(access.h, 10), contents.substr(contents.size() - std::min<size_t>(contents.size(), 3)));
        EXPECT_EQ(bf.FileEof(access.h), 1);
        ASSERT_EQ(bf.FileSeek(access.h, 0, 0), 1);
        EXPECT_EQ(bf.FileEof(access.h), 0);
        EXPECT_EQ(bf.FileSeek(access.h, size + 1, 0), 0);
        ASSERT_EQ(bf.FileClose(access.h), 1);
    }
}

TEST_F(PackedEntryTest, TextModeAndDamagedOrMismatchedImagesFailInsteadOfInventingBytes) {
    const std::string text = Contents(100000, 9);
    Make({{"p/a", text}, {"p/b", text}, {"p/dir/c", "ccc ccc ccc ccc ccc ccc"}}, "p/");
    // Text mode is refused, and the refused open moves no directory and
    // keeps no slot.
    ASSERT_EQ(bf.ChangeDir("p"), 1);
    DirNode* here = bf.current;
    EXPECT_EQ(FailedOpen("dir/c", BF_MODE_TEXT), BFE_PACKED_TEXT_MODE);
    EXPECT_EQ(bf.current, here);
    EXPECT_EQ(bf.dirStackDepth, 0u);
    EXPECT_EQ(OpenOk("dir/c"), 1);

    const FileRecord ra = *bf.FindFile("a");
    const FileRecord rb = *bf.FindFile("b");
    const uint32_t dataBase = bf.dataBase;
    bf.Close();
    // The image names another total than the record.
    {
        FILE* f = std::fopen(archive.c_str(), "r+b");
        ASSERT_NE(f, nullptr);
        std::fseek(f, static_cast<long>(dataBase + ra.offset), SEEK_SET);
        const unsigned char other[4] = {0x10, 0, 0, 0};
        std::fwrite(other, 1, 4, f);
        std::fclose(f);
    }
    // The archive ends in the middle of b's image.
    std::filesystem::resize_file(archive, dataBase + rb.offset + rb.packed / 2);
    ASSERT_EQ(bf.Open(archive.c_str(), 0), 1);
    EXPECT_EQ(FailedOpen("p/a"), BFE_PACKED_STREAM);

    const FileHandle h = OpenOk("p/b");
    std::string got;
    int ok = 1;
    for (int i = 0; i < 100 && ok && !bf.FileEof(h); ++i) {
        const std::string piece = Read(h, 8192, &ok);
        if (ok) got += piece;
    }
    EXPECT_EQ(ok, 0) << "a cut image must not read as complete";
    EXPECT_EQ(bf.GetErrorCode(), BFE_PACKED_STREAM);
    EXPECT_LT(got.size(), text.size());
    EXPECT_EQ(got, text.substr(0, got.size())) << "what was delivered is real data";
}

}  // namespace

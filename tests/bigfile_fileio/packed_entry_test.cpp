// Packed entries through the handle table read, seek and report exactly
// like stored entries of the same contents; damaged ones fail cleanly.
#include <filesystem>
#include <random>

#include "fileio_fixture.h"
#include "random_reads.h"

namespace {

using PackedEntryTest = ArchiveFixture;

TEST_F(PackedEntryTest, ChunkedReadsSeeksAndEndMatchTheContents) {
    std::map<std::string, std::string> files;
    const size_t sizes[] = {0, 1, 16, 17, 1000, 70000, 300001};
    for (size_t size : sizes) files["p/f" + std::to_string(size)] = SampleText(size, static_cast<uint32_t>(size));
    Make(files, "p/");
    std::mt19937 rng(3);
    for (const auto& [name, contents] : files) {
        FileHandle h = OpenOk(name.c_str());
        ASSERT_EQ(bf.FileSize(h), static_cast<int32_t>(contents.size()));
        std::string got;
        while (!bf.FileEof(h)) {
            const std::string piece = Read(h, 1 + rng() % 20000);
            got += piece;
            ASSERT_EQ(bf.FileTell(h), static_cast<int32_t>(got.size())) << name;
            if (piece.empty()) break;
        }
        EXPECT_EQ(got, contents) << name;
        EXPECT_EQ(bf.FileEof(h), 1);

        // Back to the start, then to places from every origin.
        ASSERT_EQ(bf.FileSeek(h, 0, 0), 1);
        EXPECT_EQ(bf.FileEof(h), 0);
        EXPECT_EQ(Read(h, 5), contents.substr(0, 5));
        const int32_t size = static_cast<int32_t>(contents.size());
        if (size > 40) {
            ASSERT_EQ(bf.FileSeek(h, size / 2, 0), 1);
            EXPECT_EQ(Read(h, 10), contents.substr(static_cast<size_t>(size / 2), 10));
            ASSERT_EQ(bf.FileSeek(h, -20, 1), 1);
            EXPECT_EQ(Read(h, 3), contents.substr(static_cast<size_t>(size / 2 - 10), 3));
            ASSERT_EQ(bf.FileSeek(h, 7, 2), 1);
            EXPECT_EQ(Read(h, 100), contents.substr(contents.size() - 7));
            EXPECT_EQ(bf.FileEof(h), 1);
        }
        EXPECT_EQ(bf.FileSeek(h, size + 1, 0), 0);
        ASSERT_EQ(bf.FileClose(h), 1);
    }
}

TEST_F(PackedEntryTest, RandomSeeksAroundCheckpointsReadTheContents) {
    const std::string contents = SampleText(3 * 1024 * 1024 + 99, 4);
    Make({{"p/big", contents}}, "p/");
    struct {
        BigFile& bf;
        FileHandle h;
        int32_t Tell() { return bf.FileTell(h); }
        bool Seek(int32_t offset, int32_t origin) { return bf.FileSeek(h, offset, origin) == 1; }
        bool Read(unsigned char* to, int32_t count) {
            uint32_t got = 0;
            return bf.FileRead(h, to, static_cast<uint32_t>(count), &got) == 1 && got == static_cast<uint32_t>(count);
        }
    } access{bf, OpenOk("p/big")};
    std::mt19937 rng(8);
    const auto* bytes = reinterpret_cast<const unsigned char*>(contents.data());
    ExpectRandomReadsThrough(access, bytes, contents.size(), rng, 600, 40000, PACKED_CHECKPOINT_SPACING);
    ASSERT_EQ(bf.FileSeek(access.h, 0, 2), 1);
    EXPECT_EQ(Read(access.h, 10), "");
    EXPECT_EQ(bf.FileEof(access.h), 1);
    ASSERT_EQ(bf.FileSeek(access.h, -3, 1), 1);
    EXPECT_EQ(Read(access.h, 10), contents.substr(contents.size() - 3));
}

TEST_F(PackedEntryTest, PackedAndStoredHandlesInTurnsAndTextModeRefused) {
    const std::string a = SampleText(200000, 1), b = SampleText(150000, 2);
    Make({{"p/a", a}, {"s/b", b}, {"p/dir/c", "ccc ccc ccc ccc ccc ccc"}}, "p/");
    FileHandle ha = OpenOk("p/a"), hb = OpenOk("s/b"), ha2 = OpenOk("p/a");
    std::string gotA, gotB, gotA2;
    for (int round = 0; round < 60; ++round) {
        gotA += Read(ha, 3333);
        gotB += Read(hb, 2500 + round);
        if (round % 3 == 0) gotA2 += Read(ha2, 1);
    }
    EXPECT_EQ(gotA, a.substr(0, gotA.size()));
    EXPECT_EQ(gotB, b.substr(0, gotB.size()));
    EXPECT_EQ(gotA2, a.substr(0, gotA2.size()));

    ASSERT_EQ(bf.ChangeDir("p"), 1);
    DirNode* here = bf.current;
    FileHandle text = -1;
    EXPECT_EQ(bf.FileOpen("dir/c", &text, BF_MODE_TEXT), 0);
    EXPECT_EQ(bf.GetErrorCode(), BFE_PACKED_TEXT_MODE);
    EXPECT_EQ(text, 0);
    EXPECT_EQ(bf.current, here);
    EXPECT_EQ(bf.dirStackDepth, 0u);
    const FileHandle next = OpenOk("dir/c");
    EXPECT_EQ(next, ha2 + 1);  // the refused open kept no slot
    EXPECT_EQ(Read(next, 100), "ccc ccc ccc ccc ccc ccc");
}

TEST_F(PackedEntryTest, DamagedOrMismatchedImagesFailInsteadOfInventingBytes) {
    const std::string text = SampleText(100000, 9);
    Make({{"p/a", text}, {"p/b", text}}, "p/");
    bf.ChangeDir("p");
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
    FileHandle h = -1;
    EXPECT_EQ(bf.FileOpen("p/a", &h, BF_MODE_BINARY), 0);
    EXPECT_EQ(bf.GetErrorCode(), BFE_PACKED_STREAM);

    h = OpenOk("p/b");
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

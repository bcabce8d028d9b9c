// Packed archives from the writer: each file's packing choice is honoured,
// and every entry reads back through the handle table as it went in.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>

#include <orvobf/archive_writer.h>
#include <orvobf/ORVOBF.H>
#include "temp_dir.h"

namespace {

std::string ReadEntry(BigFile& bf, const char* path) {
    FileHandle h = 0;
    EXPECT_EQ(bf.FileOpen(path, &h, BF_MODE_BINARY), 1) << path << ": " << bf.GetLastErrorText();
    std::string out, piece(70000, '\0');
    uint32_t got = 0;
    while (bf.FileRead(h, piece.data(), static_cast<uint32_t>(piece.size()), &got) && got) out.append(piece, 0, got);
    bf.FileClose(h);
    return out;
}

TEST(WriterPacking, ChoicesAreHonouredAndEveryEntryReadsBack) {
    TempDir dir;
    std::mt19937 rng(5);
    std::string text, noise(200000, '\0');
    while (text.size() < 1024 * 1024) text += "entry " + std::to_string(rng() % 5000) + " of the tree\n";
    for (char& c : noise) c = static_cast<char>(rng());
    std::map<std::string, std::string> files = {
        {"text.txt", text}, {"noise.bin", noise}, {"empty", ""}, {"tiny", "sixteen bytes!!"}, {"d/e/f", text.substr(0, 5000)}};
    {
        std::ofstream(dir.File("disk.txt"), std::ios::binary) << text;
    }

    for (const orvobf::writer::Packing mode : {orvobf::writer::Packing::Pack, orvobf::writer::Packing::PackIfSmaller}) {
        orvobf::writer::ArchiveBuilder builder;
        builder.SetDefaultPacking(mode);
        std::string error;
        for (const auto& [path, contents] : files) ASSERT_TRUE(builder.AddFile(path, contents, &error)) << error;
        ASSERT_TRUE(builder.AddDiskFile("disk.txt", dir.File("disk.txt"), &error)) << error;
        ASSERT_TRUE(builder.AddFile("kept.txt", text, &error, orvobf::writer::Packing::Store)) << error;
        const std::string archive = dir.File("packed.bf");
        ASSERT_TRUE(builder.Write(archive, &error)) << error;

        BigFile bf;
        ASSERT_EQ(bf.Init(BIGFILE_HEADER_VERSION), 1);
        ASSERT_EQ(bf.Open(archive.c_str(), 0), 1) << bf.GetLastErrorText();
        const bool always = mode == orvobf::writer::Packing::Pack;
        EXPECT_GT(bf.FindFile("text.txt")->packed, 0u);
        EXPECT_LT(bf.FindFile("text.txt")->packed, text.size() / 2);
        EXPECT_EQ(bf.FindFile("noise.bin")->packed != 0, always);  // no saving: stored when it may be
        EXPECT_EQ(bf.FindFile("empty")->packed != 0, always);
        EXPECT_EQ(bf.FindFile("kept.txt")->packed, 0u);
        for (const auto& [path, contents] : files) EXPECT_EQ(ReadEntry(bf, path.c_str()), contents) << path;
        EXPECT_EQ(ReadEntry(bf, "disk.txt"), text);
        EXPECT_EQ(ReadEntry(bf, "kept.txt"), text);
        // Nothing beyond the last entry: a stored copy over a longer image
        // leaves no tail.
        uint64_t end = 0;
        for (const char* path : {"text.txt", "noise.bin", "empty", "tiny", "disk.txt", "kept.txt"}) {
            const FileRecord* r = bf.FindFile(path);
            end = std::max<uint64_t>(end, uint64_t{bf.dataBase} + r->offset + (r->packed ? r->packed : r->size));
        }
        bf.ChangeDir("d/e");
        const FileRecord* r = bf.FindFile("f");
        end = std::max<uint64_t>(end, uint64_t{bf.dataBase} + r->offset + r->packed);
        EXPECT_EQ(std::filesystem::file_size(archive), end);
    }
}

}  // namespace

// The writer against the reader: exact layout, and trees that come back
// as they went in.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include <orvobf/archive_writer.h>
#include <orvobf/ORVOBF.H>
#include "temp_dir.h"

namespace {
namespace fs = std::filesystem;

void Le(std::string& s, uint32_t v) {
    for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>(v >> (8 * i)));
}

// Every path in the archive ("/" after a directory's) with the bytes its
// record points at.
std::map<std::string, std::string> Collect(BigFile& bf, const std::string& archive) {
    const std::string bytes = FileBytes(archive);
    std::map<std::string, std::string> out;
    BigFileWalker walker(bf);
    for (WalkEntry e{}; walker.Next(&e);) {
        if (e.kind == BF_KIND_DIR) {
            out[std::string(e.path) + "/"] = "";
        } else {
            const uint64_t at = uint64_t{bf.dataBase} + e.record->offset;
            EXPECT_LE(at + e.record->size, bytes.size()) << e.path;
            out[e.path] = at + e.record->size <= bytes.size() ? bytes.substr(at, e.record->size) : "";
        }
    }
    return out;
}
}  // namespace

TEST(Writer, SmallTreeHasTheExactLayoutTheReaderExpects) {
    TempDir dir;
    orvobf::writer::ArchiveBuilder builder;
    std::string error;
    ASSERT_TRUE(builder.AddFile("d/f", "abc", &error)) << error;
    const std::string path = dir.File("small.bf");
    ASSERT_TRUE(builder.Write(path, &error)) << error;

    std::string expected("OrvoBF - 2.02.0\x1A", 16);
    for (uint32_t v : {1u, 1u, 32u, 70u}) Le(expected, v);
    Le(expected, 1), Le(expected, 1), expected += 'd', Le(expected, 1);
    Le(expected, 1), Le(expected, 1), expected += 'f', Le(expected, 2);
    Le(expected, 3), Le(expected, 0), Le(expected, 0);
    expected += "abc";
    ASSERT_EQ(expected.size(), 73u);
    EXPECT_EQ(FileBytes(path), expected);
}

TEST(Writer, FolderTreeComesBackThroughTheReader) {
    TempDir dir;
    const fs::path src = dir.File("src");
    fs::create_directories(src / "Levels" / "act_1");
    fs::create_directories(src / "empty");
    std::map<std::string, std::string> files = {
        {"ReadMe.TXT", "read me"},
        {"zero", ""},
        {"Levels/act_1/Map.lvl", std::string(300000, '\x7f') + "end"},
#ifndef _WIN32  // narrow names there are in the ANSI code page, not bytes
        {"Levels/\xC9t\xE9.bin", "high bytes"},
#endif
        {"Levels/_first", "underscore"},
    };
    for (const auto& [name, contents] : files) std::ofstream(src / name, std::ios::binary) << contents;
    std::error_code ec;
    fs::create_symlink("ReadMe.TXT", src / "link", ec);
    if (!ec) files["link"] = files["ReadMe.TXT"];  // what a link points to goes in

    std::string error;
    orvobf::writer::ArchiveBuilder builder;
    ASSERT_TRUE(builder.AddFolder("", src.string(), &error)) << error;
    const std::string archive = dir.File("tree.bf");
    ASSERT_TRUE(builder.Write(archive, &error)) << error;

    BigFile bf;
    ASSERT_EQ(bf.Init(BIGFILE_HEADER_VERSION), 1);
    ASSERT_EQ(bf.Open(archive.c_str(), 0), 1) << bf.GetLastErrorText();
    EXPECT_EQ(bf.fileCount, files.size());
    EXPECT_EQ(bf.dirCount, 3u);
    std::map<std::string, std::string> expected = files;
    for (const char* folder : {"Levels/", "Levels/act_1/", "empty/"}) expected[folder] = "";
    EXPECT_EQ(Collect(bf, archive), expected);
}

// Names through the writer: the ones it refuses, each named, from memory
// and from a folder; and the order in which it lays out the ones it takes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <orvobf/archive_writer.h>
#include <orvobf/ORVOBF.H>
#include "temp_dir.h"

namespace {
namespace fs = std::filesystem;

}  // namespace

TEST(WriterNames, EveryRefusedNameIsNamed) {
    orvobf::writer::ArchiveBuilder builder;
    std::string error;
    ASSERT_TRUE(builder.AddFile("Same", "x", &error));
    ASSERT_TRUE(builder.AddDirectory("Dir", &error));
    // Each with the name as the message shows it.
    const std::pair<std::string, std::string> refused[] = {
        {"1:x", "'1:x'"}, {"_:y", "'_:y'"}, {".", "'.'"}, {"..", "'..'"}, {"a\\b", "'a\\\\b'"},
        {std::string("n\0ul", 4), "'n\\x00ul'"}, {"sAME", "'sAME'"}, {"dir", "'dir'"},
        {std::string(256, 'n'), "'" + std::string(256, 'n') + "'"}, {"Dir/..", "'Dir/..'"},
        {"Same/inner", "'Same/inner'"}, {"x/./y", "'x/./y'"}, {"ok/C:\x1b[2J", "'ok/C:\\x1b[2J'"},
    };
    for (const auto& [name, shown] : refused) {
        error.clear();
        EXPECT_FALSE(builder.AddFile(name, "data", &error)) << shown;
        EXPECT_NE(error.find(shown), std::string::npos) << shown << ": " << error;
    }
    const std::string longest(255, 'n');
    EXPECT_TRUE(builder.AddFile(longest, "255", &error)) << error;
    EXPECT_TRUE(builder.AddFile("Dir/Same", "", &error)) << error;  // other directory
    EXPECT_EQ(builder.FileCount(), 3u);
    EXPECT_EQ(builder.DirCount(), 1u);
    TempDir dir;
    ASSERT_TRUE(builder.Write(dir.File("names.bf"), &error)) << error;
    BigFile bf;
    ASSERT_EQ(bf.Init(BIGFILE_HEADER_VERSION), 1);
    ASSERT_EQ(bf.Open(dir.File("names.bf").c_str(), 0), 1);
    ASSERT_NE(bf.FindFile(longest.c_str()), nullptr);
    EXPECT_EQ(bf.FindFile(longest.c_str())->size, 3u);

#ifndef _WIN32  // such names cannot be made on disk there
    // From a folder: the whole folder is looked at, and every refusal named
    // by its disk path on a line of its own.
    const fs::path src = dir.File("src");
    fs::create_directories(src / "2:d");
    fs::create_directories(src / "sub");
    for (const std::string name : {"1:x", "_:y", "a\\b", "Same", "same", "ok", "2:d/inside", "sub/_:z"})
        std::ofstream(src / name) << "x";
    std::ofstream(src / longest) << "x";
    orvobf::writer::ArchiveBuilder folder;
    EXPECT_FALSE(folder.AddFolder("", src.string(), &error));
    const std::string prefix = src.string() + "/";
    EXPECT_EQ(error, prefix + "1:x: name begins with a drive prefix\n" +
                         prefix + "2:d: name begins with a drive prefix\n" +
                         prefix + "_:y: name begins with a drive prefix\n" +
                         prefix + "a\\\\b: name contains a path separator\n" +
                         prefix + "same: differs from " + prefix +
                         "Same only in case (names are compared without regard to case)\n" +
                         prefix + "sub/_:z: name begins with a drive prefix");
#endif
}

TEST(WriterNames, EntriesAreLaidOutInTheReadersOrder) {
    // Added out of order; the reader's order folds A-Z to a-z and compares
    // bytes, so '[' (0x5B) < '_' < letters, "b.txt" < "b2" < "c", and in
    // Zeta "x" < "Y". Plain byte order would differ in each of these.
    orvobf::writer::ArchiveBuilder builder;
    std::string error;
    for (const auto& [path, contents] : std::vector<std::pair<std::string, std::string>>{
             {"c", "C!"}, {"Zeta/Y", "Y22"}, {"b.txt", "bt"}, {"Zeta/x", "x1"},
             {"B2", ""}, {"[x]", "["}, {"A.txt", "aaa"}, {"_under", "u"}})
        ASSERT_TRUE(builder.AddFile(path, contents, &error)) << error;
    TempDir dir;
    const std::string path = dir.File("order.bf");
    ASSERT_TRUE(builder.Write(path, &error)) << error;

    orvobf::writer::RawArchive expected;
    expected.Header(1, 8, 32, 0);
    expected.Block(7)
        .File("[x]", 1, 0)
        .File("_under", 1, 1)
        .File("A.txt", 3, 2)
        .File("b.txt", 2, 5)
        .File("B2", 0, 7)
        .File("c", 2, 7)
        .Dir("Zeta")
        .Block(2)
        .File("x", 2, 9)
        .File("Y", 3, 11);
    expected.DataBaseHere().Bytes("[uaaabtC!x1Y22");
    EXPECT_EQ(FileBytes(path), expected.bytes());
}

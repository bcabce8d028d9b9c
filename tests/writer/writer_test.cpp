// The writer against the reader: the exact layout, the names it refuses,
// and trees from a folder and from memory that come back as they went in
// with each packing choice. What it touches on disk: nothing that was
// already beside the archive, and only the source files it scanned.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <orvobf/archive_writer.h>
#include <orvobf/ORVOBF.H>
#include "temp_dir.h"

namespace {
namespace fs = std::filesystem;
using Files = std::vector<std::pair<std::string, std::string>>;

void Le(std::string& s, uint32_t v) {
    for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>(v >> (8 * i)));
}

// Every path in the archive ("/" after a directory's) with the bytes read
// through the handle table; `end` gets where the last entry's bytes stop.
std::map<std::string, std::string> ReadBack(BigFile& bf, uint64_t* end) {
    std::map<std::string, std::string> out;
    *end = 0;
    BigFileWalker walker(bf);
    for (WalkEntry e{}; walker.Next(&e);) {
        if (e.kind == BF_KIND_DIR) {
            out[std::string(e.path) + "/"] = "";
            continue;
        }
        const FileRecord& r = *e.record;
        *end = std::max<uint64_t>(*end, uint64_t{bf.dataBase} + r.offset + (r.packed ? r.packed : r.size));
        FileHandle h = 0;
        EXPECT_EQ(bf.FileOpen(e.path, &h, BF_MODE_BINARY), 1) << e.path << ": " << bf.GetLastErrorText();
        std::string& bytes = out[e.path];
        std::string piece(70000, '\0');
        for (uint32_t got = 0; bf.FileRead(h, piece.data(), static_cast<uint32_t>(piece.size()), &got) && got;)
            bytes.append(piece, 0, got);
        bf.FileClose(h);
    }
    return out;
}
}  // namespace

TEST(Writer, ExactLayoutInTheReadersOrder) {
    TempDir dir;
    const auto written = [&](const Files& files) {
        orvobf::writer::ArchiveBuilder builder;
        std::string error;
        for (const auto& [path, contents] : files) EXPECT_TRUE(builder.AddFile(path, contents, &error)) << error;
        EXPECT_TRUE(builder.Write(dir.File("a.bf"), &error)) << error;
        return FileBytes(dir.File("a.bf"));
    };
    // Spelled out here, apart from the format constants the writer shares.
    std::string small("OrvoBF - 2.02.0\x1A", 16);
    for (uint32_t v : {1u, 1u, 32u, 70u, 1u, 1u}) Le(small, v);
    small += 'd';
    for (uint32_t v : {1u, 1u, 1u}) Le(small, v);
    small += 'f';
    for (uint32_t v : {2u, 3u, 0u, 0u}) Le(small, v);
    EXPECT_EQ(written({{"d/f", "abc"}}), small + "abc");

    // Added out of order; the reader's order folds A-Z to a-z and compares
    // bytes, so '[' (0x5B) < '_' < letters, "b.txt" < "b2" < "c", and in
    // Zeta "x" < "Y". Plain byte order would differ in each of these.
    orvobf::writer::RawArchive expected;
    expected.Header(1, 8, 32, 0).Block(7).File("[x]", 1, 0).File("_under", 1, 1).File("A.txt", 3, 2);
    expected.File("b.txt", 2, 5).File("B2", 0, 7).File("c", 2, 7).Dir("Zeta").Block(2).File("x", 2, 9).File("Y", 3, 11);
    expected.DataBaseHere().Bytes("[uaaabtC!x1Y22");
    EXPECT_EQ(written({{"c", "C!"}, {"Zeta/Y", "Y22"}, {"b.txt", "bt"}, {"Zeta/x", "x1"}, {"B2", ""}, {"[x]", "["},
                       {"A.txt", "aaa"}, {"_under", "u"}}),
              expected.bytes());
}

TEST(Writer, EveryRefusedNameIsNamed) {
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
}

TEST(Writer, FolderAndMemoryTreesComeBackWithEachPackingChoice) {
    TempDir dir;
    std::mt19937 rng(5);
    std::string text, noise(200000, '\0');
    while (text.size() < 1024 * 1024) text += "entry " + std::to_string(rng() % 5000) + " of the tree\n";
    for (char& c : noise) c = static_cast<char>(rng());
    const fs::path src = dir.File("src");
    fs::create_directories(src / "Levels" / "act_1");
    fs::create_directories(src / "empty");
    std::map<std::string, std::string> files = {
        {"ReadMe.TXT", "read me"}, {"zero", ""}, {"noise.bin", noise}, {"Levels/act_1/Map.lvl", text.substr(0, 5000)},
#ifndef _WIN32  // narrow names there are in the ANSI code page, not bytes
        {"Levels/\xC9t\xE9.bin", "high bytes"},
#endif
        {"Levels/_first", "underscore"},
    };
    for (const auto& [name, contents] : files) std::ofstream(src / name, std::ios::binary) << contents;
    const Files memory = {{"text.txt", text}, {"tiny", "sixteen bytes!!"}, {"mem/d/nothing", ""}};

    for (const orvobf::writer::Packing mode : {orvobf::writer::Packing::Pack, orvobf::writer::Packing::PackIfSmaller}) {
        orvobf::writer::ArchiveBuilder builder;
        builder.SetDefaultPacking(mode);
        std::string error;
        ASSERT_TRUE(builder.AddFolder("", src.string(), &error)) << error;
        for (const auto& [path, contents] : memory) ASSERT_TRUE(builder.AddFile(path, contents, &error)) << error;
        ASSERT_TRUE(builder.AddFile("kept.txt", text, &error, orvobf::writer::Packing::Store)) << error;
        const std::string archive = dir.File("tree.bf");
        ASSERT_TRUE(builder.Write(archive, &error)) << error;

        BigFile bf;
        ASSERT_EQ(bf.Init(BIGFILE_HEADER_VERSION), 1);
        ASSERT_EQ(bf.Open(archive.c_str(), 0), 1) << bf.GetLastErrorText();
        const bool always = mode == orvobf::writer::Packing::Pack;
        EXPECT_GT(bf.FindFile("text.txt")->packed, 0u);
        EXPECT_LT(bf.FindFile("text.txt")->packed, text.size() / 2);
        EXPECT_EQ(bf.FindFile("noise.bin")->packed != 0, always);  // no saving: stored when it may be
        EXPECT_EQ(bf.FindFile("zero")->packed != 0, always);
        EXPECT_EQ(bf.FindFile("kept.txt")->packed, 0u);
        EXPECT_EQ(bf.fileCount, files.size() + memory.size() + 1);
        EXPECT_EQ(bf.dirCount, 5u);
        std::map<std::string, std::string> expected = files;
        expected.insert(memory.begin(), memory.end());
        expected["kept.txt"] = text;
        for (const char* folder : {"Levels/", "Levels/act_1/", "empty/", "mem/", "mem/d/"}) expected[folder] = "";
        uint64_t end = 0;
        EXPECT_EQ(ReadBack(bf, &end), expected);
        // Nothing beyond the last entry: a stored copy over a longer image
        // leaves no tail.
        EXPECT_EQ(fs::file_size(archive), end);
    }
}

TEST(WriterOutput, LeavesWhatIsBesideTheArchiveAlone) {
    TempDir dir;
    const fs::path out = dir.File("out");
    fs::create_directories(out);
    std::ofstream(out / "a.bf.partial") << "keep me";
    std::ofstream(out / "victim") << "precious";
    std::error_code noLinks;
    fs::create_symlink("victim", out / "b.bf.partial", noLinks);
    std::ofstream(out / "c.bf") << "an older archive";

    for (const char* name : {"a.bf", "b.bf", "c.bf"}) {
        orvobf::writer::ArchiveBuilder builder;
        std::string error;
        ASSERT_TRUE(builder.AddFile("f", name, &error)) << error;
        ASSERT_TRUE(builder.Write((out / name).string(), &error)) << name << ": " << error;
        EXPECT_TRUE(FileBytes(out / name).ends_with(name)) << name;  // the new archive, its data last
    }
    EXPECT_EQ(FileBytes(out / "a.bf.partial"), "keep me");
    EXPECT_EQ(FileBytes(out / "victim"), "precious");
    std::set<std::string> expected = {"a.bf", "a.bf.partial", "b.bf", "c.bf", "victim"};
    if (!noLinks) {
        EXPECT_TRUE(fs::is_symlink(fs::symlink_status(out / "b.bf.partial")));
        expected.insert("b.bf.partial");
    }
    EXPECT_EQ(FolderNames(out), expected);

    // A failed write removes its own temporary file, and only that.
    const fs::path source = dir.File("source.bin");
    std::ofstream(source, std::ios::binary) << std::string(5000, 'z');
    orvobf::writer::ArchiveBuilder builder;
    std::string error;
    ASSERT_TRUE(builder.AddDiskFile("file", source.string(), &error)) << error;
    fs::resize_file(source, 100);  // shrinks after it was added
    EXPECT_FALSE(builder.Write((out / "c.bf").string(), &error));
    EXPECT_NE(error.find("changed size"), std::string::npos) << error;
    EXPECT_EQ(FolderNames(out), expected);
    EXPECT_EQ(FileBytes(out / "c.bf").substr(0, 6), "OrvoBF");  // the last good archive stays
    EXPECT_FALSE(builder.Write(dir.File("missing/out.bf"), &error));
    EXPECT_FALSE(fs::exists(dir.File("missing")));
}

#ifndef _WIN32
// A source file swapped between the scan and the copy, for another kind
// of file or another file, is refused with its path instead of followed.
TEST(WriterOutput, SourceSwappedAfterTheScanIsRefused) {
    struct Swap {
        const char* why;
        void (*make)(const fs::path& file, const fs::path& other);
    };
    const Swap swaps[] = {
        {"is now a symbolic link", [](const fs::path& file, const fs::path& other) {
             fs::remove(file);
             fs::create_symlink(other, file);
         }},
        {"was replaced by another file", [](const fs::path& file, const fs::path& other) {
             fs::copy_file(other, file.string() + ".new");
             fs::rename(file.string() + ".new", file);
         }},
        {"is now a FIFO", [](const fs::path& file, const fs::path&) {
             fs::remove(file);
             ASSERT_EQ(mkfifo(file.c_str(), 0600), 0);  // opening it must not wait for a writer
         }},
    };
    TempDir dir;
    const fs::path other = dir.File("other");
    std::ofstream(other) << std::string(100, 'B');  // the same size
    int n = 0;
    for (const Swap& swap : swaps) {
        for (const orvobf::writer::Packing packing : {orvobf::writer::Packing::Store, orvobf::writer::Packing::Pack}) {
            const fs::path file = dir.File("file" + std::to_string(n++));
            std::ofstream(file) << std::string(100, 'A');
            orvobf::writer::ArchiveBuilder builder;
            std::string error;
            ASSERT_TRUE(builder.AddDiskFile("f", file.string(), &error, packing)) << error;
            swap.make(file, other);
            const std::string archive = dir.File("out.bf");
            EXPECT_FALSE(builder.Write(archive, &error)) << swap.why;
            EXPECT_EQ(error.find(file.string() + ": " + swap.why), 0u) << error;
            EXPECT_FALSE(fs::exists(archive));
        }
    }
}
#endif

// What the writer touches on disk: nothing that was already beside the
// archive, and only the source files it scanned.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <orvobf/archive_writer.h>
#include "temp_dir.h"

namespace fs = std::filesystem;

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

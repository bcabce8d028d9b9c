// What the walk must never do: report a damaged entry as extracted, write
// through whatever stands at an output name, follow a folder that moved
// away, change the process's working directory, or stop at the archive's
// directory stack depth.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <orvobf/archive_writer.h>
#include "engine_fixture.h"
#include "temp_dir.h"

namespace fs = std::filesystem;

namespace {
using Problems = std::vector<std::pair<orvobf::engine::Problem, std::string>>;

std::vector<std::string> Names(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

std::string Write(const TempDir& dir, const char* file, const orvobf::writer::RawArchive& raw) {
    std::string error;
    EXPECT_TRUE(raw.WriteTo(dir.File(file), &error)) << error;
    return dir.File(file);
}
}  // namespace

TEST(ExtractEngineSafety, DamagedPackedEntryIsAReadErrorAndNeverLooksComplete) {
    TempDir dir;
    // One literal, then the end marker, of an image that promises 5000 bytes.
    orvobf::writer::RawArchive raw;
    raw.Header(0, 2, 32, 0).Block(2).File("cut", 5000, 0, 1).File("good", 4, 8);
    raw.DataBaseHere().Bytes(std::string("\x88\x13\0\0\0\0\x80\xB0", 8)).Bytes("GOOD");
    const std::string archive = Write(dir, "cut.bf", raw);

    const fs::path out = dir.File("out");
    fs::create_directories(out);
    std::ofstream(out / "cut") << "old contents";
    EXPECT_EQ(Extract(archive, out).problems, (Problems{{orvobf::engine::Problem::ReadError, "cut"}}));
    EXPECT_EQ(Slurp(out / "cut"), "old contents");
    EXPECT_EQ(Slurp(out / "good"), "GOOD");
    EXPECT_EQ(Names(out), (std::vector<std::string>{"cut", "good"}));

    // The extractor's own way: the cut file stays under its name, reported.
    const fs::path kept = dir.File("kept");
    EXPECT_EQ(Extract(archive, kept, orvobf::engine::PartialFiles::Keep).problems, (Problems{{orvobf::engine::Problem::ReadError, "cut"}}));
    EXPECT_EQ(Names(kept), (std::vector<std::string>{"cut", "good"}));
    EXPECT_EQ(fs::file_size(kept / "cut"), 0u);
}

TEST(ExtractEngineSafety, WhatStandsAtAnOutputNameIsReplacedNeverWrittenThrough) {
    TempDir dir;
    orvobf::writer::ArchiveBuilder builder;
    std::string error;
    for (const char* name : {"fifo", "hard", "link"}) ASSERT_TRUE(builder.AddFile(name, "NEW!", &error)) << error;
    ASSERT_TRUE(builder.AddFile("sub/x", "x", &error)) << error;
    ASSERT_TRUE(builder.Write(dir.File("t.bf"), &error)) << error;

    const fs::path out = dir.File("out");
    fs::create_directories(out);
    ASSERT_EQ(mkfifo((out / "fifo").c_str(), 0666), 0);
    // A reader, so that writing through the pipe would not block but show.
    const int reader = open((out / "fifo").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    std::ofstream(dir.File("victim")) << "victim";
    fs::create_hard_link(dir.File("victim"), out / "hard");
    std::ofstream(dir.File("target")) << "target";
    fs::create_symlink(dir.File("target"), out / "link");
    fs::create_directories(dir.File("elsewhere"));
    fs::create_directory_symlink(dir.File("elsewhere"), out / "sub");  // a folder's link is never entered

    EXPECT_EQ(Extract(dir.File("t.bf"), out).problems, (Problems{{orvobf::engine::Problem::CannotMakeDir, "sub"}}));
    for (const char* name : {"fifo", "hard", "link"}) {
        // (Reading a pipe that stayed would wait for a writer forever.)
        ASSERT_TRUE(fs::is_regular_file(fs::symlink_status(out / name))) << name;
        EXPECT_EQ(Slurp(out / name), "NEW!") << name;
    }
    EXPECT_EQ(Slurp(dir.File("victim")), "victim");
    EXPECT_EQ(Slurp(dir.File("target")), "target");
    char byte;
    EXPECT_LE(read(reader, &byte, 1), 0);
    close(reader);
    EXPECT_TRUE(fs::is_empty(dir.File("elsewhere")));
    EXPECT_EQ(Names(out), (std::vector<std::string>{"fifo", "hard", "link", "sub"}));
}

TEST(ExtractEngineSafety, FolderMovedOrLinkedAwayMidWalkLeadsNothingOutOfTheRoot) {
    TempDir dir;
    orvobf::writer::ArchiveBuilder builder;
    std::string error;
    ASSERT_TRUE(builder.AddFile("sub/a", "A", &error)) << error;
    ASSERT_TRUE(builder.AddFile("sub/b", "B", &error)) << error;
    ASSERT_TRUE(builder.AddFile("z", "Z", &error)) << error;
    ASSERT_TRUE(builder.Write(dir.File("t.bf"), &error)) << error;

    const fs::path out = dir.File("out"), away = dir.File("away/deep"), elsewhere = dir.File("elsewhere");
    fs::create_directories(away);
    fs::create_directories(elsewhere);
    const fs::path cwd = fs::current_path();
    Recorder recorder;
    std::vector<std::string> cwdChanged;
    recorder.onStart = [&](const std::string& path) {
        if (fs::current_path() != cwd) cwdChanged.push_back(path);
        if (path != "sub/a") return;
        // While sub's subtree is written: sub moves away, a link takes its place.
        fs::rename(out / "sub", away / "moved");
        fs::create_directory_symlink(elsewhere, out / "sub");
    };
    Extract(dir.File("t.bf"), out, recorder);

    EXPECT_EQ(recorder.problems, Problems{});
    EXPECT_EQ(cwdChanged, std::vector<std::string>{});
    EXPECT_EQ(Slurp(out / "z"), "Z");
    EXPECT_EQ(Names(away), std::vector<std::string>{"moved"});
    EXPECT_TRUE(fs::is_empty(elsewhere));
}

TEST(ExtractEngineSafety, NestingDeeperThanTheDirectoryStackIsExtracted) {
    TempDir dir;
    constexpr int kDepth = 300;
    orvobf::writer::RawArchive raw;
    raw.Header(kDepth, 1, 32, 0).Nested(kDepth, "d").Block(1).File("f", 4, 0).DataBaseHere().Bytes("DEEP");
    const std::string archive = Write(dir, "deep.bf", raw);

    const fs::path out = dir.File("out");
    EXPECT_EQ(Extract(archive, out).problems, Problems{});
    fs::path file = out;
    for (int i = 0; i < kDepth; ++i) file /= "d";
    EXPECT_EQ(Slurp(file / "f"), "DEEP");
}

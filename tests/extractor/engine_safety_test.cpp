// What the walk must never do: write through whatever stands at an output
// name, follow a folder that moved away, change the process's working
// directory, or stop at the archive's directory stack depth. (A damaged
// entry is a failure that leaves no file: the tool's extract tests.)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <orvobf/archive_writer.h>
#include "engine_fixture.h"
#include "temp_dir.h"

namespace fs = std::filesystem;

namespace {
using Problems = std::vector<std::pair<orvobf::engine::Problem, std::string>>;
}  // namespace

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
        EXPECT_EQ(FileBytes(out / name), "NEW!") << name;
    }
    EXPECT_EQ(FileBytes(dir.File("victim")), "victim");
    EXPECT_EQ(FileBytes(dir.File("target")), "target");
    char byte;
    EXPECT_LE(read(reader, &byte, 1), 0);
    close(reader);
    EXPECT_TRUE(fs::is_empty(dir.File("elsewhere")));
    EXPECT_EQ(FolderNames(out), (std::set<std::string>{"fifo", "hard", "link", "sub"}));
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
    EXPECT_EQ(FileBytes(out / "z"), "Z");
    EXPECT_EQ(FolderNames(away), std::set<std::string>{"moved"});
    EXPECT_TRUE(fs::is_empty(elsewhere));
}

TEST(ExtractEngineSafety, NestingDeeperThanTheDirectoryStackIsExtracted) {
    TempDir dir;
    constexpr int kDepth = 300;
    orvobf::writer::RawArchive raw;
    raw.Header(kDepth, 1, 32, 0).Nested(kDepth, "d").Block(1).File("f", 4, 0).DataBaseHere().Bytes("DEEP");
    const std::string archive = dir.File("deep.bf");
    std::string error;
    ASSERT_TRUE(raw.WriteTo(archive, &error)) << error;

    const fs::path out = dir.File("out");
    EXPECT_EQ(Extract(archive, out).problems, Problems{});
    fs::path file = out;
    for (int i = 0; i < kDepth; ++i) file /= "d";
    EXPECT_EQ(FileBytes(file / "f"), "DEEP");
}

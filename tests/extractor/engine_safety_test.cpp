// What the walk must never do: write through whatever stands at an output
// name, follow a folder that moved away, change the process's working
// directory, create a name that leaves its root, or take a broken entry
// for a file. (A damaged entry is a failure that leaves no file: the
// tool's extract tests.)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine_fixture.h"

namespace fs = std::filesystem;
using orvobf::engine::Problem;

TEST(ExtractEngineSafety, WhatStandsAtAnOutputNameOrMovesMidWalkIsNeverWrittenThroughNorFollowed) {
    TempDir dir;
    const std::string archive = WriteArchive(
        dir, "t.bf",
        {{"fifo", "NEW!"}, {"hard", "NEW!"}, {"link", "NEW!"}, {"sub/x", "x"}, {"mv/a", "A"}, {"mv/b", "B"}, {"z", "Z"}});
    const fs::path out = dir.File("out"), away = dir.File("away/deep"), elsewhere = dir.File("elsewhere");
    fs::create_directories(out);
    fs::create_directories(away);
    fs::create_directories(elsewhere);
    ASSERT_EQ(mkfifo((out / "fifo").c_str(), 0666), 0);
    // A reader, so that writing through the pipe would not block but show.
    const int reader = open((out / "fifo").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    std::ofstream(dir.File("victim")) << "victim";
    fs::create_hard_link(dir.File("victim"), out / "hard");
    std::ofstream(dir.File("target")) << "target";
    fs::create_symlink(dir.File("target"), out / "link");
    fs::create_directory_symlink(elsewhere, out / "sub");  // a folder's link is never entered

    const fs::path cwd = fs::current_path();
    std::vector<std::string> cwdChanged;
    const Recorder run = Extract(archive, out, 1, [&](const std::string& path) {
        if (fs::current_path() != cwd) cwdChanged.push_back(path);
        if (path != "mv/a") return;
        // While mv's subtree is written: mv moves away, a link takes its place.
        fs::rename(out / "mv", away / "moved");
        fs::create_directory_symlink(elsewhere, out / "mv");
    });
    EXPECT_EQ(run.problems, (Problems{{Problem::CannotMakeDir, "sub"}}));
    EXPECT_EQ(cwdChanged, std::vector<std::string>{});
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
    EXPECT_EQ(FileBytes(out / "z"), "Z");
    EXPECT_EQ(FolderNames(away), std::set<std::string>{"moved"});
    EXPECT_TRUE(fs::is_empty(elsewhere));
    EXPECT_EQ(FolderNames(out), (std::set<std::string>{"fifo", "hard", "link", "mv", "sub", "z"}));
}

TEST(ExtractEngineSafety, NamesThatLeaveTheRootAndBrokenEntriesAreReportedNotFollowed) {
    TempDir dir;
    orvobf::writer::RawArchive raw;
    raw.Header(2, 9, 32, 0).Block(9).File("..", 4, 0).File("a\\b", 4, 0).File("C:x", 4, 0).File("good", 4, 0);
    raw.File("odd", 4, 0, 0, 0);  // neither kind: the walk treats it as a file it cannot open
    raw.File("past", 10, 2);      // runs past the end of the archive
    raw.Dir("sub").Block(1).File("ok", 4, 0).Dir("taken").Block(1).File("lost", 4, 0).File("up/x", 4, 0);
    raw.DataBaseHere().Bytes("GOOD");

    const fs::path out = dir.File("root/out");
    fs::create_directories(out);
    std::ofstream(out / "taken") << "a file where a directory should go";
    EXPECT_EQ(Extract(WriteArchive(dir, "bad.bf", raw), out).problems,
              (Problems{{Problem::UnsafeName, ".."}, {Problem::UnsafeName, "a\\b"}, {Problem::UnsafeName, "C:x"},
                        {Problem::NotFound, "odd"}, {Problem::ReadError, "past"}, {Problem::CannotMakeDir, "taken"},
                        {Problem::UnsafeName, "up/x"}}));
    EXPECT_EQ(FileBytes(out / "good"), "GOOD");
    EXPECT_EQ(FileBytes(out / "sub/ok"), "GOOD");
    EXPECT_EQ(FileBytes(out / "taken"), "a file where a directory should go");
    // Nothing beside or above the extraction root.
    EXPECT_EQ(FolderNames(dir.File("root")), std::set<std::string>{"out"});
    EXPECT_FALSE(fs::exists(out / "lost"));
    EXPECT_STREQ(orvobf::engine::ProblemText(Problem::NotFound), "File not found...");
    EXPECT_STREQ(orvobf::engine::ProblemCaption(Problem::CannotCreate), "ERROR");
}

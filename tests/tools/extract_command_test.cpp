// `bigfile extract`: a damaged entry is a failure that never appears under
// its name, names reach the terminal only in printable form, and the
// progress bar counts the files the tree really holds.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include <orvobf/archive_writer.h>
#include "run_on_terminal.h"
#include "run_tool.h"
#include "temp_dir.h"

namespace fs = std::filesystem;

// On three workers: whether they write and report what one does is the
// engine's thread test.
TEST(ToolExtract, DamagedEntryNeverReplacesTheFileUnlessPartialsAreKeptAndNamesAreShownPrintable) {
    TempDir dir;
    // A folder that cannot be made, a damaged packed entry (one literal and
    // the end marker, 5000 bytes promised) and a good one, the last two
    // named with terminal controls.
    const std::string damaged("d\x1b[2J", 5), shown("e\x1b]0;x\x07", 7);
    orvobf::writer::RawArchive raw;
    raw.Header(1, 3, 32, 0).Block(3).Dir("blocked").Block(1).File("x", 4, 8);
    raw.File(damaged, 5000, 0, 1).File(shown, 4, 8);
    raw.DataBaseHere().Bytes(std::string("\x88\x13\x00\x00\x00\x00\x80\xB0", 8)).Bytes("GOOD");
    const std::string archive = dir.File("ctl.bf");
    std::string error;
    ASSERT_TRUE(raw.WriteTo(archive, &error)) << error;
    const fs::path out = dir.File("out");
    fs::create_directories(out);
    std::ofstream(out / damaged) << "old contents";
    std::ofstream(out / "blocked") << "in the way";

    const Outcome run = Tool("extract -v -j 3 -C " + out.string() + " " + archive);
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_NE(run.out.find("bigfile extract: blocked: Cannot create directory\n"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find('\x1b'), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find('\x07'), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("e\\x1b]0;x\\x07\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("bigfile extract: d\\x1b[2J: Read Error\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("1 files (4 B) in 0 directories extracted, 2 problems\n"), std::string::npos) << run.out;
    EXPECT_EQ(FileBytes(out / damaged), "old contents");
    EXPECT_EQ(FileBytes(out / shown), "GOOD");
    EXPECT_EQ(FolderNames(out), (std::set<std::string>{"blocked", damaged, shown}));

    const fs::path kept = dir.File("kept");
    const Outcome keep = Tool("extract --keep-partial -C " + kept.string() + " " + archive);
    EXPECT_EQ(keep.status, 1) << keep.out;
    EXPECT_NE(keep.out.find("bigfile extract: d\\x1b[2J: Read Error\n"), std::string::npos) << keep.out;
    EXPECT_EQ(FolderNames(kept), (std::set<std::string>{"blocked", damaged, shown}));
    EXPECT_EQ(fs::file_size(kept / damaged), 0u);
    const Outcome none = Tool("extract -j 0 -C " + dir.File("none") + " " + archive);
    EXPECT_EQ(none.status, 2);
    EXPECT_EQ(none.out, "bigfile extract: -j takes a number from 1 to 64\n");
}

TEST(ToolExtract, ProgressBarCountsTheTreeNotTheHeader) {
    TempDir dir;
    // 1000 empty files, the header says 1. Each long name listed by -v fills
    // the terminal, so the bar is drawn again while the tool waits on it.
    constexpr int kFiles = 1000;
    orvobf::writer::RawArchive raw;
    raw.Header(0, 1, 32, 0).Block(kFiles);
    for (int i = 0; i < kFiles; ++i) {
        std::string name = std::to_string(10000 + i);
        raw.File(name + std::string(200, 'n'), 0, 0);
    }
    raw.DataBaseHere();
    std::string error;
    ASSERT_TRUE(raw.WriteTo(dir.File("many.bf"), &error)) << error;

    const TerminalRun run =
        RunOnTerminal("timeout 30 " BIGFILE_TOOL " extract -v -C " + dir.File("out") + " " + dir.File("many.bf"), 500);
    EXPECT_EQ(run.status, 0) << run.out.substr(run.out.size() > 2000 ? run.out.size() - 2000 : 0);
    EXPECT_NE(run.out.find("/1000 files"), std::string::npos);
    EXPECT_EQ(run.out.find("/1 files"), std::string::npos);
    EXPECT_NE(run.out.find("1000 files (0 B) in 0 directories extracted, 0 problems"), std::string::npos);
}

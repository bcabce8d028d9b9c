// `bigfile extract`: a damaged entry is a failure that never appears under
// its name, names reach the terminal only in printable form, and the
// progress bar counts the files the tree really holds.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include <orvobf/archive_writer.h>
#include "run_on_terminal.h"
#include "run_tool.h"
#include "temp_dir.h"

namespace fs = std::filesystem;

TEST(ToolExtract, DamagedEntryNeverReplacesTheFileUnlessPartialsAreKeptAndNamesAreShownPrintable) {
    TempDir dir;
    // A damaged packed entry (one literal and the end marker, 5000 bytes
    // promised) and a good one, both named with terminal controls.
    const std::string damaged("d\x1b[2J", 5), shown("e\x1b]0;x\x07", 7);
    orvobf::writer::RawArchive raw;
    raw.Header(0, 2, 32, 0).Block(2).File(damaged, 5000, 0, 1).File(shown, 4, 8);
    raw.DataBaseHere().Bytes(std::string("\x88\x13\x00\x00\x00\x00\x80\xB0", 8)).Bytes("GOOD");
    const std::string archive = dir.File("ctl.bf");
    std::string error;
    ASSERT_TRUE(raw.WriteTo(archive, &error)) << error;
    const fs::path out = dir.File("out");
    fs::create_directories(out);
    std::ofstream(out / damaged) << "old contents";

    const Outcome run = Tool("extract -v -C " + out.string() + " " + archive);
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_EQ(run.out.find('\x1b'), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find('\x07'), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("e\\x1b]0;x\\x07\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("bigfile extract: d\\x1b[2J: Read Error\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("1 files (4 B) in 0 directories extracted, 1 problem\n"), std::string::npos) << run.out;
    EXPECT_EQ(FileBytes(out / damaged), "old contents");
    EXPECT_EQ(FileBytes(out / shown), "GOOD");
    EXPECT_EQ(FolderNames(out), (std::set<std::string>{damaged, shown}));

    const fs::path kept = dir.File("kept");
    const Outcome keep = Tool("extract --keep-partial -C " + kept.string() + " " + archive);
    EXPECT_EQ(keep.status, 1) << keep.out;
    EXPECT_NE(keep.out.find("bigfile extract: d\\x1b[2J: Read Error\n"), std::string::npos) << keep.out;
    EXPECT_EQ(FolderNames(kept), (std::set<std::string>{damaged, shown}));
    EXPECT_EQ(fs::file_size(kept / damaged), 0u);
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

TEST(ToolExtract, WorkersGiveTheTreeReportAndExitCodeOfOne) {
    TempDir dir;
    orvobf::writer::ArchiveBuilder builder;
    std::string error;
    // A big file first, then small ones that finish before it; a folder
    // that cannot be made; the last entry cut off by the archive's end.
    ASSERT_TRUE(builder.AddFile("a/big", std::string(2500000, 'B'), &error)) << error;
    for (int d = 0; d < 3; ++d)
        for (int f = 0; f < 6; ++f)
            ASSERT_TRUE(builder.AddFile("d" + std::to_string(d) + "/f" + std::to_string(f),
                                        std::string(static_cast<size_t>(f * 3001 + d), static_cast<char>('a' + f)),
                                        &error, f % 2 ? orvobf::writer::Packing::Pack : orvobf::writer::Packing::Store))
                << error;
    ASSERT_TRUE(builder.AddFile("d1/blocked/x", "x", &error)) << error;
    ASSERT_TRUE(builder.AddFile("z/cut", std::string(5000, 'z'), &error)) << error;
    const std::string archive = dir.File("w.bf");
    ASSERT_TRUE(builder.Write(archive, &error)) << error;
    fs::resize_file(archive, fs::file_size(archive) - 10);

    // The trees written are the engine's (its thread test compares them).
    std::vector<Outcome> runs;
    for (const char* jobs : {"1", "3"}) {
        const fs::path out = dir.File(std::string("out") + jobs);
        fs::create_directories(out / "d1");
        std::ofstream(out / "d1/blocked") << "in the way";
        runs.push_back(Tool(std::string("extract -v -j ") + jobs + " -C " + out.string() + " " + archive));
    }
    EXPECT_EQ(runs[0].status, 1) << runs[0].out;
    EXPECT_NE(runs[0].out.find("bigfile extract: d1/blocked: Cannot create directory\n"), std::string::npos)
        << runs[0].out;
    EXPECT_NE(runs[0].out.find("bigfile extract: z/cut: Read Error\n"), std::string::npos) << runs[0].out;
    EXPECT_EQ(runs[1].status, runs[0].status);
    EXPECT_EQ(runs[1].out, runs[0].out);

    const Outcome none = Tool("extract -j 0 -C " + dir.File("none") + " " + archive);
    EXPECT_EQ(none.status, 2);
    EXPECT_EQ(none.out, "bigfile extract: -j takes a number from 1 to 64\n");
}

// The extractor program on a terminal: its status line counts the files the
// tree really holds and shows names in printable form; a damaged entry is
// reported in its box and its cut file stays.
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include <orvobf/archive_writer.h>
#include "run_on_terminal.h"
#include "engine_fixture.h"
#include "temp_dir.h"

namespace fs = std::filesystem;

namespace {
// Runs the extractor in `run` (BigTest.bf there) with Data/Out as its output
// folder, on a terminal.
TerminalRun RunExtractorOnTerminal(const TempDir& dir, const fs::path& run) {
    fs::create_directories(run / "Data/Out");
    std::ofstream(dir.File("reg")) << "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Orvo\\AshenThrone]\n@=\""
                                   << (run / "Data/Out").string() << "\"\n";
    return RunOnTerminal("cd '" + run.string() + "' && ORVOBF_REGISTRY='" + dir.File("reg") +
                         "' timeout 60 " EXTRACTOR_TOOL);
}
}  // namespace

TEST(ExtractorOnTerminal, StatusLineCountsTheTreeAndShowsNamesPrintable) {
    TempDir dir;
    const fs::path run = dir.File("run");
    const std::string odd("c\x1b[2J", 5);
    orvobf::writer::RawArchive raw;  // three files; the header says one
    raw.Header(0, 1, 32, 0).Block(3).File("a", 1, 0).File("b", 1, 0).File(odd, 1, 0);
    raw.DataBaseHere().Bytes("x");
    std::string error;
    fs::create_directories(run);
    ASSERT_TRUE(raw.WriteTo((run / "BigTest.bf").string(), &error)) << error;

    const TerminalRun outcome = RunExtractorOnTerminal(dir, run);
    EXPECT_EQ(outcome.status, 0) << outcome.out;
    EXPECT_EQ(outcome.out.find('\x1b'), std::string::npos) << outcome.out;
    EXPECT_NE(outcome.out.find("Extracting File c\\x1b[2J "), std::string::npos) << outcome.out;
    EXPECT_NE(outcome.out.find("] 2/3 files"), std::string::npos) << outcome.out;
    EXPECT_EQ(outcome.out.find("/1 files"), std::string::npos) << outcome.out;
    EXPECT_EQ(Slurp(run / "Data" / odd), "x");
}

TEST(ExtractorOnTerminal, DamagedEntryIsAReadErrorAndItsCutFileStays) {
    TempDir dir;
    const fs::path run = dir.File("run");
    orvobf::writer::RawArchive raw;  // `cut` promises 5000 bytes; its image ends after one
    raw.Header(0, 2, 32, 0).Block(2).File("cut", 5000, 0, 1).File("good", 4, 8);
    raw.DataBaseHere().Bytes(std::string("\x88\x13\0\0\0\0\x80\xB0", 8)).Bytes("GOOD");
    std::string error;
    fs::create_directories(run);
    ASSERT_TRUE(raw.WriteTo((run / "BigTest.bf").string(), &error)) << error;

    const TerminalRun outcome = RunExtractorOnTerminal(dir, run);
    EXPECT_EQ(outcome.status, 0) << outcome.out;
    EXPECT_NE(outcome.out.find("[WARNING] Read Error\r\n"), std::string::npos) << outcome.out;
    EXPECT_TRUE(fs::is_regular_file(run / "Data/cut"));
    EXPECT_EQ(fs::file_size(run / "Data/cut"), 0u);
    EXPECT_EQ(Slurp(run / "Data/good"), "GOOD");
}

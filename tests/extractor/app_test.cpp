// The extractor program as a user runs it: BigTest.bf in the working
// folder, the output folder from the registry (here its REGEDIT4 file),
// with no terminal, on one, and with its windows in this process.
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "archive_files.h"
#include "extractor_app.h"
#include "memory_medium.h"
#include "resource.h"
#include "run_on_terminal.h"
#include "run_tool.h"

namespace fs = std::filesystem;

namespace {

// The registry file naming `output` as the output folder; its path.
std::string WriteRegistry(const TempDir& dir, const std::string& output) {
    std::ofstream(dir.File("reg")) << "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Orvo\\AshenThrone]\n@=\""
                                   << output << "\"\n";
    return dir.File("reg");
}

// The command that runs the extractor in dir/run, BigTest.bf there, with a
// registry file naming `output` (no file without one).
std::string ExtractorIn(const TempDir& dir, const std::optional<std::string>& output) {
    if (output) WriteRegistry(dir, *output);
    return "cd '" + dir.File("run") + "' && ORVOBF_REGISTRY='" + dir.File("reg") + "' timeout 60 " EXTRACTOR_TOOL;
}

// The archive's root goes into the output folder's parent; on a terminal
// the status line counts the tree (the header says one file), names show
// printable, and a damaged entry is a Read Error whose cut file stays.
TEST(ExtractorApp, RootGoesIntoTheOutputFoldersParentWithAStatusLineAndWarnings) {
    TempDir dir;
    const fs::path run = dir.File("run");
    fs::create_directories(run / "Data/Out");
    const std::string odd("c\x1b[2J", 5);
    orvobf::writer::RawArchive raw;  // `cut` promises 5000 bytes; its image ends after one
    raw.Header(1, 1, 32, 0).Block(5).File("a", 1, 12).File(odd, 1, 12).File("cut", 5000, 0, 1).File("good", 4, 8);
    raw.Dir("Maps").Block(1).File("twenty", 20, 13, static_cast<uint32_t>(kTwentyA.size()));
    raw.DataBaseHere().Bytes(std::string("\x88\x13\0\0\0\0\x80\xB0", 8)).Bytes("GOODx");
    raw.Bytes(std::string(kTwentyA.begin(), kTwentyA.end()));
    WriteArchive(dir, "run/BigTest.bf", raw);

    // No registry value, an empty one, a folder that is not there: the
    // box, and nothing written anywhere.
    for (const std::optional<std::string>& value : {std::optional<std::string>(), std::optional<std::string>(""),
                                                    std::optional<std::string>((run / "absent").string())}) {
        SCOPED_TRACE(value.value_or("(no registry)"));
        const Outcome outcome = RunShell(ExtractorIn(dir, value) + " </dev/null 2>&1 >/dev/null");
        EXPECT_EQ(outcome.status, 0);
        EXPECT_NE(outcome.out.find("[ERROR] Cannot open output directory"), std::string::npos) << outcome.out;
        EXPECT_FALSE(fs::exists(dir.File("good")));
        EXPECT_EQ(FolderNames(run), (std::set<std::string>{"BigTest.bf", "Data"}));
        EXPECT_EQ(FolderNames(run / "Data"), std::set<std::string>{"Out"});
    }

    const TerminalRun outcome = RunOnTerminal(ExtractorIn(dir, (run / "Data/Out").string()));
    EXPECT_EQ(outcome.status, 0) << outcome.out;
    EXPECT_EQ(outcome.out.find('\x1b'), std::string::npos) << outcome.out;
    EXPECT_NE(outcome.out.find("Extracting File c\\x1b[2J "), std::string::npos) << outcome.out;
    EXPECT_NE(outcome.out.find("] 1/5 files"), std::string::npos) << outcome.out;
    EXPECT_EQ(outcome.out.find("/1 files"), std::string::npos) << outcome.out;
    EXPECT_NE(outcome.out.find("[WARNING] Read Error\r\n"), std::string::npos) << outcome.out;
    EXPECT_EQ(FileBytes(run / "Data" / odd), "x");
    EXPECT_TRUE(fs::is_regular_file(run / "Data/cut"));
    EXPECT_EQ(fs::file_size(run / "Data/cut"), 0u);
    EXPECT_EQ(FileBytes(run / "Data/good"), "GOOD");
    EXPECT_EQ(FileBytes(run / "Data/Maps/twenty"), std::string(20, 'a'));
    EXPECT_TRUE(fs::is_empty(run / "Data/Out"));
}

// In this process: the About button pressed while the worker extracts,
// and the extraction ending while the About box is still open. The
// program must then end by itself once OK is pressed.
struct Seen {
    std::atomic<int> aboutShown{0};
    std::atomic<int> workerDoneWhenOk{0};
    std::thread closer;
};

void OnDialog(HWND dialog, int layout, void* user) {
    auto* seen = static_cast<Seen*>(user);
    if (layout == IDD_MAIN) {
        PostMessageA(dialog, WM_COMMAND, IDC_ABOUT, 0);  // the user presses About
    } else if (layout == IDD_ABOUT) {
        ++seen->aboutShown;
        // OK only after the worker is through: the extraction ends under
        // the open box.
        seen->closer = std::thread([dialog, seen] {
            while (g_app.workerDone.load() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            seen->workerDoneWhenOk = 1;
            PostMessageA(dialog, WM_COMMAND, 1, 0);
        });
    }
}

TEST(ExtractorWindows, AboutDuringExtractionAndExtractionEndingUnderIt) {
    TempDir dir;
    const fs::path run = dir.File("run");
    fs::create_directories(run / "Data/Out");
    const std::string block(1 << 20, 'q');
    Files files;
    for (int i = 0; i < 40; ++i) files["m/f" + std::to_string(i)] = block;
    WriteArchive(dir, "run/BigTest.bf", files);
    setenv("ORVOBF_REGISTRY", WriteRegistry(dir, (run / "Data/Out").string()).c_str(), 1);

    Seen seen;
    orvobf::winshim::SetDialogHook(&OnDialog, &seen);
    const fs::path back = fs::current_path();
    fs::current_path(run);
    EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, 0), 0);
    fs::current_path(back);
    orvobf::winshim::SetDialogHook(nullptr, nullptr);
    if (seen.closer.joinable()) seen.closer.join();

    EXPECT_EQ(seen.aboutShown.load(), 1);
    EXPECT_EQ(seen.workerDoneWhenOk.load(), 1);
    EXPECT_EQ(g_app.filesDone.load(), 40u);
    for (int i = 0; i < 40; ++i) EXPECT_EQ(fs::file_size(run / "Data/m" / ("f" + std::to_string(i))), block.size());
}

}  // namespace

// The extractor's windows in this process: the About button pressed while
// the worker extracts, and the extraction ending while the About box is
// still open. The program must then end by itself once OK is pressed.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include <orvobf/archive_writer.h>
#include "extractor_app.h"
#include "resource.h"
#include "temp_dir.h"

namespace fs = std::filesystem;

namespace {

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
    orvobf::writer::ArchiveBuilder builder;
    std::string error;
    const std::string block(1 << 20, 'q');
    for (int i = 0; i < 40; ++i) ASSERT_TRUE(builder.AddFile("m/f" + std::to_string(i), block, &error)) << error;
    ASSERT_TRUE(builder.Write((run / "BigTest.bf").string(), &error)) << error;
    std::ofstream(dir.File("reg")) << "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Orvo\\AshenThrone]\n@=\""
                                   << (run / "Data/Out").string() << "\"\n";
    setenv("ORVOBF_REGISTRY", dir.File("reg").c_str(), 1);

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

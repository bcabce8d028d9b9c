// On Windows, names that the system would turn into a device, a stream of
// another file, or another name altogether are refused and create nothing.
#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine_fixture.h"

namespace fs = std::filesystem;

TEST(ExtractEngineWindows, DeviceStreamAndStrippedNamesAreRefusedAndCreateNothing) {
    TempDir dir;
    const std::vector<std::string> refused = {"CON",    "nul.txt", "Com1.log", "lpt9",  "a:b",
                                              "trail.", "trail ",  "q?",       "p|q",   "lt<",
                                              "x*",     "say\"",   "gt>",      "ctl\x01x"};
    orvobf::writer::RawArchive raw;
    raw.Header(1, static_cast<uint32_t>(refused.size() + 2), 32, 0).Block(static_cast<uint32_t>(refused.size() + 2));
    for (const std::string& name : refused) raw.File(name, 4, 0);
    raw.File("good", 4, 0);
    raw.Dir("AUX").Block(1).File("inside", 4, 0);
    raw.DataBaseHere().Bytes("GOOD");

    const fs::path out = dir.File("out"), back = fs::current_path();
    const Recorder run = Extract(WriteArchive(dir, "win.bf", raw), out);
    fs::current_path(back);  // the walk moves the working directory here

    std::vector<std::string> reported;
    for (const auto& [problem, path] : run.problems) {
        EXPECT_EQ(problem, orvobf::engine::Problem::UnsafeName) << path;
        reported.push_back(path);
    }
    std::vector<std::string> expected = refused;
    expected.push_back("AUX");
    std::sort(expected.begin(), expected.end());
    std::sort(reported.begin(), reported.end());
    EXPECT_EQ(reported, expected);
    EXPECT_EQ(FolderNames(out), std::set<std::string>{"good"});
    EXPECT_EQ(FileBytes(out / "good"), "GOOD");
}

// `bigfile create` options: the packer level, the number of packing
// threads and the patterns of files kept stored; the progress line of
// create, pack and unpack.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

#include "run_on_terminal.h"
#include "run_tool.h"
#include "temp_dir.h"

namespace {
namespace fs = std::filesystem;

void MakeTree(const fs::path& root) {
    fs::create_directories(root / "Scripts" / "deep");
    fs::create_directories(root / "data");
    std::string text;
    for (int i = 0; text.size() < 300000; ++i) text += "value " + std::to_string(i * 7 % 1000) + " in the table\n";
    for (int i = 0; i < 12; ++i)
        std::ofstream(root / "data" / ("f" + std::to_string(i) + ".txt"), std::ios::binary) << text.substr(0, 1u << (i + 6));
    std::ofstream(root / "game.ini", std::ios::binary) << text.substr(0, 5000);
    std::ofstream(root / "data" / "more.ini", std::ios::binary) << text.substr(0, 6000);
    std::ofstream(root / "Scripts" / "run.txt", std::ios::binary) << text.substr(0, 7000);
    std::ofstream(root / "Scripts" / "deep" / "x.txt", std::ios::binary) << text.substr(0, 8000);
    std::ofstream(root / "tiny", std::ios::binary) << "abc";
}

}  // namespace

// Whether threads change the bytes is the writer's test; here each level
// and the store patterns reach it, on two threads.
TEST(CreateOptions, LevelsThreadsAndStorePatterns) {
    TempDir dir;
    const fs::path tree = dir.File("tree");
    MakeTree(tree);
    const std::string base = dir.File("plain.bf");
    ASSERT_EQ(Tool("create -q --pack -j 1 " + base + " " + tree.string()).status, 0);
    for (const std::string level : {"classic", "fast", "best"}) {
        const std::string archive = dir.File(level + ".bf");
        ASSERT_EQ(Tool("create -q --pack --level " + level + " -j 2 " + archive + " " + tree.string()).out, "");
        EXPECT_EQ(FileBytes(archive) == FileBytes(base), level == "classic") << level;
        const Outcome tested = Tool("test " + archive);
        EXPECT_EQ(tested.status, 0) << tested.out;
    }
    EXPECT_EQ(Tool("create --level quick " + dir.File("x.bf") + " " + tree.string()).out,
              "bigfile create: unknown level 'quick' (classic, fast or best)\n");

    const std::string archive = dir.File("s.bf");
    ASSERT_EQ(Tool("create -q --pack -j 2 --store '*.ini' --store 'Scripts/*' " + archive + " " + tree.string()).status, 0);
    const std::string listed = Tool("list -l " + archive).out;
    // The listing line of `name`, whatever its indent, says how it is kept.
    const auto kept = [&](const std::string& name, const std::string& how) {
        return std::regex_search(listed, std::regex("(^|\n) *" + name + " +[0-9]+  " + how + " "));
    };
    for (const char* name : {"game\\.ini", "more\\.ini", "run\\.txt", "x\\.txt"}) EXPECT_TRUE(kept(name, "stored")) << name;
    for (const char* name : {"f9\\.txt", "f10\\.txt"}) EXPECT_TRUE(kept(name, "packed")) << name;
    EXPECT_EQ(Tool("test " + archive).status, 0);
}

TEST(CreateOptions, ProgressLineOnATerminalOnly) {
    TempDir dir;
    const fs::path tree = dir.File("tree");
    MakeTree(tree);
    const std::string archive = dir.File("p.bf"), image = dir.File("p.img");
    const std::string clear = "\r" + std::string(79, ' ') + "\r";
    const TerminalRun created = RunOnTerminal(std::string(BIGFILE_TOOL) + " create --pack " + archive + " " + tree.string());
    EXPECT_EQ(created.status, 0);
    // The line is drawn, then cleared before the summary.
    EXPECT_NE(created.out.find("/17 files  "), std::string::npos) << created.out;
    EXPECT_NE(created.out.find(" MiB/s"), std::string::npos) << created.out;
    EXPECT_NE(created.out.find(clear + archive + ": 17 files in 3 directories"), std::string::npos) << created.out;
    const TerminalRun quiet = RunOnTerminal(std::string(BIGFILE_TOOL) + " create -q --pack " + archive + " " + tree.string());
    EXPECT_EQ(quiet.out.find(archive + ": "), std::string::npos) << quiet.out;
    const TerminalRun packed = RunOnTerminal(std::string(BIGFILE_TOOL) + " pack " + (tree / "data" / "f11.txt").string() + " " + image);
    EXPECT_NE(packed.out.find(" of 128.0 KiB"), std::string::npos) << packed.out;
    EXPECT_NE(packed.out.find(clear), std::string::npos) << packed.out;
    const TerminalRun unpacked = RunOnTerminal(std::string(BIGFILE_TOOL) + " unpack " + image + " " + dir.File("p.out"));
    EXPECT_NE(unpacked.out.find("128.0 KiB of 128.0 KiB"), std::string::npos) << unpacked.out;
    // Not a terminal: nothing but the summary.
    const SplitOutcome piped = ToolSplit("create --pack " + dir.File("q.bf") + " " + tree.string());
    EXPECT_EQ(piped.err, "");
    EXPECT_EQ(piped.out, dir.File("q.bf") + ": 17 files in 3 directories\n");
}

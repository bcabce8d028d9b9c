// `bigfile create` and `bigfile pack` options: the packer level, the number
// of packing threads (which never changes the archive) and the patterns of
// files kept stored.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "run_on_terminal.h"
#include "run_tool.h"
#include "temp_dir.h"

namespace {
namespace fs = std::filesystem;

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

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

TEST(CreateOptions, LevelsAndThreadCounts) {
    TempDir dir;
    const fs::path tree = dir.File("tree");
    MakeTree(tree);
    const std::string base = dir.File("plain.bf");
    ASSERT_EQ(Tool("create -q --pack -j 1 " + base + " " + tree.string()).status, 0);
    std::string classic;
    for (const std::string level : {"classic", "fast", "best"}) {
        const std::string one = dir.File(level + "1.bf"), three = dir.File(level + "3.bf");
        Outcome run = Tool("create --pack --level " + level + " -j 1 " + one + " " + tree.string());
        ASSERT_EQ(run.status, 0) << run.out;
        EXPECT_EQ(run.out, one + ": 17 files in 3 directories\n");
        ASSERT_EQ(Tool("create -q --pack --level " + level + " -j 3 " + three + " " + tree.string()).out, "");
        EXPECT_TRUE(Slurp(one) == Slurp(three)) << level;
        const Outcome tested = Tool("test " + three);
        EXPECT_EQ(tested.status, 0) << tested.out;
        if (level == "classic") {
            EXPECT_TRUE(Slurp(one) == Slurp(base)) << "classic is the default";
        } else {
            EXPECT_FALSE(Slurp(one) == Slurp(base)) << level << " packs as classic does";
        }
    }
    EXPECT_EQ(Tool("create --level quick " + dir.File("x.bf") + " " + tree.string()).out,
              "bigfile create: unknown level 'quick' (classic, fast or best)\n");
    EXPECT_EQ(Tool("create -j 0 " + dir.File("x.bf") + " " + tree.string()).status, 2);

    const std::string input = (tree / "data" / "f11.txt").string();
    for (const std::string level : {"classic", "fast", "best"}) {
        ASSERT_EQ(Tool("pack --level " + level + " " + input + " " + dir.File(level + ".img")).status, 0);
        ASSERT_EQ(Tool("unpack " + dir.File(level + ".img") + " " + dir.File(level + ".out")).status, 0);
        EXPECT_TRUE(Slurp(dir.File(level + ".out")) == Slurp(input)) << level;
    }
    EXPECT_FALSE(Slurp(dir.File("fast.img")) == Slurp(dir.File("classic.img")));
    EXPECT_LT(Slurp(dir.File("best.img")).size(), Slurp(dir.File("classic.img")).size());
    EXPECT_EQ(Tool("pack --level 3 " + input + " " + dir.File("y.img")).status, 2);
}

TEST(CreateOptions, StorePatternsKeepMatchingFilesStored) {
    TempDir dir;
    const fs::path tree = dir.File("tree");
    MakeTree(tree);
    const std::string archive = dir.File("s.bf");
    ASSERT_EQ(Tool("create -q --pack -j 2 --store '*.ini' --store 'Scripts/*' " + archive + " " + tree.string()).status, 0);
    const Outcome listed = Tool("list -l " + archive);
    // The listing line of the file `name`, whatever its indent.
    const auto line = [&](const std::string& name) {
        for (size_t start = 0, end; start < listed.out.size(); start = end + 1) {
            end = listed.out.find('\n', start);
            const std::string text = listed.out.substr(start, end - start);
            const size_t first = text.find_first_not_of(' ');
            if (first != std::string::npos && text.compare(first, name.size() + 1, name + " ") == 0) return text;
        }
        return std::string("(not listed)");
    };
    for (const char* name : {"game.ini", "more.ini", "run.txt", "x.txt"})
        EXPECT_NE(line(name).find(" stored "), std::string::npos) << line(name);
    for (const char* name : {"f9.txt", "f10.txt"})
        EXPECT_NE(line(name).find(" packed "), std::string::npos) << line(name);
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

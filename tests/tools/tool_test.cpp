// The `bigfile` program itself: outputs, messages and exit codes.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "run_tool.h"
#include "temp_dir.h"

TEST(Tool, CreateListInfoOfAFolder) {
    TempDir dir;
    const std::filesystem::path src = dir.File("src");
    std::filesystem::create_directories(src / "Sub");
    std::ofstream(src / "Sub" / "Data.bin", std::ios::binary) << std::string(1234, 'd');
    std::ofstream(src / "top.txt") << "top";
    const std::string archive = dir.File("t.bf");

    Outcome created = Tool("create " + archive + " " + src.string());
    ASSERT_EQ(created.status, 0) << created.out;
    EXPECT_NE(created.out.find("2 files in 1 directories"), std::string::npos) << created.out;

    Outcome listed = Tool("list -l " + archive);
    ASSERT_EQ(listed.status, 0) << listed.out;
    EXPECT_NE(listed.out.find("Sub/"), std::string::npos);
    EXPECT_NE(listed.out.find("Data.bin"), std::string::npos);
    EXPECT_NE(listed.out.find("1234  stored"), std::string::npos) << listed.out;
    EXPECT_LT(listed.out.find("Sub/"), listed.out.find("top.txt"));  // name order

    Outcome cat = Tool("cat " + archive + " top.txt /nope sub/data.bin");
    EXPECT_EQ(cat.status, 1);
    EXPECT_NE(cat.out.find("top" + std::string(1234, 'd')), std::string::npos);
    EXPECT_NE(cat.out.find("/nope: no such file"), std::string::npos) << cat.out;

    Outcome info = Tool("info " + archive);
    ASSERT_EQ(info.status, 0) << info.out;
    EXPECT_NE(info.out.find("format version:  2.02.0"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("files:           2 (header says 2)"), std::string::npos) << info.out;
}

TEST(Tool, FailuresSayWhyAndExitNonZero) {
    TempDir dir;
    EXPECT_EQ(Tool("create " + dir.File("x.bf") + " " + dir.File("no-such-dir")).status, 1);
    EXPECT_FALSE(std::filesystem::exists(dir.File("x.bf")));
    EXPECT_EQ(Tool("list").status, 2);
    EXPECT_EQ(Tool("frobnicate").status, 2);
    EXPECT_EQ(Tool("--help").status, 0);
}

TEST(Tool, HelpOfEveryCommandFitsEightyColumnsAndTheReadmeShowsTheOverview) {
    const Outcome overview = Tool("--help");
    ASSERT_EQ(overview.status, 0);
    std::ifstream in(README);
    const std::string readme{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_NE(readme.find("```\n" + overview.out + "```\n"), std::string::npos) << overview.out;

    std::istringstream lines(overview.out.substr(overview.out.find("\nCommands:\n") + 11));
    int commands = 0;
    for (std::string line; std::getline(lines, line) && !line.empty();) {
        if (line.rfind("  ", 0) != 0 || line[2] == ' ') continue;  // a command's first line
        const std::string name = line.substr(2, line.find(' ', 2) - 2);
        const Outcome help = Tool(name + " --help");
        EXPECT_EQ(help.status, 0) << name;
        EXPECT_EQ(Tool("help " + name).out, help.out) << name;
        std::istringstream helpLines(overview.out + help.out);
        for (std::string helpLine; std::getline(helpLines, helpLine);)
            EXPECT_LE(helpLine.size(), 79u) << name << ": " << helpLine;
        ++commands;
    }
    EXPECT_GE(commands, 10);
    EXPECT_EQ(Tool("help nope").status, 2);
}

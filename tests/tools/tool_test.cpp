// The `bigfile` program itself: exit codes and help. (Every command's exact
// output is in tool_output_test.cpp and the command tests.)
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "run_tool.h"
#include "temp_dir.h"

TEST(Tool, WrongArgumentsExitTwo) {
    TempDir dir;
    EXPECT_EQ(Tool("create " + dir.File("x.bf") + " " + dir.File("no-such-dir")).status, 2);
    EXPECT_FALSE(std::filesystem::exists(dir.File("x.bf")));
    // Each run would succeed but for what is wrong with its arguments.
    const std::string src = dir.File("src"), in = dir.Write("in", "data"), a = dir.File("a.bf");
    std::filesystem::create_directory(src);
    ASSERT_EQ(Tool("create " + a + " " + src).status, 0);
    const std::string wrong[] = {"list", "test", "test " + a + " " + a, "pack " + in, "diff " + a,
                                 "create -j 0 " + a + " " + src, "pack --level 3 " + in + " " + dir.File("o"),
                                 "help nope"};
    for (const std::string& args : wrong) EXPECT_EQ(Tool(args).status, 2) << args;
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
}

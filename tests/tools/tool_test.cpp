// The `bigfile` program itself: exit codes, help and the bash completion
// (tools/bigfile/completion.bash, run by bash on prepared command lines as
// it does when Tab is pressed). Every command's exact output is in
// tool_output_test.cpp and the command tests.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>

#include <orvobf/archive_writer.h>
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
    const std::string wrong[] = {"list", "test", "test " + a + " " + a, "pack " + in, "create -j 0 " + a + " " + src,
                                 "pack --level 3 " + in + " " + dir.File("o"), "help nope"};
    for (const std::string& args : wrong) EXPECT_EQ(Tool(args).status, 2) << args;
}

TEST(Tool, HelpOfEveryCommandFitsEightyColumnsAndTheReadmeShowsTheOverview) {
    const Outcome overview = Tool("--help");
    ASSERT_EQ(overview.status, 0);
    EXPECT_NE(FileBytes(README).find("```\n" + overview.out + "```\n"), std::string::npos) << overview.out;

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

TEST(Completion, CommandsOptionsValuesFoldersAndPathsInsideTheArchive) {
    TempDir dir;
    orvobf::writer::ArchiveBuilder builder;
    std::string error;
    for (const char* path : {"Data/Maps/a.map", "Data/readme.txt", "Data/Rules.ini", "top.txt"})
        ASSERT_TRUE(builder.AddFile(path, "x", &error)) << error;
    const std::string archive = dir.File("game.bf");
    ASSERT_TRUE(builder.Write(archive, &error)) << error;
    std::filesystem::create_directories(dir.File("mods/one"));
    dir.Write("mods/file", "");

    // Each line: the words before the cursor's, then the cursor's word.
    const std::string script = std::string("source ") + COMPLETION_SCRIPT + "\n" +
                               "complete_line() {\n"
                               "  COMP_WORDS=(" + BIGFILE_TOOL + " \"$@\"); COMP_CWORD=$#; _bigfile\n"
                               "  echo \"$*: ${COMPREPLY[*]}\"\n"
                               "}\n";
    const std::string a = archive, m = dir.File("mods/");
    const Outcome run = Shell("bash -c '" + script +
                              "complete_line c\n"
                              "complete_line help e\n"
                              "complete_line list --\n"
                              "complete_line create --level \"\"\n"
                              "complete_line extract -C " + m + " -j 2 " + a + " d\n"
                              "complete_line cat " + a + " data/\n"
                              "complete_line cat " + a + " Data/r\n"
                              "complete_line diff " + a + " " + m + "\n" +
                              "'");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "c: cat create\n"
                       "help e: extract\n"
                       "list --: --help --long --json\n"
                       "create --level : classic fast best\n"
                       "extract -C " + m + " -j 2 " + a + " d: Data/\n" +
                       "cat " + a + " data/: data/Maps/ data/readme.txt data/Rules.ini\n" +
                       "cat " + a + " Data/r: Data/readme.txt Data/Rules.ini\n" +
                       "diff " + a + " " + m + ": " + m + "one\n");
}

// The bash completion (tools/bigfile/completion.bash): bash runs its
// function on prepared command lines, as it does when Tab is pressed.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <orvobf/archive_writer.h>
#include "run_tool.h"
#include "temp_dir.h"

namespace {

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

}  // namespace

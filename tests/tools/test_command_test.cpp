// `bigfile test`: sound archives pass, every kind of bad entry is named.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include <orvobf/archive_writer.h>
#include "run_tool.h"
#include "temp_dir.h"

namespace {
// The output line that names `path`, or empty.
std::string LineOf(const std::string& out, const std::string& path) {
    const size_t at = out.find(": " + path + ": ");
    if (at == std::string::npos) return "";
    const size_t begin = out.rfind('\n', at) + 1;
    return out.substr(begin, out.find('\n', at) - begin);
}
}  // namespace

TEST(ToolTest, SoundArchivePassesAndNamesEveryFileWhenVerbose) {
    TempDir dir;
    orvobf::writer::ArchiveBuilder builder;
    std::string error;
    ASSERT_TRUE(builder.AddFile("A/B/deep.bin", std::string(1 << 21, 'x') + "end", &error));
    ASSERT_TRUE(builder.AddFile("A/empty", "", &error));
    ASSERT_TRUE(builder.AddFile("top", "top", &error));
    const std::string archive = dir.File("ok.bf");
    ASSERT_TRUE(builder.Write(archive, &error)) << error;

    Outcome run = Tool("test -v " + archive);
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("ok  A/B/deep.bin (2.0 MiB)"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("tested 3 files (2.0 MiB) in 2 directories: no problems"), std::string::npos)
        << run.out;
}

TEST(ToolTest, EveryBadEntryIsNamedAndTheRestStillRead) {
    TempDir dir;
    orvobf::writer::RawArchive raw;
    raw.Header(1, 6, 32, 0).Block(6);
    raw.File("a\\b", 1, 0);                     // cannot be looked up by name
    raw.File("good", 4, 0);
    raw.File("odd", 1, 0, 0, 0);                 // neither kind
    raw.File("packed", 100, 0, 1);
    raw.File("past", 10, 2);                     // runs 6 bytes past the end
    raw.Dir("sub").Block(1).File("tail", 2, 2);  // ends exactly at the end
    raw.DataBaseHere().Bytes("good");
    const std::string archive = dir.File("bad.bf");
    std::string error;
    ASSERT_TRUE(raw.WriteTo(archive, &error)) << error;

    Outcome run = Tool("test -v " + archive);
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_NE(run.out.find("ok  sub/tail (2 B)"), std::string::npos) << run.out;
    const std::string past = LineOf(run.out, "past");
    EXPECT_NE(past.find("after 2 of 10 bytes: BigFile Error -5110\tFile i/o error (0)."), std::string::npos)
        << run.out;
    EXPECT_NE(past.find("runs past the end of the archive"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("tested 5 files (8 B) in 1 directories: 4 problems"), std::string::npos) << run.out;
}

TEST(ToolTest, Usage) {
    EXPECT_EQ(Tool("test").status, 2);
    EXPECT_EQ(Tool("test a b").status, 2);
    Outcome help = Tool("test --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: bigfile test"), std::string::npos);
}

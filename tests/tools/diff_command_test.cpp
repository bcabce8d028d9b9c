// `bigfile diff`: an archive against a folder, each kind of difference on
// a line of its own, and the exit codes 0 (same), 1 (different) and 2
// (trouble).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <orvobf/archive_writer.h>
#include "run_tool.h"
#include "temp_dir.h"

namespace {
namespace fs = std::filesystem;

TEST(DiffCommand, EachKindOfDifferenceAndTheExitCodes) {
    TempDir dir;
    std::string big(3 << 19, 'b');  // past the first chunk compared
    const std::vector<std::pair<std::string, std::string>> files = {
        {"A/one.txt", "one"}, {"A/Deep/x", "x"}, {"gone.txt", "g"}, {"kind", "k"},
        {"same.txt", "same"}, {"size.txt", "12345"}, {"big.bin", big}};
    orvobf::writer::ArchiveBuilder builder;
    std::string error;
    ASSERT_TRUE(builder.AddDirectory("B", &error)) << error;
    const fs::path tree = dir.File("tree");
    fs::create_directories(tree / "A" / "Deep");
    fs::create_directories(tree / "B");
    for (const auto& [path, contents] : files) {
        ASSERT_TRUE(builder.AddFile(path, contents, &error, orvobf::writer::Packing::Pack)) << error;
        dir.Write("tree/" + path, contents);
    }
    const std::string archive = dir.File("a.bf");
    ASSERT_TRUE(builder.Write(archive, &error)) << error;
    const std::string args = archive + " " + tree.string();

    SplitOutcome run = ToolSplit("diff " + args);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out + run.err, "");

    fs::remove_all(tree / "A" / "Deep");
    fs::remove(tree / "B");
    dir.Write("tree/B", "now a file");
    fs::remove(tree / "gone.txt");
    fs::remove(tree / "kind");
    fs::create_directories(tree / "kind" / "inside");
    dir.Write("tree/size.txt", "123456");
    big.back() = 'c';
    dir.Write("tree/big.bin", big);
    dir.Write("tree/new.txt", "");
    fs::create_directories(tree / "New" / "sub");
    run = ToolSplit("diff " + args);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out,
              "New: missing in the archive\n"
              "new.txt: missing in the archive\n"
              "A/Deep: missing on disk\n"
              "B: kind differs (a directory in the archive, a file on disk)\n"
              "big.bin: contents differ\n"
              "gone.txt: missing on disk\n"
              "kind: kind differs (a file in the archive, a directory on disk)\n"
              "size.txt: size differs (5 bytes in the archive, 6 on disk)\n");

    // Only the named parts, in any case; a name on neither side is trouble.
    run = ToolSplit("diff " + args + " a SAME.TXT new.txt");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "A/Deep: missing on disk\nnew.txt: missing in the archive\n");
    run = ToolSplit("diff " + args + " a/one.txt nowhere");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "bigfile diff: nowhere: in neither the archive nor the folder\n");

    // A file that cannot be read is trouble, named, and the rest is still
    // compared. The superuser reads whatever the mode says: the tool runs
    // as nobody then.
    ASSERT_EQ(chmod((tree / "same.txt").c_str(), 0), 0);
    const std::string runner = geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
    run = ToolSplit("diff " + args + " same.txt size.txt", runner);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "size.txt: size differs (5 bytes in the archive, 6 on disk)\n");
    EXPECT_EQ(run.err, "bigfile diff: " + (tree / "same.txt").string() + ": cannot be read (Permission denied)\n");

    EXPECT_EQ(ToolSplit("diff " + archive + " " + dir.File("none")).status, 2);
    EXPECT_EQ(ToolSplit("diff " + dir.File("none.bf") + " " + tree.string()).status, 2);
    EXPECT_EQ(ToolSplit("diff " + archive).status, 2);
}

}  // namespace

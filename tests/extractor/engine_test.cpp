// The extraction walk on real archives in a temporary folder: bytes and
// chunking, the tree's shape, and names or broken entries that must not be
// followed.
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <orvobf/archive_writer.h>
#include "engine_fixture.h"
#include "temp_dir.h"

namespace fs = std::filesystem;

namespace {

std::string Pattern(size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + seed) >> 3);
    return bytes;
}

TEST(ExtractEngine, TreeIsRecreatedByteForByteInWholeChunks) {
    TempDir dir;
    orvobf::writer::ArchiveBuilder builder;
    std::string error;
    const std::string exact = Pattern(orvobf::engine::kCopyChunk, 1), over = Pattern(orvobf::engine::kCopyChunk + 1, 2);
    ASSERT_TRUE(builder.AddFile("exact.bin", exact, &error)) << error;
    ASSERT_TRUE(builder.AddFile("A/B/over.bin", over, &error, orvobf::writer::Packing::Pack)) << error;
    ASSERT_TRUE(builder.AddFile("A/empty", "", &error)) << error;
    ASSERT_TRUE(builder.AddDirectory("Hollow", &error)) << error;
    ASSERT_TRUE(builder.Write(dir.File("t.bf"), &error)) << error;

    const fs::path out = dir.File("out");
    fs::create_directories(out);
    std::ofstream(out / "exact.bin") << std::string(3 * orvobf::engine::kCopyChunk, 'x');  // must be truncated
    const Recorder run = Extract(dir.File("t.bf"), out);
    EXPECT_TRUE(run.problems.empty());

    EXPECT_EQ(FileBytes(out / "exact.bin"), exact);
    EXPECT_EQ(FileBytes(out / "A/B/over.bin"), over);
    EXPECT_TRUE(fs::is_regular_file(out / "A/empty"));
    EXPECT_EQ(fs::file_size(out / "A/empty"), 0u);
    EXPECT_TRUE(fs::is_directory(out / "Hollow"));

    std::vector<std::pair<std::string, std::vector<uint32_t>>> expected = {
        {"A/B/over.bin", {orvobf::engine::kCopyChunk, 1}}, {"A/empty", {}}, {"exact.bin", {orvobf::engine::kCopyChunk}}};
    EXPECT_EQ(run.files, expected);
}

TEST(ExtractEngine, NamesThatLeaveTheRootAndBrokenEntriesAreReportedNotFollowed) {
    TempDir dir;
    orvobf::writer::RawArchive raw;
    raw.Header(2, 9, 32, 0).Block(9);
    raw.File("..", 4, 0);
    raw.File("a\\b", 4, 0);
    raw.File("C:x", 4, 0);
    raw.File("good", 4, 0);
    raw.File("odd", 4, 0, 0, 0);  // neither kind: the walk treats it as a file it cannot open
    raw.File("past", 10, 2);      // runs past the end of the archive
    raw.Dir("sub").Block(1).File("ok", 4, 0);
    raw.Dir("taken").Block(1).File("lost", 4, 0);
    raw.File("up/x", 4, 0);
    raw.DataBaseHere().Bytes("GOOD");
    std::string error;
    ASSERT_TRUE(raw.WriteTo(dir.File("bad.bf"), &error)) << error;

    const fs::path out = dir.File("root/out");
    fs::create_directories(out);
    std::ofstream(out / "taken") << "a file where a directory should go";
    const Recorder run = Extract(dir.File("bad.bf"), out);

    std::vector<std::pair<orvobf::engine::Problem, std::string>> expected = {
        {orvobf::engine::Problem::UnsafeName, ".."},  {orvobf::engine::Problem::UnsafeName, "a\\b"},
        {orvobf::engine::Problem::UnsafeName, "C:x"}, {orvobf::engine::Problem::NotFound, "odd"},
        {orvobf::engine::Problem::ReadError, "past"}, {orvobf::engine::Problem::CannotMakeDir, "taken"}, {orvobf::engine::Problem::UnsafeName, "up/x"}};
    EXPECT_EQ(run.problems, expected);
    EXPECT_EQ(FileBytes(out / "good"), "GOOD");
    EXPECT_EQ(FileBytes(out / "sub/ok"), "GOOD");
    EXPECT_EQ(FileBytes(out / "taken"), "a file where a directory should go");
    // Nothing beside or above the extraction root.
    EXPECT_EQ(FolderNames(dir.File("root")), std::set<std::string>{"out"});
    EXPECT_FALSE(fs::exists(out / "lost"));
    EXPECT_STREQ(orvobf::engine::ProblemText(orvobf::engine::Problem::NotFound), "File not found...");
    EXPECT_STREQ(orvobf::engine::ProblemCaption(orvobf::engine::Problem::CannotCreate), "ERROR");
}

}  // namespace

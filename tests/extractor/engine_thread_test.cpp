// The engine recreates an archive's tree byte for byte in whole chunks, at
// any depth, and with several workers writes the tree one worker writes
// and tells its reporter the same things in the same order, problems
// included.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine_fixture.h"

namespace fs = std::filesystem;
using orvobf::engine::kCopyChunk;
using Lines = std::vector<std::string>;

namespace {

// Each path below `root` with its contents; a folder's path ends in '/'.
std::map<std::string, std::string> Tree(const fs::path& root) {
    std::map<std::string, std::string> tree;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        tree[fs::relative(entry.path(), root).generic_string() + (entry.is_directory() ? "/" : "")] =
            entry.is_directory() ? "" : FileBytes(entry.path());
    return tree;
}

std::string Pattern(size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * (seed + 3) + i / 97) ^ seed);
    return bytes;
}

// The `n` lines after `line`.
Lines After(const Lines& lines, const std::string& line, size_t n) {
    const auto at = std::find(lines.begin(), lines.end(), line);
    return at == lines.end() ? Lines{} : Lines(at + 1, at + 1 + std::min<ptrdiff_t>(n, lines.end() - at - 1));
}

}  // namespace

TEST(ExtractEngineThreads, OneOrFourWorkersWriteTheTreeExactlyAndReportAlike) {
    TempDir dir;
    // A big file first, so that later, smaller files finish before it.
    Files files = {{"a/packed/first.bin", Pattern(kCopyChunk + 5, 1)}, {"exact.bin", Pattern(kCopyChunk, 2)},
                   {"b/empty", ""}, {"hollow/", ""}, {"d1/blocked/lost", "lost"}, {"d2/sub/deeper/x", "x"},
                   {"z/packed/last", Pattern(50000, 99)}};
    for (unsigned d = 0; d < 3; ++d)
        for (unsigned f = 0; f < 8; ++f)
            files["d" + std::to_string(d) + (f % 2 ? "/packed/f" : "/f") + std::to_string(f)] =
                Pattern((f * 37 + d * 11) % 9 * 7000, d * 8 + f);
    std::string deep;  // deeper than the archive's directory stack
    for (int i = 0; i < 300; ++i) deep += "d/";
    files[deep + "f"] = "DEEP";
    const std::string archive = WriteArchive(dir, "t.bf", files);
    // The last bytes of the archive cut off: the entry that holds them fails.
    fs::resize_file(archive, fs::file_size(archive) - 100);

    std::vector<Recorder> runs;
    std::vector<std::map<std::string, std::string>> trees;
    for (unsigned workers : {1u, 4u}) {
        const fs::path out = dir.File("out" + std::to_string(workers));
        fs::create_directories(out / "d1");
        std::ofstream(out / "d1/blocked") << "a file where a folder should go";
        std::ofstream(out / "exact.bin") << std::string(3 * kCopyChunk, 'x');  // must be truncated
        runs.push_back(Extract(archive, out, workers));
        trees.push_back(Tree(out));
    }
    EXPECT_EQ(runs[1].lines, runs[0].lines);
    EXPECT_EQ(trees[1], trees[0]);
    EXPECT_EQ(runs[0].problems, (Problems{{orvobf::engine::Problem::CannotMakeDir, "d1/blocked"},
                                          {orvobf::engine::Problem::ReadError, "z/packed/last"}}));
    const std::string chunk = "chunk " + std::to_string(kCopyChunk);
    EXPECT_EQ(After(runs[0].lines, "start a/packed/first.bin", 3),
              (Lines{chunk, "chunk 5", "done a/packed/first.bin " + std::to_string(kCopyChunk + 5)}));
    EXPECT_EQ(After(runs[0].lines, "start exact.bin", 2), (Lines{chunk, "done exact.bin " + std::to_string(kCopyChunk)}));
    EXPECT_EQ(After(runs[0].lines, "start b/empty", 1), Lines{"done b/empty 0"});

    files.erase("d1/blocked/lost");
    files.erase("z/packed/last");  // a failed copy leaves nothing under its name
    files["d1/blocked"] = "a file where a folder should go";
    for (const auto& [path, contents] : files) {
        const auto found = trees[0].find(path);
        EXPECT_TRUE(found != trees[0].end() && found->second == contents) << path;
    }
    EXPECT_EQ(trees[0].count("z/packed/last"), 0u);
}

// The engine with several workers writes the tree one worker writes and
// tells its reporter the same things in the same order, problems included.
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <orvobf/archive_writer.h>
#include "engine_fixture.h"
#include "temp_dir.h"

namespace fs = std::filesystem;

namespace {

// Every call the engine makes, in order.
struct Transcript : orvobf::engine::Reporter {
    std::vector<std::string> lines;
    void FileStarting(const std::string& path) override { lines.push_back("start " + path); }
    void ChunkWritten(uint32_t bytes) override { lines.push_back("chunk " + std::to_string(bytes)); }
    void FileDone(const std::string& path, uint64_t bytes) override {
        lines.push_back("done " + path + " " + std::to_string(bytes));
    }
    void DirectoryDone(const std::string& path) override { lines.push_back("dir " + path); }
    void Report(orvobf::engine::Problem problem, const std::string& path) override {
        lines.push_back(std::string("problem ") + orvobf::engine::ProblemText(problem) + " " + path);
    }
};

// Each path below `root` with its contents ("/" for a folder).
std::map<std::string, std::string> Tree(const fs::path& root) {
    std::map<std::string, std::string> tree;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        tree[fs::relative(entry.path(), root).string()] = entry.is_directory() ? "/" : FileBytes(entry.path());
    return tree;
}

std::string Pattern(size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * (seed + 3) + i / 97) ^ seed);
    return bytes;
}

}  // namespace

TEST(ExtractEngineThreads, FourWorkersWriteAndReportExactlyWhatOneDoes) {
    TempDir dir;
    orvobf::writer::ArchiveBuilder builder;
    std::string error;
    // A big file first, so that later, smaller files finish before it.
    ASSERT_TRUE(builder.AddFile("a/first.bin", Pattern(3 * orvobf::engine::kCopyChunk + 5, 1), &error)) << error;
    for (unsigned d = 0; d < 3; ++d)
        for (unsigned f = 0; f < 8; ++f)
            ASSERT_TRUE(builder.AddFile("d" + std::to_string(d) + "/f" + std::to_string(f),
                                        Pattern((f * 37 + d * 11) % 9 * 7000, d * 8 + f), &error,
                                        f % 2 ? orvobf::writer::Packing::Pack : orvobf::writer::Packing::Store))
                << error;
    ASSERT_TRUE(builder.AddFile("d1/blocked/lost", "lost", &error)) << error;
    ASSERT_TRUE(builder.AddFile("d2/sub/deeper/x", "x", &error)) << error;
    ASSERT_TRUE(builder.AddDirectory("hollow", &error)) << error;
    ASSERT_TRUE(builder.AddFile("z/last", Pattern(50000, 99), &error, orvobf::writer::Packing::Pack)) << error;
    const std::string archive = dir.File("t.bf");
    ASSERT_TRUE(builder.Write(archive, &error)) << error;
    // The last bytes of the archive cut off: whatever entry holds them
    // fails to read.
    fs::resize_file(archive, fs::file_size(archive) - 100);

    std::vector<Transcript> transcripts(2);
    std::vector<std::map<std::string, std::string>> trees(2);
    const unsigned workers[] = {1, 4};
    for (int run = 0; run < 2; ++run) {
        const fs::path out = dir.File("out" + std::to_string(run));
        fs::create_directories(out / "d1");
        std::ofstream(out / "d1/blocked") << "a file where a folder should go";
        BigFile bf;
        bf.Init(BIGFILE_HEADER_VERSION);
        ASSERT_EQ(bf.Open(archive.c_str(), 0), 1) << bf.GetLastErrorText();
        orvobf::engine::DiskTree disk;
        ASSERT_TRUE(disk.OpenRoot(out.string()));
        orvobf::engine::Engine engine(bf, transcripts[run], disk, orvobf::engine::PartialFiles::Discard, workers[run]);
        engine.ExtractTree();
        EXPECT_EQ(engine.problems(), 2u);
        EXPECT_EQ(bf.dirStackDepth, 0u);
        EXPECT_EQ(bf.GetCurrentDir(), bf.GetRootDir());
        trees[run] = Tree(out);
    }
    EXPECT_EQ(transcripts[1].lines, transcripts[0].lines);
    EXPECT_EQ(trees[1], trees[0]);
    const std::vector<std::string>& lines = transcripts[0].lines;
    EXPECT_NE(std::find(lines.begin(), lines.end(), "problem Cannot create directory d1/blocked"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "problem Read Error z/last"), lines.end());
    EXPECT_EQ(trees[0]["a/first.bin"], Pattern(3 * orvobf::engine::kCopyChunk + 5, 1));
    EXPECT_EQ(trees[0]["d2/sub/deeper/x"], "x");
}

// Packing on several threads: the archive is byte for byte the one a single
// thread writes, at every level, whatever bound the images ahead are kept
// under (files beyond it are packed ahead on disk, beside the archive, and
// leave nothing there); and a file that fails, or an image that cannot be
// written, is reported as one thread reports it.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#include <csignal>
#endif

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <orvobf/archive_writer.h>
#include "temp_dir.h"

namespace {
namespace fs = std::filesystem;

// Text, noise and tiny files, from memory and from disk, in nested folders.
void FillTree(const fs::path& disk, std::vector<std::pair<std::string, std::string>>& memory) {
    std::mt19937 rng(11);
    const auto text = [&](size_t n) {
        std::string s;
        while (s.size() < n) s += "line " + std::to_string(rng() % 700) + " of file\n";
        s.resize(n);
        return s;
    };
    const size_t sizes[] = {0, 1, 16, 17, 18, 1000, 4096, 70000, 200000, (1 << 20) + 5};
    for (size_t i = 0; i < std::size(sizes); ++i) {
        const fs::path folder = disk / ("d" + std::to_string(i % 3)) / ("e" + std::to_string(i % 2));
        fs::create_directories(folder);
        std::ofstream(folder / ("t" + std::to_string(i) + ".txt"), std::ios::binary) << text(sizes[i]);
        std::string noise(sizes[i] / 8, '\0');
        for (char& c : noise) c = static_cast<char>(rng());
        std::ofstream(folder / ("n" + std::to_string(i) + ".bin"), std::ios::binary) << noise;
        memory.emplace_back("mem/m" + std::to_string(i), text(sizes[i] / 2 + 3));
    }
}

}  // namespace

TEST(WriterParallel, EveryThreadCountWritesTheSameBytesAndReportsAChangedFileAsOneThreadDoes) {
    TempDir dir;
    const fs::path disk = dir.File("tree");
    std::vector<std::pair<std::string, std::string>> memory;
    FillTree(disk, memory);
    using orvobf::writer::Packing;
    const auto build = [&](Packing packing, PackLevel level, unsigned threads, uint64_t bound) {
        orvobf::writer::ArchiveBuilder builder;
        builder.SetDefaultPacking(packing);
        builder.SetPackLevel(level);
        builder.SetPackThreads(threads);
        builder.SetPackMemory(bound);
        std::string error;
        EXPECT_TRUE(builder.AddFolder("", disk.string(), &error)) << error;
        for (const auto& [path, contents] : memory) EXPECT_TRUE(builder.AddFile(path, contents, &error)) << error;
        EXPECT_TRUE(builder.AddFile("kept", memory.back().second, &error, Packing::Store)) << error;
        EXPECT_TRUE(builder.Write(dir.File("out.bf"), &error)) << error;
        return FileBytes(dir.File("out.bf"));
    };
    const uint64_t plenty = orvobf::writer::ArchiveBuilder::kDefaultPackMemory;
    std::string classic;
    for (const PackLevel level : {PACKED_LEVEL_CLASSIC, PACKED_LEVEL_FAST, PACKED_LEVEL_BEST}) {
        for (const Packing packing : {Packing::Pack, Packing::PackIfSmaller}) {
            if (packing == Packing::PackIfSmaller && level != PACKED_LEVEL_FAST) continue;
            const std::string one = build(packing, level, 1, plenty);
            // Bounds below the largest images: those files are packed ahead
            // into files of their own, the others in memory, a few at a time.
            for (const uint64_t bound : {plenty, uint64_t{300000}, uint64_t{20000}}) {
                EXPECT_TRUE(build(packing, level, 3, bound) == one) << PackLevelName(level) << " bound " << bound;
                EXPECT_EQ(FolderNames(dir.File("")), (std::set<std::string>{"out.bf", "tree"}));
            }
            if (packing != Packing::Pack) continue;
            if (level == PACKED_LEVEL_CLASSIC) classic = one;
            else EXPECT_FALSE(one == classic) << PackLevelName(level) << " packs as classic does";
        }
    }

    // A file that grows after the scan.
    const fs::path grown = disk / "d1" / "e1" / "t7.txt";  // 70000 bytes
    for (const unsigned threads : {1u, 2u}) {
        orvobf::writer::ArchiveBuilder builder;
        builder.SetDefaultPacking(Packing::Pack);
        builder.SetPackThreads(threads);
        std::string error;
        ASSERT_TRUE(builder.AddFolder("", disk.string(), &error)) << error;
        std::ofstream(grown, std::ios::binary | std::ios::app) << "more";
        builder.SetPackMemory(20000);  // the file that grew is packed on disk ahead
        EXPECT_FALSE(builder.Write(dir.File("x.bf"), &error));
        EXPECT_EQ(FolderNames(dir.File("")), (std::set<std::string>{"out.bf", "tree"}));
        EXPECT_EQ(error, grown.string() + ": changed size after it was scanned") << threads << " threads";
        fs::resize_file(grown, fs::file_size(grown) - 4);
    }
}

#ifndef _WIN32
// A file size limit stands in for a full disk: an image packed ahead that
// cannot be written fails the archive with the message the archive's own
// write gives, and leaves nothing.
TEST(WriterParallel, AnImageAheadThatCannotBeWrittenFailsAsTheArchiveWould) {
    TempDir dir;
    std::mt19937 rng(5);
    std::string noise(400000, '\0');
    for (char& c : noise) c = static_cast<char>(rng());
    std::string messages[2];
    for (const unsigned threads : {1u, 2u}) {
        orvobf::writer::ArchiveBuilder builder;
        builder.SetDefaultPacking(orvobf::writer::Packing::Pack);
        builder.SetPackThreads(threads);
        builder.SetPackMemory(20000);
        std::string error;
        for (const char* name : {"a", "b", "c"}) ASSERT_TRUE(builder.AddFile(name, noise, &error)) << error;
        rlimit saved{};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
        rlimit small = saved;
        small.rlim_cur = 100000;
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        EXPECT_FALSE(builder.Write(dir.File("x.bf"), &error));
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);
        EXPECT_TRUE(FolderNames(dir.File("")).empty());
        messages[threads - 1] = error;
    }
    EXPECT_EQ(messages[0], "cannot write " + dir.File("x.bf") + ": " + std::strerror(EFBIG));
    EXPECT_EQ(messages[1], messages[0]);
}
#endif

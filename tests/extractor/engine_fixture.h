// The extraction engine run on a real archive into a real folder, with a
// reporter that records what the walk said.
#ifndef ORVOBF_TESTS_ENGINE_FIXTURE_H
#define ORVOBF_TESTS_ENGINE_FIXTURE_H

#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "archive_files.h"
#include "extract_engine.h"

using Problems = std::vector<std::pair<orvobf::engine::Problem, std::string>>;

// Every call the engine makes, in order, and the problems on their own.
struct Recorder : orvobf::engine::Reporter {
    std::vector<std::string> lines;
    Problems problems;
    std::function<void(const std::string&)> onStart;  // runs as each file starts
    void FileStarting(const std::string& path) override {
        lines.push_back("start " + path);
        if (onStart) onStart(path);
    }
    void ChunkWritten(uint32_t bytes) override { lines.push_back("chunk " + std::to_string(bytes)); }
    void FileDone(const std::string& path, uint64_t bytes) override {
        lines.push_back("done " + path + " " + std::to_string(bytes));
    }
    void DirectoryDone(const std::string& path) override { lines.push_back("dir " + path); }
    void Report(orvobf::engine::Problem problem, const std::string& path) override {
        problems.push_back({problem, path});
        lines.push_back(std::string("problem ") + orvobf::engine::ProblemText(problem) + " " + path);
    }
};

// Extracts `archive`'s root into `into` (made if missing) on `workers`
// threads; the walk leaves the archive's navigation where it was.
inline Recorder Extract(const std::string& archive, const std::filesystem::path& into, unsigned workers = 1,
                        std::function<void(const std::string&)> onStart = {}) {
    Recorder recorder;
    recorder.onStart = std::move(onStart);
    BigFile bf;
    bf.Init(BIGFILE_HEADER_VERSION);
    std::filesystem::create_directories(into);
    orvobf::engine::DiskTree disk;
    if (!bf.Open(archive.c_str(), 0) || !disk.OpenRoot(into.string())) {
        ADD_FAILURE() << "cannot extract " << archive << ": " << bf.GetLastErrorText();
        return recorder;
    }
    orvobf::engine::Engine engine(bf, recorder, disk, orvobf::engine::PartialFiles::Discard, workers);
    engine.ExtractTree();
    EXPECT_EQ(engine.problems(), recorder.problems.size());
    EXPECT_EQ(bf.dirStackDepth, 0u);
    EXPECT_EQ(bf.GetCurrentDir(), bf.GetRootDir());
    return recorder;
}

#endif

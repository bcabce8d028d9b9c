// The extraction engine run on a real archive into a real folder, with a
// reporter that records what the walk said.
#ifndef ORVOBF_TESTS_ENGINE_FIXTURE_H
#define ORVOBF_TESTS_ENGINE_FIXTURE_H

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "extract_engine.h"
#include "temp_dir.h"

struct Recorder : orvobf::engine::Reporter {
    std::vector<std::pair<std::string, std::vector<uint32_t>>> files;
    std::vector<std::pair<orvobf::engine::Problem, std::string>> problems;
    std::function<void(const std::string&)> onStart;  // runs as each file starts
    void FileStarting(const std::string& path) override {
        files.push_back({path, {}});
        if (onStart) onStart(path);
    }
    void ChunkWritten(uint32_t bytes) override { files.back().second.push_back(bytes); }
    void Report(orvobf::engine::Problem problem, const std::string& path) override { problems.push_back({problem, path}); }
};

// Extracts `archive`'s root into `into` (made if missing).
inline void Extract(const std::string& archive, const std::filesystem::path& into, Recorder& recorder,
                    orvobf::engine::PartialFiles partial = orvobf::engine::PartialFiles::Discard) {
    BigFile bf;
    bf.Init(BIGFILE_HEADER_VERSION);
    ASSERT_TRUE(bf.Open(archive.c_str(), 0)) << bf.GetLastErrorText();
    std::filesystem::create_directories(into);
    orvobf::engine::DiskTree disk;
    ASSERT_TRUE(disk.OpenRoot(into.string()));
    orvobf::engine::Engine engine(bf, recorder, disk, partial);
    engine.ExtractTree();
    EXPECT_EQ(engine.problems(), recorder.problems.size());
}

inline Recorder Extract(const std::string& archive, const std::filesystem::path& into,
                        orvobf::engine::PartialFiles partial = orvobf::engine::PartialFiles::Discard) {
    Recorder recorder;
    Extract(archive, into, recorder, partial);
    return recorder;
}

#endif

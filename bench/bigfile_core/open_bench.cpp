// Opening large archives (the whole directory is loaded) and looking paths
// up in the loaded tree. Archives are written by our writer into a
// temporary folder once per process.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <map>
#include <memory>
#include <string>

#include <orvobf/archive_writer.h>
#include <orvobf/ORVOBF.H>
#include "temp_dir.h"

namespace {
TempDir& Dir() {
    static TempDir dir;
    return dir;
}

// files spread over 1000 leaf directories three levels deep, plus one
// chain eight levels deep; or all files in one directory.
const std::string& Archive(uint32_t files, bool oneDirectory) {
    static std::map<std::pair<uint32_t, bool>, std::string> made;
    auto& path = made[{files, oneDirectory}];
    if (!path.empty()) return path;
    orvobf::writer::ArchiveBuilder builder;
    std::string error;
    for (uint32_t i = 0; i < files; ++i) {
        const uint32_t leaf = i % 1000;
        std::string name = oneDirectory ? "" : "d" + std::to_string(leaf / 100) + "/e" +
                                                   std::to_string(leaf / 10 % 10) + "/f" +
                                                   std::to_string(leaf % 10) + "/";
        name += "file_" + std::to_string(i) + ".dat";
        if (!builder.AddFile(name, "", &error)) std::abort();
    }
    builder.AddFile("a/b/c/d/e/f/g/h/target.bin", "x", &error);
    path = Dir().File("a" + std::to_string(files) + (oneDirectory ? "flat" : "tree") + ".bf");
    if (!builder.Write(path, &error)) std::abort();
    return path;
}

void BM_Open(benchmark::State& state) {
    const uint32_t files = static_cast<uint32_t>(state.range(0));
    const std::string& path = Archive(files, state.range(1) != 0);
    size_t heap = 0;
    for (auto _ : state) {
        BigFile bf;
        bf.Init(BIGFILE_HEADER_VERSION);
        const size_t before = mallinfo2().uordblks;
        if (!bf.Open(path.c_str(), 0)) state.SkipWithError(bf.GetLastErrorText());
        heap = mallinfo2().uordblks - before;
        state.PauseTiming();
        bf.Close();
        state.ResumeTiming();
    }
    state.counters["ns_per_entry"] = benchmark::Counter(
        static_cast<double>(files), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["heap_bytes_per_entry"] = static_cast<double>(heap) / files;
}
BENCHMARK(BM_Open)->Args({100000, 0})->Args({1000000, 0})->Args({200000, 1})->Unit(benchmark::kMillisecond);

void BM_LookupEightLevels(benchmark::State& state) {
    BigFile bf;
    bf.Init(BIGFILE_HEADER_VERSION);
    if (!bf.Open(Archive(1000000, false).c_str(), 0)) state.SkipWithError("open");
    for (auto _ : state) {
        FileHandle h = 0;
        if (!bf.FileOpen("/a/b/c/d/e/f/g/h/target.bin", &h, BF_MODE_BINARY)) state.SkipWithError("lookup");
        bf.FileClose(h);
    }
}
BENCHMARK(BM_LookupEightLevels);

void BM_LookupInBigDirectory(benchmark::State& state) {
    BigFile bf;
    bf.Init(BIGFILE_HEADER_VERSION);
    if (!bf.Open(Archive(1000000, false).c_str(), 0)) state.SkipWithError("open");
    uint32_t i = 0;
    for (auto _ : state) {
        const uint32_t n = (i++ * 7919) % 1000000, leaf = n % 1000;
        const std::string path = "d" + std::to_string(leaf / 100) + "/e" + std::to_string(leaf / 10 % 10) +
                                 "/f" + std::to_string(leaf % 10) + "/file_" + std::to_string(n) + ".dat";
        FileHandle h = 0;
        if (!bf.FileOpen(path.c_str(), &h, BF_MODE_BINARY)) state.SkipWithError("lookup");
        bf.FileClose(h);
    }
}
BENCHMARK(BM_LookupInBigDirectory);
}  // namespace

BENCHMARK_MAIN();

// read_all of every file of the demo's archive through <orvobf/orvobf.hpp>
// against the system's calls directly (FileOpen by path, FileSize, one
// FileRead, FileClose into a buffer of the size), and one Archive read by
// one thread against four threads, each reading every packed file.
//
// The archive is the demo's BigTest.bf: make-sample-tree's folder written
// with its entries packed where that makes them smaller.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include <orvobf/archive_writer.h>
#include <orvobf/ORVOBF.H>
#include <orvobf/orvobf.hpp>
#include "temp_dir.h"

namespace {

struct Demo {
    TempDir dir;
    std::string path;
    std::vector<std::string> files, packed;
    uint64_t bytes = 0, packedBytes = 0;

    Demo() {
        const std::string sample = dir.File("sample");
        if (std::system((std::string(MAKE_SAMPLE) + " '" + sample + "'").c_str()) != 0) return;
        orvobf::writer::ArchiveBuilder builder;
        builder.SetDefaultPacking(orvobf::writer::Packing::PackIfSmaller);
        std::string error;
        if (!builder.AddFolder("", sample, &error) || !builder.Write(dir.File("BigTest.bf"), &error)) return;
        path = dir.File("BigTest.bf");
        std::error_code ec;
        orvobf::Archive::open(path, ec).walk("", [&](const orvobf::Entry& entry) {
            if (entry.is_dir) return orvobf::walk_action::next;
            files.push_back(entry.path);
            bytes += entry.size;
            if (entry.packed) packed.push_back(entry.path), packedBytes += entry.size;
            return orvobf::walk_action::next;
        }, ec);
    }
};

const Demo& Shared() {
    static const Demo demo;
    return demo;
}

uint64_t ReadAllSystem(BigFile& bf, const std::vector<std::string>& files) {
    uint64_t total = 0;
    for (const std::string& file : files) {
        FileHandle h = 0;
        if (!bf.FileOpen(file.c_str(), &h, BF_MODE_BINARY)) std::abort();
        std::vector<std::byte> bytes(static_cast<size_t>(bf.FileSize(h)));
        uint32_t got = 0;
        if (!bytes.empty() && !bf.FileRead(h, bytes.data(), static_cast<uint32_t>(bytes.size()), &got)) std::abort();
        bf.FileClose(h);
        benchmark::DoNotOptimize(bytes.data());
        total += got;
    }
    return total;
}

uint64_t ReadAllCxx(const orvobf::Archive& archive, const std::vector<std::string>& files) {
    uint64_t total = 0;
    std::error_code ec;
    for (const std::string& file : files) {
        const std::vector<std::byte> bytes = archive.read_all(file, ec);
        if (ec) std::abort();
        benchmark::DoNotOptimize(bytes.data());
        total += bytes.size();
    }
    return total;
}

// Both in turn in every iteration, so that whatever else the machine does
// weighs on both alike: the counters are each one's time per pass over the
// archive and their ratio.
void BM_ReadAll_CxxAgainstSystem(benchmark::State& state) {
    const Demo& demo = Shared();
    BigFile bf;
    bf.Init(BIGFILE_HEADER_VERSION);
    std::error_code ec;
    const orvobf::Archive archive = orvobf::Archive::open(demo.path, ec);
    if (demo.files.empty() || !bf.Open(demo.path.c_str(), 0) || ec) {
        state.SkipWithError("no demo archive");
        return;
    }
    using Clock = std::chrono::steady_clock;
    Clock::duration system{}, cxx{};
    for (auto _ : state) {
        const auto start = Clock::now();
        if (ReadAllSystem(bf, demo.files) != demo.bytes) std::abort();
        const auto middle = Clock::now();
        if (ReadAllCxx(archive, demo.files) != demo.bytes) std::abort();
        system += middle - start;
        cxx += Clock::now() - middle;
    }
    const double passes = static_cast<double>(state.iterations());
    state.counters["system_ms"] = std::chrono::duration<double, std::milli>(system).count() / passes;
    state.counters["cxx_ms"] = std::chrono::duration<double, std::milli>(cxx).count() / passes;
    state.counters["cxx_over_system"] = std::chrono::duration<double>(cxx) / std::chrono::duration<double>(system);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 2 * static_cast<int64_t>(demo.bytes));
}

// Every thread reads every packed file of one shared Archive per
// iteration: the bytes per second of 4 threads over those of 1 are the
// scaling.
void BM_PackedFiles_OneArchive(benchmark::State& state) {
    static orvobf::Archive archive;
    const Demo& demo = Shared();
    if (state.thread_index() == 0) {
        std::error_code ec;
        archive = orvobf::Archive::open(demo.path, ec);
    }
    // Google Benchmark starts every thread's loop together, after the set-up.
    for (auto _ : state)
        if (ReadAllCxx(archive, demo.packed) != demo.packedBytes) std::abort();
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(demo.packedBytes));
}

}  // namespace

BENCHMARK(BM_ReadAll_CxxAgainstSystem)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PackedFiles_OneArchive)->Threads(1)->Threads(4)->UseRealTime()->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();

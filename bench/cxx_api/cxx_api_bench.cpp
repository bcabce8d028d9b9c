// read_all of every file of the demo's archive through <orvobf/orvobf.hpp>
// against the system's calls directly (FileOpen by path, FileSize, one
// FileRead, FileClose into a buffer of the size), and one Archive read by
// one thread against four threads, each reading every packed file.
//
// The archive is the demo's BigTest.bf: make-sample-tree's folder written
// with its entries packed where that makes them smaller.
#include <benchmark/benchmark.h>

#include <time.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
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

// The calling thread's CPU time: what other processes do barely shows in it.
std::chrono::nanoseconds ThreadCpu() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

// Both in turn in every iteration, so that whatever else the machine does
// weighs on both alike: the counters are each one's wall time per pass over
// the archive and the ratios of their wall and CPU times.
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
    std::chrono::nanoseconds systemCpu{}, cxxCpu{};
    for (auto _ : state) {
        const auto start = Clock::now();
        const auto startCpu = ThreadCpu();
        if (ReadAllSystem(bf, demo.files) != demo.bytes) std::abort();
        const auto middle = Clock::now();
        const auto middleCpu = ThreadCpu();
        if (ReadAllCxx(archive, demo.files) != demo.bytes) std::abort();
        system += middle - start;
        cxx += Clock::now() - middle;
        systemCpu += middleCpu - startCpu;
        cxxCpu += ThreadCpu() - middleCpu;
    }
    using Ms = std::chrono::duration<double, std::milli>;
    const double passes = static_cast<double>(state.iterations());
    state.counters["system_ms"] = Ms(system).count() / passes;
    state.counters["cxx_ms"] = Ms(cxx).count() / passes;
    state.counters["cxx_over_system"] = Ms(cxx) / Ms(system);
    state.counters["cxx_over_system_cpu"] = Ms(cxxCpu) / Ms(systemCpu);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 2 * static_cast<int64_t>(demo.bytes));
}

// range(0) threads each read every packed file of one shared Archive per
// iteration: bytes per second of 4 threads over those of 1 are the scaling.
void BM_PackedFiles_OneArchive(benchmark::State& state) {
    const Demo& demo = Shared();
    std::error_code ec;
    const orvobf::Archive archive = orvobf::Archive::open(demo.path, ec);
    if (demo.packed.empty() || ec) {
        state.SkipWithError("no demo archive");
        return;
    }
    const auto threads = static_cast<int>(state.range(0));
    for (auto _ : state) {
        std::vector<std::thread> running;
        for (int t = 0; t < threads; ++t)
            running.emplace_back([&] {
                if (ReadAllCxx(archive, demo.packed) != demo.packedBytes) std::abort();
            });
        for (std::thread& thread : running) thread.join();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * threads *
                            static_cast<int64_t>(demo.packedBytes));
}

}  // namespace

BENCHMARK(BM_ReadAll_CxxAgainstSystem)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PackedFiles_OneArchive)->ArgName("threads")->Arg(1)->Arg(4)->UseRealTime()->MeasureProcessCPUTime()->Unit(
    benchmark::kMillisecond);

BENCHMARK_MAIN();

// Reading one stored entry through the plain functions against the same
// reads on the object itself, in one run: the forwarding should cost
// nothing that shows, even with small reads where calls dominate.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include <orvobf/archive_writer.h>
#include <orvobf/ORVOBF.H>
#include "temp_dir.h"

namespace {
constexpr uint32_t kEntrySize = 64u << 20;

struct Archive {
    TempDir dir;
    std::string path = dir.File("bench.bf");
    Archive() {
        orvobf::writer::ArchiveBuilder builder;
        std::string error;
        std::string contents(kEntrySize, '\0');
        for (uint32_t i = 0; i < kEntrySize; ++i) contents[i] = static_cast<char>(i * 131u >> 3);
        if (!builder.AddFile("big.bin", std::move(contents), &error) || !builder.Write(path, &error))
            path.clear();
    }
};

const Archive& Shared() {
    static const Archive archive;
    return archive;
}

template <bool kFlat>
void ReadEntry(benchmark::State& state) {
    const uint32_t chunk = static_cast<uint32_t>(state.range(0));
    BigFile* bf = BF_Create();
    BF_Init(bf, BIGFILE_HEADER_VERSION);
    if (Shared().path.empty() || !BF_Open(bf, Shared().path.c_str(), 0)) {
        state.SkipWithError("no archive");
        BF_Destroy(bf);
        return;
    }
    std::vector<unsigned char> buffer(chunk);
    for (auto _ : state) {
        FileHandle h = 0;
        uint64_t total = 0;
        uint32_t got = 0;
        if constexpr (kFlat) {
            BF_FileOpen(bf, "big.bin", &h);
            while (!BF_FileEof(bf, h) && BF_FileRead(bf, h, buffer.data(), chunk, &got)) total += got;
            BF_FileClose(bf, h);
        } else {
            bf->FileOpen("big.bin", &h, BF_MODE_BINARY);
            while (!bf->FileEof(h) && bf->FileRead(h, buffer.data(), chunk, &got)) total += got;
            bf->FileClose(h);
        }
        if (total != kEntrySize) state.SkipWithError("short entry");
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kEntrySize);
    BF_Destroy(bf);
}
}  // namespace

BENCHMARK(ReadEntry<false>)->Name("Object_FileRead")->Arg(64)->Arg(1 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(ReadEntry<true>)->Name("Flat_BF_FileRead")->Arg(64)->Arg(1 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();

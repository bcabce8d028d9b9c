// Stored reads through the handle table against plain stdio on the same
// bytes of the same file, in one run. The archive (one 256 MiB stored
// entry of pseudo-random bytes) is written by our writer once per process.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <orvobf/archive_writer.h>
#include <orvobf/ORVOBF.H>
#include <orvobf/platform.h>
#include <orvobf/platform_test_hooks.h>
#include "temp_dir.h"

namespace {

constexpr uint32_t kEntrySize = 256u << 20;
constexpr uint32_t kChunk = 1u << 20;

struct Fixture {
    TempDir dir;
    std::string archive;
    uint64_t dataStart = 0;  // absolute offset of the entry's first byte
    Fixture() {
        const std::string raw = dir.File("big.raw");
        FILE* out = std::fopen(raw.c_str(), "wb");
        if (!out) std::abort();
        std::vector<uint64_t> block(kChunk / 8);
        uint64_t x = 0x9E3779B97F4A7C15ull;
        for (uint32_t done = 0; done < kEntrySize; done += kChunk) {
            for (auto& word : block) {
                x ^= x << 13, x ^= x >> 7, x ^= x << 17;
                word = x;
            }
            std::fwrite(block.data(), 1, kChunk, out);
        }
        std::fclose(out);
        orvobf::writer::ArchiveBuilder builder;
        std::string error;
        archive = dir.File("big.bf");
        if (!builder.AddDiskFile("data/big.bin", raw, &error) || !builder.Write(archive, &error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            std::abort();
        }
        std::remove(raw.c_str());
        BigFile bf;
        bf.Init(BIGFILE_HEADER_VERSION);
        bf.Open(archive.c_str(), 0);
        bf.ChangeDir("data");
        dataStart = bf.dataBase + static_cast<uint64_t>(bf.FindFile("big.bin")->offset);
    }
};

Fixture& Data() {
    static Fixture fixture;
    return fixture;
}

struct OpenEntry {
    BigFile bf;
    FileHandle handle = 0;
    explicit OpenEntry(int handles = 1) {
        bf.Init(BIGFILE_HEADER_VERSION);
        if (!bf.Open(Data().archive.c_str(), 0)) std::abort();
        for (int i = 0; i < handles; ++i) {
            FileHandle h = 0;
            if (!bf.FileOpen("data/big.bin", &h, BF_MODE_BINARY)) std::abort();
            if (i == 0) handle = h;
        }
    }
};

FILE* OpenAtData() {
    FILE* in = std::fopen(Data().archive.c_str(), "rb");
    if (!in || orvobf::platform::StreamSeek(in, static_cast<int64_t>(Data().dataStart), SEEK_SET) != 0) std::abort();
    return in;
}

void BM_FileRead_1MiBChunks(benchmark::State& state) {
    OpenEntry e;
    std::vector<char> buffer(kChunk);
    for (auto _ : state) {
        e.bf.FileSeek(e.handle, 0, 0);
        uint32_t got = 0;
        for (uint32_t done = 0; done < kEntrySize; done += got)
            if (!e.bf.FileRead(e.handle, buffer.data(), kChunk, &got) || got == 0) std::abort();
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kEntrySize);
}

void BM_Fread_1MiBChunks(benchmark::State& state) {
    FILE* in = OpenAtData();
    std::vector<char> buffer(kChunk);
    for (auto _ : state) {
        orvobf::platform::StreamSeek(in, static_cast<int64_t>(Data().dataStart), SEEK_SET);
        for (uint32_t done = 0; done < kEntrySize; done += kChunk)
            if (std::fread(buffer.data(), 1, kChunk, in) != kChunk) std::abort();
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kEntrySize);
    std::fclose(in);
}

// Small reads run over the first 64 MiB and start again there.
constexpr uint32_t kSmallSpan = 64u << 20;

void BM_FileRead_Small(benchmark::State& state) {
    OpenEntry e;
    const uint32_t size = static_cast<uint32_t>(state.range(0));
    std::vector<char> buffer(size);
    uint32_t position = 0;
    for (auto _ : state) {
        if (position + size > kSmallSpan) {
            e.bf.FileSeek(e.handle, 0, 0);
            position = 0;
        }
        uint32_t got = 0;
        e.bf.FileRead(e.handle, buffer.data(), size, &got);
        position += got;
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * size);
}

void BM_Fread_Small(benchmark::State& state) {
    FILE* in = OpenAtData();
    const uint32_t size = static_cast<uint32_t>(state.range(0));
    std::vector<char> buffer(size);
    uint32_t position = 0;
    for (auto _ : state) {
        if (position + size > kSmallSpan) {
            orvobf::platform::StreamSeek(in, static_cast<int64_t>(Data().dataStart), SEEK_SET);
            position = 0;
        }
        position += static_cast<uint32_t>(std::fread(buffer.data(), 1, size, in));
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * size);
    std::fclose(in);
}

void BM_Getc(benchmark::State& state) {
    FILE* in = OpenAtData();
    uint32_t position = 0;
    for (auto _ : state) {
        if (++position > kSmallSpan) {
            orvobf::platform::StreamSeek(in, static_cast<int64_t>(Data().dataStart), SEEK_SET);
            position = 1;
        }
        benchmark::DoNotOptimize(std::getc(in));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()));
    std::fclose(in);
}

// Handle A reads the first half, B the second, 64 KiB in turns: every
// switch must seek once, consecutive reads of one handle never.
void BM_TwoHandlesAlternating(benchmark::State& state) {
    OpenEntry e(2);
    const FileHandle a = e.handle, b = e.handle + 1;
    constexpr uint32_t kPiece = 64u << 10, kHalf = kEntrySize / 2;
    std::vector<char> buffer(kPiece);
    const uint64_t seeksBefore = orvobf::platform::StreamSeekCount();
    uint64_t reads = 0;
    for (auto _ : state) {
        e.bf.FileSeek(a, 0, 0);
        e.bf.FileSeek(b, static_cast<int32_t>(kHalf), 0);
        uint32_t got = 0;
        for (uint32_t done = 0; done < kHalf; done += kPiece) {
            e.bf.FileRead(a, buffer.data(), kPiece, &got);
            e.bf.FileRead(b, buffer.data(), kPiece, &got);
            reads += 2;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kEntrySize);
    state.counters["seeks_per_read"] =
        static_cast<double>(orvobf::platform::StreamSeekCount() - seeksBefore) / static_cast<double>(reads);
}

void BM_OneHandleSameReads(benchmark::State& state) {
    OpenEntry e;
    constexpr uint32_t kPiece = 64u << 10;
    std::vector<char> buffer(kPiece);
    const uint64_t seeksBefore = orvobf::platform::StreamSeekCount();
    uint64_t reads = 0;
    for (auto _ : state) {
        e.bf.FileSeek(e.handle, 0, 0);
        uint32_t got = 0;
        for (uint32_t done = 0; done < kEntrySize; done += kPiece, ++reads)
            e.bf.FileRead(e.handle, buffer.data(), kPiece, &got);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kEntrySize);
    state.counters["seeks_per_read"] =
        static_cast<double>(orvobf::platform::StreamSeekCount() - seeksBefore) / static_cast<double>(reads);
}

}  // namespace

BENCHMARK(BM_FileRead_1MiBChunks)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Fread_1MiBChunks)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FileRead_Small)->Arg(1)->Arg(16)->Arg(4096);
BENCHMARK(BM_Fread_Small)->Arg(1)->Arg(16)->Arg(4096);
BENCHMARK(BM_Getc);
BENCHMARK(BM_TwoHandlesAlternating)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OneHandleSameReads)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();

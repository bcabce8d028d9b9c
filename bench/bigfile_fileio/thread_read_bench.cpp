// Loader threads on one archive object: two, four and eight threads each
// reading an entry of its own through its own handle, against one thread
// reading the same entries one after the other, in one run. Packed entries
// in 1 MiB chunks (the decoding is the work), stored entries in 64 KiB
// chunks from the page cache (the copying is). Each archive is written
// once per process: eight copies of one packed image, eight stored entries
// of pseudo-random bytes.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <orvobf/archive_writer.h>
#include <orvobf/ORVOBF.H>
#include <orvobf/packed_stream.h>
#include "temp_dir.h"

namespace {

constexpr int kEntries = 8;
constexpr uint32_t kPackedSize = 8u << 20;
constexpr uint32_t kStoredSize = 16u << 20;
constexpr uint32_t kPackedChunk = 1u << 20;
constexpr uint32_t kStoredChunk = 64u << 10;

// Header, one directory block of `kEntries` files e0..e7 whose data follow
// it back to back, each `dataSize` bytes of the data area.
std::string ArchiveHead(uint32_t size, uint32_t dataSize, bool packed) {
    const uint32_t dirSize = 4 + kEntries * (4 + 2 + 4 + 12);
    orvobf::writer::RawArchive head;
    head.Header(0, kEntries, 32, 0).Block(kEntries);
    for (int i = 0; i < kEntries; ++i)
        head.File("e" + std::to_string(i), size, 32 + dirSize + static_cast<uint32_t>(i) * dataSize,
                  packed ? dataSize : 0);
    return head.bytes();
}

void WriteArchive(const std::string& path, const std::string& head, const std::vector<std::string>& data) {
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out || std::fwrite(head.data(), 1, head.size(), out) != head.size()) std::abort();
    for (const std::string& bytes : data)
        if (std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size()) std::abort();
    if (std::fclose(out) != 0) std::abort();
}

struct Fixture {
    TempDir dir;
    std::string packed, stored;
    Fixture() {
        // Words and numbers: compresses like ordinary text (about 2:1).
        std::string text;
        std::mt19937 rng(7);
        static const char* words[] = {"level ", "texture ", "mesh ", "sound ", "script ", "chunk ", "\n"};
        while (text.size() < kPackedSize) {
            text += words[rng() % 7];
            if (rng() % 3 == 0) text += std::to_string(rng() % 100000) + ' ';
        }
        text.resize(kPackedSize);
        PackedStream packer;
        if (packer.Init(PACKED_STREAM_VERSION) != 0) std::abort();
        std::string image(static_cast<size_t>(PackedMaxImageSize(kPackedSize)), '\0');
        const int32_t body = packer.PackBuffer(reinterpret_cast<const unsigned char*>(text.data()),
                                               reinterpret_cast<unsigned char*>(image.data()), kPackedSize);
        if (body <= 0) std::abort();
        image.resize(4 + static_cast<size_t>(body));
        packed = dir.File("packed.bf");
        WriteArchive(packed, ArchiveHead(kPackedSize, static_cast<uint32_t>(image.size()), true),
                     std::vector<std::string>(kEntries, image));

        std::vector<std::string> data(kEntries, std::string(kStoredSize, '\0'));
        uint64_t x = 0x9E3779B97F4A7C15ull;
        for (std::string& bytes : data)
            for (size_t i = 0; i < bytes.size(); i += 8) {
                x ^= x << 13, x ^= x >> 7, x ^= x << 17;
                for (int b = 0; b < 8; ++b) bytes[i + b] = static_cast<char>(x >> (8 * b));
            }
        stored = dir.File("stored.bf");
        WriteArchive(stored, ArchiveHead(kStoredSize, kStoredSize, false), data);
    }
};

Fixture& Data() {
    static Fixture fixture;
    return fixture;
}

// Reads entry e<index> whole in `chunk` pieces through its own handle.
void ReadEntry(BigFile& bf, int index, uint32_t chunk, uint32_t size) {
    FileHandle h = 0;
    if (!bf.FileOpen(("e" + std::to_string(index)).c_str(), &h, BF_MODE_BINARY)) std::abort();
    std::vector<char> buffer(chunk);
    uint32_t got = 0;
    for (uint32_t done = 0; done < size; done += got)
        if (!bf.FileRead(h, buffer.data(), chunk, &got) || got == 0) std::abort();
    benchmark::DoNotOptimize(buffer.data());
    bf.FileClose(h);
}

// range(0) threads read range(1) entries, each thread its share.
void ReadEntries(benchmark::State& state, const std::string& archive, uint32_t chunk, uint32_t size) {
    BigFile bf;
    bf.Init(BIGFILE_HEADER_VERSION);
    if (!bf.Open(archive.c_str(), 0)) std::abort();
    const int threads = static_cast<int>(state.range(0)), entries = static_cast<int>(state.range(1));
    for (int i = 0; i < entries; ++i) ReadEntry(bf, i, chunk, size);  // into the page cache
    for (auto _ : state) {
        std::vector<std::thread> running;
        for (int t = 0; t < threads; ++t)
            running.emplace_back([&, t] {
                for (int i = t; i < entries; i += threads) ReadEntry(bf, i, chunk, size);
            });
        for (std::thread& thread : running) thread.join();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * entries * size);
}

void BM_PackedEntries_1MiBChunks(benchmark::State& state) {
    ReadEntries(state, Data().packed, kPackedChunk, kPackedSize);
}

void BM_StoredEntries_64KiBChunks(benchmark::State& state) {
    ReadEntries(state, Data().stored, kStoredChunk, kStoredSize);
}

// One thread reading N entries, then N threads reading one each.
void Pairs(benchmark::internal::Benchmark* b) {
    b->ArgNames({"threads", "entries"});
    for (int n : {2, 4, 8}) b->Args({1, n})->Args({n, n});
    b->UseRealTime()->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);
}

}  // namespace

BENCHMARK(BM_PackedEntries_1MiBChunks)->Apply(Pairs);
BENCHMARK(BM_StoredEntries_64KiBChunks)->Apply(Pairs);

BENCHMARK_MAIN();

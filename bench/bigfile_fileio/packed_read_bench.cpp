// A 256 MiB packed entry read through FileRead in 1 MiB chunks, against
// UnpackBuffer of the same image held in memory, in one run; and 1,000
// reads of 4 KiB at random positions through FileSeek/FileRead on a fresh
// handle (its checkpoints built as it goes), against one read of the whole
// entry on a fresh handle. The archive is written by our writer from
// generated text once per process.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include <orvobf/archive_writer.h>
#include <orvobf/ORVOBF.H>
#include <orvobf/packed_file.h>
#include <orvobf/packed_stream.h>
#include <orvobf/platform.h>
#include "memory_medium.h"
#include "temp_dir.h"

namespace {

constexpr uint32_t kEntrySize = 256u << 20;
constexpr uint32_t kChunk = 1u << 20;

struct Fixture {
    TempDir dir;
    std::string archive;
    std::vector<unsigned char> image;
    Fixture() {
        // Words and numbers: compresses like ordinary text (about 2:1).
        std::string text;
        text.reserve(kEntrySize);
        std::mt19937 rng(11);
        static const char* words[] = {"archive ", "directory ", "entry ", "packed ", "stream ",
                                      "window ", "match ", "literal ", "offset ", "\n"};
        while (text.size() < kEntrySize) {
            text += words[rng() % 10];
            if (rng() % 3 == 0) text += std::to_string(rng() % 100000) + ' ';
        }
        text.resize(kEntrySize);
        orvobf::writer::ArchiveBuilder builder;
        std::string error;
        archive = dir.File("packed.bf");
        if (!builder.AddFile("big.txt", std::move(text), &error, orvobf::writer::Packing::Pack) ||
            !builder.Write(archive, &error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            std::abort();
        }
        BigFile bf;
        bf.Init(BIGFILE_HEADER_VERSION);
        if (!bf.Open(archive.c_str(), 0)) std::abort();
        const FileRecord* record = bf.FindFile("big.txt");
        image.resize(record->packed);
        FILE* in = std::fopen(archive.c_str(), "rb");
        orvobf::platform::StreamSeek(in, int64_t{bf.dataBase} + record->offset, SEEK_SET);
        if (std::fread(image.data(), 1, image.size(), in) != image.size()) std::abort();
        std::fclose(in);
    }
};

Fixture& Data() {
    static Fixture fixture;
    return fixture;
}

void BM_PackedFileRead_1MiBChunks(benchmark::State& state) {
    BigFile bf;
    bf.Init(BIGFILE_HEADER_VERSION);
    FileHandle h = 0;
    if (!bf.Open(Data().archive.c_str(), 0) || !bf.FileOpen("big.txt", &h, BF_MODE_BINARY)) std::abort();
    std::vector<char> buffer(kChunk);
    for (auto _ : state) {
        bf.FileSeek(h, 0, 0);
        uint32_t got = 0;
        for (uint32_t done = 0; done < kEntrySize; done += got)
            if (!bf.FileRead(h, buffer.data(), kChunk, &got) || got == 0) std::abort();
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kEntrySize);
}

void BM_UnpackBufferInMemory(benchmark::State& state) {
    PackedStream stream;
    if (stream.Init(PACKED_STREAM_VERSION) != 0) std::abort();
    std::vector<unsigned char> out(kEntrySize + 16);
    for (auto _ : state) {
        if (stream.UnpackBuffer(Data().image.data(), Data().image.size(), out.data(), kEntrySize) !=
            static_cast<int32_t>(kEntrySize))
            std::abort();
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kEntrySize);
    state.counters["ratio"] = static_cast<double>(Data().image.size()) / kEntrySize;
}

void OpenArchive(BigFile& bf) {
    bf.Init(BIGFILE_HEADER_VERSION);
    if (!bf.Open(Data().archive.c_str(), 0)) std::abort();
}

FileHandle OpenBig(BigFile& bf) {
    FileHandle h = 0;
    if (!bf.FileOpen("big.txt", &h, BF_MODE_BINARY)) std::abort();
    return h;
}

void BM_PackedWholeEntryFreshHandle(benchmark::State& state) {
    BigFile bf;
    OpenArchive(bf);
    std::vector<char> buffer(kChunk);
    for (auto _ : state) {
        const FileHandle h = OpenBig(bf);
        uint32_t got = 0;
        for (uint32_t done = 0; done < kEntrySize; done += got)
            if (!bf.FileRead(h, buffer.data(), kChunk, &got) || got == 0) std::abort();
        benchmark::DoNotOptimize(buffer.data());
        bf.FileClose(h);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kEntrySize);
}

void BM_PackedSeekToEndFreshHandle(benchmark::State& state) {
    BigFile bf;
    OpenArchive(bf);
    for (auto _ : state) {
        const FileHandle h = OpenBig(bf);
        if (!bf.FileSeek(h, 0, 2)) std::abort();
        bf.FileClose(h);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kEntrySize);
}

// The index a stream holds after decoding the whole image, per MiB of the
// entry: what a handle that has been everywhere keeps.
double IndexBytesPerMiB() {
    PackedStream stream;
    Medium medium(PACKED_FILE_BUFFER_SIZE);
    medium.image = Data().image;
    if (stream.Init(PACKED_STREAM_VERSION) != 0) std::abort();
    medium.Attach(stream);
    const auto total = static_cast<int32_t>(kEntrySize);
    if (stream.Begin(PS_MODE_READ) != total || stream.Seek(0, 2) != total) std::abort();
    return static_cast<double>(stream.IndexBytes()) / (kEntrySize >> 20);
}

void BM_PackedRandom4KiBReadsFreshHandle(benchmark::State& state) {
    constexpr uint32_t kRead = 4096;
    std::mt19937 rng(21);
    std::vector<int32_t> positions(1000);
    for (auto& p : positions) p = static_cast<int32_t>(rng() % (kEntrySize - kRead + 1));
    BigFile bf;
    OpenArchive(bf);
    std::vector<char> buffer(kRead);
    for (auto _ : state) {
        const FileHandle h = OpenBig(bf);
        for (int32_t p : positions) {
            uint32_t got = 0;
            if (!bf.FileSeek(h, p, 0) || !bf.FileRead(h, buffer.data(), kRead, &got) || got != kRead) std::abort();
            benchmark::DoNotOptimize(buffer.data());
        }
        bf.FileClose(h);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * 1000);
    state.counters["index_bytes_per_MiB"] = IndexBytesPerMiB();
}

}  // namespace

BENCHMARK(BM_PackedFileRead_1MiBChunks)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnpackBufferInMemory)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PackedWholeEntryFreshHandle)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PackedSeekToEndFreshHandle)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PackedRandom4KiBReadsFreshHandle)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();

// Decode and encode speed of packed images on the corpus, side by side with
// memcpy (the ceiling), zlib and LZ4 when they are installed. The size
// argument takes a prefix of the corpus, to show the per-byte cost from
// 1 KiB to 64 MiB; the packers' second argument is the level (0 classic,
// 1 fast, 2 best) or zlib's. Every result carries its ratio, image bytes
// over input bytes.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

#include <orvobf/packed_stream.h>
#include "corpus.h"
#include "memory_medium.h"
#ifdef HAVE_ZLIB
#include <zlib.h>
#endif
#ifdef HAVE_LZ4
#include <lz4.h>
#endif

namespace {

size_t SizeOf(const benchmark::State& state) { return static_cast<size_t>(state.range(0)); }

void Report(benchmark::State& state, size_t input, size_t packed) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input));
    state.counters["ratio"] = static_cast<double>(packed) / static_cast<double>(input);
}

// One packed image per prefix size, made once.
const std::vector<unsigned char>& Image(size_t size) {
    static std::map<size_t, std::vector<unsigned char>> images;
    auto& image = images[size];
    if (image.empty()) {
        PackedStream stream;
        if (stream.Init(PACKED_STREAM_VERSION) != 0) std::abort();
        image.resize(static_cast<size_t>(PackedMaxImageSize(static_cast<int64_t>(size))));
        const int32_t body = stream.PackBuffer(Corpus().data(), image.data(), static_cast<int32_t>(size));
        if (body < 0) std::abort();
        image.resize(4 + static_cast<size_t>(body));
    }
    return image;
}

void BM_Memcpy(benchmark::State& state) {
    const size_t size = SizeOf(state);
    std::vector<unsigned char> out(size);
    for (auto _ : state) {
        std::memcpy(out.data(), Corpus().data(), size);
        benchmark::DoNotOptimize(out.data());
    }
    Report(state, size, size);
}

void BM_UnpackBuffer(benchmark::State& state) {
    const size_t size = SizeOf(state);
    const auto& image = Image(size);
    PackedStream stream;
    if (stream.Init(PACKED_STREAM_VERSION) != 0) std::abort();
    std::vector<unsigned char> out(size + 16);
    for (auto _ : state) {
        if (stream.UnpackBuffer(image.data(), image.size(), out.data(), out.size()) != static_cast<int32_t>(size))
            std::abort();
        benchmark::DoNotOptimize(out.data());
    }
    if (std::memcmp(out.data(), Corpus().data(), size) != 0) std::abort();
    Report(state, size, image.size());
}

// UnpackBuffer over many images of the size, a different one each call:
// consecutive pieces of the corpus, 4 MiB in all. Decoding one image over
// and over lets the processor learn its run of literals and matches,
// which a real reader never sees twice.
void BM_UnpackBufferDistinct(benchmark::State& state) {
    const size_t size = SizeOf(state);
    const size_t count = std::max<size_t>(1, (size_t{4} << 20) / size);
    std::vector<std::vector<unsigned char>> images(count);
    size_t packed = 0;
    PackedStream stream;
    if (stream.Init(PACKED_STREAM_VERSION) != 0) std::abort();
    for (size_t i = 0; i < count; ++i) {
        images[i].resize(static_cast<size_t>(PackedMaxImageSize(static_cast<int64_t>(size))));
        const int32_t body =
            stream.PackBuffer(Corpus().data() + i * size, images[i].data(), static_cast<int32_t>(size));
        if (body < 0) std::abort();
        images[i].resize(4 + static_cast<size_t>(body));
        packed += images[i].size();
    }
    std::vector<unsigned char> out(size);
    for (auto _ : state) {
        for (const auto& image : images) {
            if (stream.UnpackBuffer(image.data(), image.size(), out.data(), out.size()) != static_cast<int32_t>(size))
                std::abort();
            benchmark::DoNotOptimize(out.data());
        }
    }
    Report(state, count * size, packed);
}

// The stream object over the tests' in-memory medium: each exchange copies
// the next 16384 image bytes into the stream's buffer, as a file adaptor
// would, and the caller reads 16384 bytes at a time.
void BM_StreamRead16K(benchmark::State& state) {
    const size_t size = SizeOf(state);
    Medium medium(16384);
    medium.image = Image(size);
    PackedStream stream;
    if (stream.Init(PACKED_STREAM_VERSION) != 0) std::abort();
    medium.Attach(stream);
    std::vector<unsigned char> out(size);
    for (auto _ : state) {
        medium.pos = 0;
        medium.sizes.clear();
        if (stream.Begin(PS_MODE_READ) < 0) std::abort();
        for (size_t done = 0; done < size;) {
            const int32_t piece = static_cast<int32_t>(std::min<size_t>(16384, size - done));
            if (stream.Read(out.data() + done, piece) != 0) std::abort();
            done += static_cast<size_t>(piece);
        }
        stream.End();
        benchmark::DoNotOptimize(out.data());
    }
    if (std::memcmp(out.data(), Corpus().data(), size) != 0) std::abort();
    Report(state, size, medium.image.size());
}

// PackBuffer at each level (the second argument), and the same level
// through the stream object writing 1 MiB pieces into 16384-byte buffers.
void BM_PackBuffer(benchmark::State& state) {
    const size_t size = SizeOf(state);
    const auto level = static_cast<PackLevel>(state.range(1));
    state.SetLabel(PackLevelName(level));
    PackedStream stream;
    if (stream.Init(PACKED_STREAM_VERSION) != 0) std::abort();
    std::vector<unsigned char> image(static_cast<size_t>(PackedMaxImageSize(static_cast<int64_t>(size))));
    int32_t body = 0;
    for (auto _ : state) {
        body = stream.PackBuffer(Corpus().data(), image.data(), static_cast<int32_t>(size), level);
        if (body < 0) std::abort();
        benchmark::DoNotOptimize(image.data());
    }
    Report(state, size, 4 + static_cast<size_t>(body));
}

void BM_PackWrite16K(benchmark::State& state) {
    const size_t size = SizeOf(state);
    const auto level = static_cast<PackLevel>(state.range(1));
    state.SetLabel(PackLevelName(level));
    Medium medium(16384);
    medium.writing = true;
    // Room for the image, touched once, so no result carries page faults.
    medium.image.assign(static_cast<size_t>(PackedMaxImageSize(static_cast<int64_t>(size))), 0);
    medium.image.clear();
    PackedStream stream;
    if (stream.Init(PACKED_STREAM_VERSION) != 0 || stream.SetLevel(level) != 0) std::abort();
    medium.Attach(stream);
    int32_t imageSize = 0;
    for (auto _ : state) {
        medium.pos = 0;
        medium.sizes.clear();
        if (stream.Begin(PS_MODE_WRITE) != 0) std::abort();
        for (size_t done = 0; done < size;) {
            const int32_t piece = static_cast<int32_t>(std::min<size_t>(size_t{1} << 20, size - done));
            if (stream.Write(Corpus().data() + done, piece) < 0) std::abort();
            done += static_cast<size_t>(piece);
        }
        imageSize = stream.End();
        if (imageSize < 0) std::abort();
    }
    Report(state, size, static_cast<size_t>(imageSize));
}

#ifdef HAVE_ZLIB
std::vector<unsigned char> Deflate(size_t size, int level) {
    uLongf length = compressBound(size);
    std::vector<unsigned char> out(length);
    if (compress2(out.data(), &length, Corpus().data(), size, level) != Z_OK) std::abort();
    out.resize(length);
    return out;
}

void BM_ZlibDeflate(benchmark::State& state) {
    const size_t size = SizeOf(state);
    const int level = static_cast<int>(state.range(1));
    size_t packed = 0;
    for (auto _ : state) packed = Deflate(size, level).size();
    Report(state, size, packed);
}

void BM_ZlibInflate6(benchmark::State& state) {
    const size_t size = SizeOf(state);
    static std::map<size_t, std::vector<unsigned char>> images;
    auto& image = images[size];
    if (image.empty()) image = Deflate(size, 6);
    std::vector<unsigned char> out(size);
    for (auto _ : state) {
        uLongf length = size;
        if (uncompress(out.data(), &length, image.data(), image.size()) != Z_OK || length != size) std::abort();
        benchmark::DoNotOptimize(out.data());
    }
    Report(state, size, image.size());
}
#endif

#ifdef HAVE_LZ4
void BM_Lz4Compress(benchmark::State& state) {
    const size_t size = SizeOf(state);
    std::vector<char> image(static_cast<size_t>(LZ4_compressBound(static_cast<int>(size))));
    int length = 0;
    for (auto _ : state) {
        length = LZ4_compress_default(reinterpret_cast<const char*>(Corpus().data()), image.data(),
                                      static_cast<int>(size), static_cast<int>(image.size()));
        if (length <= 0) std::abort();
        benchmark::DoNotOptimize(image.data());
    }
    Report(state, size, static_cast<size_t>(length));
}

void BM_Lz4DecompressSafe(benchmark::State& state) {
    const size_t size = SizeOf(state);
    std::vector<char> image(static_cast<size_t>(LZ4_compressBound(static_cast<int>(size))));
    const int length = LZ4_compress_default(reinterpret_cast<const char*>(Corpus().data()), image.data(),
                                            static_cast<int>(size), static_cast<int>(image.size()));
    if (length <= 0) std::abort();
    std::vector<char> out(size);
    for (auto _ : state) {
        if (LZ4_decompress_safe(image.data(), out.data(), length, static_cast<int>(size)) != static_cast<int>(size))
            std::abort();
        benchmark::DoNotOptimize(out.data());
    }
    Report(state, size, static_cast<size_t>(length));
}
#endif

const std::vector<int64_t> kSizes = {int64_t{1} << 10, int64_t{64} << 10, int64_t{4} << 20, int64_t{64} << 20};

void Sizes(benchmark::internal::Benchmark* b) {
    for (int64_t size : kSizes) b->Arg(size);
    b->Unit(benchmark::kMicrosecond);
}

void SizesAndLevels(benchmark::internal::Benchmark* b) {
    b->ArgsProduct({kSizes, {PACKED_LEVEL_CLASSIC, PACKED_LEVEL_FAST, PACKED_LEVEL_BEST}});
    b->Unit(benchmark::kMicrosecond);
}

}  // namespace

BENCHMARK(BM_Memcpy)->Apply(Sizes);
BENCHMARK(BM_UnpackBuffer)->Apply(Sizes);
BENCHMARK(BM_UnpackBufferDistinct)->Arg(int64_t{1} << 10)->Arg(int64_t{64} << 10)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StreamRead16K)->Apply(Sizes);
#ifdef HAVE_ZLIB
BENCHMARK(BM_ZlibInflate6)->Apply(Sizes);
#endif
#ifdef HAVE_LZ4
BENCHMARK(BM_Lz4DecompressSafe)->Apply(Sizes);
#endif
BENCHMARK(BM_PackBuffer)->Apply(SizesAndLevels);
BENCHMARK(BM_PackWrite16K)->Apply(SizesAndLevels);
#ifdef HAVE_ZLIB
BENCHMARK(BM_ZlibDeflate)->ArgsProduct({kSizes, {1, 6}})->Unit(benchmark::kMicrosecond);
#endif
#ifdef HAVE_LZ4
BENCHMARK(BM_Lz4Compress)->Apply(Sizes);
#endif
// The corpus is read before the first benchmark, so that no result carries it.
int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    Corpus();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

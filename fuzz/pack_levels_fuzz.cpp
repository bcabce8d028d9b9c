// Any bytes packed at every level: every decoder gives them back, and a
// writing stream cut into random Writes over a random buffer size makes
// the very image that PackBuffer makes. The first input byte seeds the
// cuts; with its top two bits set the rest is repeated, a little changed
// each time, to run past the packers' 64 KiB blocks.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include <orvobf/packed_stream.h>
#include "memory_medium.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

Bytes WriteInPieces(PackedStream& ps, PackLevel level, const Bytes& data, std::minstd_rand& rng) {
    Medium m(20 + 4 * static_cast<int32_t>(rng() % 64));
    m.writing = true;
    m.Attach(ps);
    Check(ps.SetLevel(level) == 0 && ps.Begin(PS_MODE_WRITE) == 0);
    for (size_t at = 0; at < data.size();) {
        size_t n = rng() % 4 == 0 ? rng() % 70000 : rng() % 40;
        if (at == 0) n = std::max<size_t>(n, PACKED_MAX_MATCH);
        n = std::min(n, data.size() - at);
        Check(ps.Write(data.data() + at, static_cast<int32_t>(n)) >= 0);
        at += n;
    }
    Check(ps.End() == static_cast<int32_t>(m.image.size()) || data.size() < PACKED_MAX_MATCH);
    return m.image;
}

void ReadInPieces(PackedStream& ps, const Bytes& image, const Bytes& data, std::minstd_rand& rng) {
    Medium m(20 + 4 * static_cast<int32_t>(rng() % 64));
    m.image = image;
    m.Attach(ps);
    Check(ps.Begin(PS_MODE_READ) == static_cast<int32_t>(data.size()));
    Bytes out(data.size());
    for (size_t at = 0; at < data.size();) {
        if (rng() % 8 == 0) {
            // Back to an earlier byte, or on past some.
            const size_t target = rng() % (data.size() + 1);
            Check(ps.Seek(static_cast<int32_t>(target), 0) == static_cast<int32_t>(target));
            at = target;
            continue;
        }
        const size_t n = std::min<size_t>(rng() % 5000, data.size() - at);
        Check(ps.Read(out.data(), static_cast<int32_t>(n)) == 0);
        Check(std::equal(out.begin(), out.begin() + static_cast<long>(n), data.begin() + static_cast<long>(at)));
        at += n;
    }
    ps.End();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    // Packers and writers that have packed other inputs before: what they
    // keep between images must not change an image.
    static PackedStream packer, writer, reader;
    static const bool ready = packer.Init(PACKED_STREAM_VERSION) == 0 && writer.Init(PACKED_STREAM_VERSION) == 0 &&
                              reader.Init(PACKED_STREAM_VERSION) == 0;
    if (!ready || size < 1) return 0;
    std::minstd_rand rng(bytes[0] + 1u);
    Bytes data(bytes + 1, bytes + size);
    if ((bytes[0] & 0xC0) == 0xC0 && !data.empty()) {
        const size_t unit = data.size();
        for (unsigned round = 1; data.size() < 70000; ++round)
            for (size_t i = 0; i < unit; ++i) data.push_back(static_cast<unsigned char>(data[i] ^ (round * i % 7 == 0)));
    }
    const int32_t n = static_cast<int32_t>(data.size());
    for (PackLevel level : {PACKED_LEVEL_CLASSIC, PACKED_LEVEL_FAST, PACKED_LEVEL_BEST}) {
        Bytes image(static_cast<size_t>(PackedMaxImageSize(n)));
        const int32_t body = packer.PackBuffer(data.data(), image.data(), n, level);
        Check(body >= 0);
        image.resize(4 + static_cast<size_t>(body));

        Bytes out(data.size() + 16);
        Check(packer.UnpackBuffer(image.data(), image.size(), out.data(), data.size()) == n);
        Check(std::equal(data.begin(), data.end(), out.begin()));
        Check(packer.UnpackBuffer(image.data(), out.data()) == n);
        Check(std::equal(data.begin(), data.end(), out.begin()));
        ReadInPieces(reader, image, data, rng);

        const Bytes written = WriteInPieces(writer, level, data, rng);
        if (n >= PACKED_MAX_MATCH) {
            Check(written == image);
        } else {
            // A first Write under 17 bytes stores.
            Check(PackedStream::ImageSize(written.data()) == n && written.size() == 4 + data.size() &&
                  (n == 0 || std::equal(data.begin(), data.end(), written.begin() + 4)));
        }
    }
    return 0;
}

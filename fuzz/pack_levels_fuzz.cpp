// Any bytes packed at every level: every decoder gives them back, and a
// writing stream cut into random Writes over a random buffer size makes
// the very image that PackBuffer makes. The first input byte seeds the
// cuts; with its top two bits set the rest is repeated, a little changed
// each time, to run past the packers' 64 KiB blocks.
#include <cstdio>
#include <cstdlib>

#include "packed_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    // A packer and a writer that have packed other inputs before: what they
    // keep between images must not change an image.
    static PackedStream packer, writer;
    static const bool ready = packer.Init(PACKED_STREAM_VERSION) == 0 && writer.Init(PACKED_STREAM_VERSION) == 0;
    if (!ready || size < 1) return 0;
    std::minstd_rand rng(bytes[0] + 1u);
    Bytes data(bytes + 1, bytes + size);
    if ((bytes[0] & 0xC0) == 0xC0 && !data.empty()) {
        const size_t unit = data.size();
        for (unsigned round = 1; data.size() < 70000; ++round)
            for (size_t i = 0; i < unit; ++i) data.push_back(static_cast<unsigned char>(data[i] ^ (round * i % 7 == 0)));
    }
    for (PackLevel level : {PACKED_LEVEL_CLASSIC, PACKED_LEVEL_FAST, PACKED_LEVEL_BEST}) {
        const std::string fault = PackFault(packer, writer, data, level, rng);
        if (!fault.empty()) {
            std::fprintf(stderr, "pack levels, %s: %s\n", PackLevelName(level), fault.c_str());
            std::abort();
        }
    }
    return 0;
}

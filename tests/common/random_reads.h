// Reads something seekable in uneven pieces with seeks both ways, checking
// every byte against what it must deliver: a begun stream, or anything
// with the same Tell, Seek (offset, origin 0/1/2) and Read.
#ifndef ORVOBF_TESTS_RANDOM_READS_H
#define ORVOBF_TESTS_RANDOM_READS_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>

#include <orvobf/packed_stream.h>
#include "memory_medium.h"

// `access` has int32_t Tell(), bool Seek(int32_t offset, int32_t origin)
// and bool Read(unsigned char*, int32_t count). A quarter of the steps seek,
// from a random origin; with `grid` above 0, half of the seeks land on a
// multiple of it or one byte either side.
template <class Access>
void ExpectRandomReadsThrough(Access& access, const unsigned char* data, size_t size, std::mt19937& rng, int steps,
                              uint32_t maxPiece, int64_t grid = 0) {
    const auto n = static_cast<int64_t>(size);
    Bytes out(size + 16);
    for (int step = 0; step < steps; ++step) {
        const int32_t at = access.Tell();
        if (rng() % 4 == 0) {
            int64_t target = static_cast<int64_t>(rng() % (size + 1));
            if (grid > 0 && rng() % 2 == 0) {
                const auto multiple = static_cast<int64_t>(rng() % (size / grid + 1)) * grid;
                target = std::clamp<int64_t>(multiple + static_cast<int64_t>(rng() % 3) - 1, 0, n);
            }
            const int32_t origin = static_cast<int32_t>(rng() % 3);
            const int64_t offset = origin == 0 ? target : origin == 1 ? target - at : n - target;
            ASSERT_TRUE(access.Seek(static_cast<int32_t>(offset), origin)) << target << " from " << at;
            ASSERT_EQ(access.Tell(), target);
            continue;
        }
        const auto len = static_cast<int32_t>(std::min<int64_t>(rng() % maxPiece, n - at));
        ASSERT_TRUE(access.Read(out.data(), len)) << at;
        ASSERT_TRUE(std::equal(out.begin(), out.begin() + len, data + at)) << at;
    }
}

inline void ExpectRandomReads(PackedStream& ps, const Bytes& data, std::mt19937& rng, int steps, uint32_t maxPiece,
                              int64_t grid = 0) {
    struct {
        PackedStream& ps;
        int32_t Tell() { return ps.Tell(); }
        bool Seek(int32_t offset, int32_t origin) { return ps.Seek(offset, origin) >= 0; }
        bool Read(unsigned char* to, int32_t count) { return ps.Read(to, count) == 0; }
    } access{ps};
    ExpectRandomReadsThrough(access, data.data(), data.size(), rng, steps, maxPiece, grid);
}

#endif

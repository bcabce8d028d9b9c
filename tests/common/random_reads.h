// Reads a begun stream in uneven pieces with seeks both ways, checking
// every byte against what the image must decode to.
#ifndef ORVOBF_TESTS_RANDOM_READS_H
#define ORVOBF_TESTS_RANDOM_READS_H

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include <orvobf/packed_stream.h>
#include "memory_medium.h"

inline void ExpectRandomReads(PackedStream& ps, const Bytes& data, std::mt19937& rng, int steps, uint32_t maxPiece) {
    const auto n = static_cast<int32_t>(data.size());
    Bytes out(data.size() + 16);
    for (int step = 0; step < steps; ++step) {
        const int32_t at = ps.Tell();
        if (rng() % 4 == 0) {
            const auto target = static_cast<int32_t>(rng() % (data.size() + 1));
            ASSERT_EQ(ps.Seek(target - at, 1), target);
            continue;
        }
        const int32_t len = std::min<int32_t>(static_cast<int32_t>(rng() % maxPiece), n - at);
        ASSERT_EQ(ps.Read(out.data(), len), 0);
        ASSERT_TRUE(std::equal(out.begin(), out.begin() + len, data.begin() + at)) << at;
    }
}

#endif

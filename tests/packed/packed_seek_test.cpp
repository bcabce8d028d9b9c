// Random access in a reading stream: seeks resume from the checkpoints
// that reading left behind, asking the medium only for the image bytes
// after them, and deliver the same bytes as reading from the start.
#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <random>

#include <orvobf/packed_stream.h>
#include <orvobf/platform_test_hooks.h>
#include "memory_medium.h"
#include "random_reads.h"
#include "text_contents.h"

namespace {

constexpr int32_t kSpacing = PACKED_CHECKPOINT_SPACING;

// Image bytes the medium handed out since the provider call numbered `mark`.
int64_t FetchedSince(const Medium& m, size_t mark) {
    return std::accumulate(m.sizes.begin() + static_cast<std::ptrdiff_t>(mark), m.sizes.end(), int64_t{0},
                           [](int64_t sum, int32_t size) { return sum + (size > 0 ? size : 0); });
}

TEST(PackedSeek, ResumesFromCheckpointsBothWays) {
    const std::string text = Contents(3 * 1024 * 1024 + 777, 5);
    const Bytes data(text.begin(), text.end());
    const auto total = static_cast<int32_t>(data.size());
    PackedStream ps;
    ASSERT_EQ(ps.Init(PACKED_STREAM_VERSION), 0);
    Medium m(16384);
    m.image = PackImage(ps, data);  // classic: its matches run across the checkpoints' points
    m.Attach(ps);
    ps.SetRandomAccess(true);
    ASSERT_EQ(ps.Begin(PS_MODE_READ), total);

    // Checkpoints taken in every way of decoding: a third read in uneven
    // pieces, a sixth passed over in small steps (into the window), the
    // rest in one step (through a scratch buffer).
    Bytes out(data.size() + 16);
    for (int32_t at = 0, piece = 1; at < total / 3; at += piece, piece = piece * 7 % 65521 + 1) {
        piece = std::min(piece, total / 3 - at);
        ASSERT_EQ(ps.Read(out.data(), piece), 0);
        ASSERT_TRUE(std::equal(out.begin(), out.begin() + piece, data.begin() + at)) << at;
    }
    while (ps.Tell() < total / 2) ASSERT_GE(ps.Seek(3001, 1), 0);
    const int64_t halfIndex = ps.IndexBytes();
    ASSERT_EQ(ps.Seek(0, 2), total);
    EXPECT_LT(halfIndex, ps.IndexBytes() * 6 / 10) << "only decoded ground is indexed";
    EXPECT_LE(ps.IndexBytes(), int64_t{total / kSpacing} * PACKED_CHECKPOINT_BYTES);

    // On, beside and between checkpoints, at the ends, either way: each one
    // costs at most the image bytes of one spacing and a read.
    const int32_t last = total / kSpacing * kSpacing;
    for (int32_t target : {kSpacing - 1, kSpacing, kSpacing + 1, 0, 40 * kSpacing, 20 * kSpacing + 3, 2 * kSpacing,
                           last, last - 1, total, total - 1, 30 * kSpacing - 1, 5, total / 2, total / 2 + kSpacing}) {
        const size_t mark = m.sizes.size();
        ASSERT_EQ(ps.Seek(target, 0), target);
        const int32_t len = std::min(total - target, 3000);
        ASSERT_EQ(ps.Read(out.data(), len), 0);
        ASSERT_TRUE(std::equal(out.begin(), out.begin() + len, data.begin() + target)) << target;
        EXPECT_LT(FetchedSince(m, mark), kSpacing + 2 * 16384) << target;
    }
    std::mt19937 rng(7);
    ExpectRandomReads(ps, data, rng, 400, 20000, kSpacing);
    ps.End();
    EXPECT_EQ(ps.IndexBytes(), 0);

    // A scratch buffer, a checkpoint or its table that cannot be allocated
    // costs only time.
    for (uint64_t failing = 1; failing <= 5; ++failing) {
        SCOPED_TRACE(failing);
        m.pos = 0;
        ASSERT_EQ(ps.Begin(PS_MODE_READ), total);
        orvobf::platform::FailAllocationAfter(failing);
        ASSERT_EQ(ps.Seek(5 * kSpacing, 0), 5 * kSpacing);
        orvobf::platform::FailAllocationAfter(0);
        for (int32_t target : {kSpacing + 9, 2 * kSpacing + 9, 4 * kSpacing, 0}) {
            ASSERT_EQ(ps.Seek(target, 0), target);
            ASSERT_EQ(ps.Read(out.data(), 100), 0);
            ASSERT_TRUE(std::equal(out.begin(), out.begin() + 100, data.begin() + target)) << target;
        }
        ps.End();
    }

    // A stored image goes back straight to the byte.
    Bytes stored(4 + 200000);
    std::copy(data.begin(), data.begin() + 200000, stored.begin() + 4);
    const int32_t header = -200000;
    std::memcpy(stored.data(), &header, 4);
    m.image = stored;
    m.pos = 0;
    ASSERT_EQ(ps.Begin(PS_MODE_READ), 200000);
    ASSERT_EQ(ps.Seek(150000, 0), 150000);
    const size_t mark = m.sizes.size();
    ASSERT_EQ(ps.Seek(-70000, 1), 80000);
    ASSERT_EQ(ps.Read(out.data(), 1000), 0);
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + 1000, data.begin() + 80000));
    EXPECT_EQ(std::vector<int32_t>(m.sizes.begin() + static_cast<std::ptrdiff_t>(mark), m.sizes.end()),
              (std::vector<int32_t>{-1, 1004}));
    ExpectRandomReads(ps, Bytes(data.begin(), data.begin() + 200000), rng, 100, 20000);
    ps.End();

    // Without random access, the stream keeps no index and asks the medium
    // only for the image's start, as callbacks written for that expect.
    PackedStream plain;
    ASSERT_EQ(plain.Init(PACKED_STREAM_VERSION), 0);
    Medium p(16384);
    p.image = PackImage(plain, data);
    p.Attach(plain);
    ASSERT_EQ(plain.Begin(PS_MODE_READ), total);
    ASSERT_EQ(plain.Seek(0, 2), total);
    ExpectRandomReads(plain, data, rng, 20, 20000);
    EXPECT_EQ(plain.IndexBytes(), 0);
    ASSERT_FALSE(p.rewinds.empty());
    EXPECT_TRUE(std::all_of(p.rewinds.begin(), p.rewinds.end(), [](int32_t offset) { return offset == 0; }));
}

}  // namespace

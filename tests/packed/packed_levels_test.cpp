#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include <orvobf/platform_test_hooks.h>
#include "memory_medium.h"
#include "packed_checks.h"

namespace {

const PackLevel kHashLevels[] = {PACKED_LEVEL_FAST, PACKED_LEVEL_BEST};

// Bytes whose 2-byte pairs are all different (up to 32 KiB): no match
// anywhere but where a test copies bytes on purpose. Run k of 256 bytes
// steps by 2k + 1, and so does the pair into the next run.
Bytes DistinctPairs(size_t n) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<unsigned char>((i % 256) * (2 * (i / 256) + 1));
    return b;
}

// The fewest symbol bits of any body for `data`, by trying every source
// the format allows (1 to 1024 back, never one at ring position 0) for
// the longest match at each position, then the cheapest cover.
int64_t CheapestBits(const Bytes& data) {
    const size_t n = data.size();
    std::vector<int64_t> cost(n + 1, 0);
    for (size_t i = n; i-- > 0;) {
        size_t longest = 0;
        for (size_t back = 1; back <= std::min<size_t>(1024, i); ++back) {
            if ((i - back + 1) % 1024 == 0) continue;
            size_t l = 0;
            while (l < 17 && i + l < n && data[i + l] == data[i - back + l]) ++l;
            longest = std::max(longest, l);
        }
        cost[i] = 9 + cost[i + 1];
        for (size_t l = 2; l <= longest; ++l) cost[i] = std::min(cost[i], 15 + cost[i + l]);
    }
    return cost[0];
}

// A body of `bits` symbol bits in whole words, with the end marker's.
size_t ImageBytes(int64_t bits) {
    const int64_t pending = bits % 32;
    return static_cast<size_t>(4 + 4 * (bits / 32 + 1 + (pending != 0 && 32 - pending <= 11 ? 1 : 0)));
}

}  // namespace

TEST(PackedLevels, NamesAndSettings) {
    PackLevel level = PACKED_LEVEL_CLASSIC;
    EXPECT_TRUE(ParsePackLevel("best", &level));
    EXPECT_EQ(level, PACKED_LEVEL_BEST);
    EXPECT_TRUE(ParsePackLevel("fast", &level));
    EXPECT_EQ(level, PACKED_LEVEL_FAST);
    for (const char* bad : {"Fast", "", "classic ", "2"}) EXPECT_FALSE(ParsePackLevel(bad, &level)) << bad;
    EXPECT_FALSE(ParsePackLevel(nullptr, &level));
    EXPECT_EQ(level, PACKED_LEVEL_FAST) << "left alone";
    EXPECT_TRUE(ParsePackLevel(PackLevelName(PACKED_LEVEL_CLASSIC), &level));
    EXPECT_EQ(level, PACKED_LEVEL_CLASSIC);
    EXPECT_EQ(PackLevelName(static_cast<PackLevel>(3)), nullptr);

    PackedStream ps;
    ASSERT_EQ(ps.Init(PACKED_STREAM_VERSION), 0);
    EXPECT_EQ(ps.GetLevel(), PACKED_LEVEL_CLASSIC);
    EXPECT_EQ(ps.SetLevel(static_cast<PackLevel>(3)), PSE_BAD_LEVEL);
    Bytes out(64);
    EXPECT_EQ(ps.PackBuffer(out.data(), out.data() + 32, 4, static_cast<PackLevel>(-1)), PSE_BAD_LEVEL);
    // The tables come from the platform's allocator and can be refused.
    orvobf::platform::FailAllocationAfter(1);
    EXPECT_EQ(ps.SetLevel(PACKED_LEVEL_BEST), PSE_NO_MEMORY);
    orvobf::platform::FailAllocationAfter(1);
    EXPECT_EQ(ps.PackBuffer(out.data(), out.data() + 32, 4, PACKED_LEVEL_FAST), PSE_NO_MEMORY);
    orvobf::platform::FailAllocationAfter(0);
    EXPECT_EQ(ps.GetLevel(), PACKED_LEVEL_CLASSIC);

    // Classic comes back when chosen again: the match tree's bytes, which
    // cannot reach 1024 back as the others do.
    const Bytes half = DistinctPairs(1024);
    Bytes farEnd = half;
    farEnd.insert(farEnd.end(), half.begin(), half.end());
    const Bytes best = WriteInPieces(ps, farEnd, {}, 64, PACKED_LEVEL_BEST).image;
    EXPECT_EQ(WriteInPieces(ps, farEnd, {}, 64).image, PackImage(ps, farEnd));
    EXPECT_LT(best.size(), PackImage(ps, farEnd).size());

    // A begun stream keeps its level and its tables.
    Medium m(64);
    m.writing = true;
    m.Attach(ps);
    ASSERT_EQ(ps.SetLevel(PACKED_LEVEL_BEST), 0);
    ASSERT_EQ(ps.Begin(PS_MODE_WRITE), 0);
    EXPECT_EQ(ps.SetLevel(PACKED_LEVEL_CLASSIC), PSE_BAD_STATE);
    EXPECT_EQ(ps.PackBuffer(farEnd.data(), out.data(), 5, PACKED_LEVEL_FAST), PSE_BAD_STATE);
    ps.End();
    ps.Release();
    EXPECT_EQ(ps.GetLevel(), PACKED_LEVEL_CLASSIC) << "its tables are gone";
}

TEST(PackedLevels, EveryLevelRoundTripsThroughEveryInterface) {
    std::mt19937 rng(11);
    std::vector<Bytes> inputs = {Bytes(), Bytes{0x42}, Bytes(17, 0x20), DistinctPairs(1025)};
    for (size_t n = 1; n <= 40; ++n) {
        Bytes b(n);
        for (auto& c : b) c = static_cast<unsigned char>(rng() % 3 + 'a');
        inputs.push_back(b);
    }
    Bytes runs(70000, 0x61), random(200000), mixed, text;
    for (size_t i = 0; i < runs.size(); i += 1500) runs[i] = 0x62;
    for (auto& c : random) c = static_cast<unsigned char>(rng());
    const char* words[] = {"archive ", "window ", "provider ", "matched ", "literal\n", "\t0x1F ", "the "};
    const auto addWords = [&](Bytes& b, size_t size) {
        while (b.size() < size) for (char ch : std::string(words[rng() % 7])) b.push_back(static_cast<unsigned char>(ch));
    };
    addWords(mixed, 90000);
    mixed.insert(mixed.end(), 3000, 0);
    while (mixed.size() < 150000) mixed.push_back(static_cast<unsigned char>(rng() % 4 ? rng() % 16 : rng()));
    Bytes twoBlocks(131072);  // ends on a block's end
    for (size_t i = 0; i < twoBlocks.size(); ++i) twoBlocks[i] = static_cast<unsigned char>(i % 1531 * 7 % 251);
    addWords(text, 3 * 1024 * 1024);
    inputs.insert(inputs.end(), {runs, random, mixed, twoBlocks, text});

    PackedStream ps;  // one object for every image
    ASSERT_EQ(ps.Init(PACKED_STREAM_VERSION), 0);
    std::minstd_rand cuts(5);
    for (PackLevel level : {PACKED_LEVEL_CLASSIC, PACKED_LEVEL_FAST, PACKED_LEVEL_BEST}) {
        for (const Bytes& data : inputs) {
            SCOPED_TRACE(std::string(PackLevelName(level)) + " " + std::to_string(data.size()));
            EXPECT_EQ(PackFault(ps, ps, data, level, cuts), "");
            // The same bytes again, and in one Write: the same image.
            const Bytes image = PackImage(ps, data, level);
            EXPECT_EQ(PackImage(ps, data, level), image);
            EXPECT_TRUE(data.size() < PACKED_MAX_MATCH || WriteInPieces(ps, data, {}, 16384, level).image == image);
        }
    }
}

TEST(PackedLevels, EarlierImagesLeaveNothingBehind) {
    PackedStream ps, fresh;
    ASSERT_EQ(ps.Init(PACKED_STREAM_VERSION), 0);
    ASSERT_EQ(fresh.Init(PACKED_STREAM_VERSION), 0);
    // Nothing of an earlier image changes a later one. Here
    // 10 20 40 is new at 900 in the second image, whose latest 10 20 is at
    // 700; the first image had 10 20 40 at 500, where the second has
    // 10 20 60. (Pairs that step by an even value are not in the filler.)
    Bytes first = DistinctPairs(1000), second = first;
    const auto put = [](Bytes& b, size_t at, const char* s) { std::copy(s, s + 3, b.begin() + static_cast<long>(at)); };
    put(first, 500, "\x10\x20\x40");
    put(second, 500, "\x10\x20\x60");
    put(second, 700, "\x10\x20\x80");
    put(second, 900, "\x10\x20\x40");
    for (PackLevel level : kHashLevels) {
        PackImage(ps, first, level);
        EXPECT_EQ(PackImage(ps, second, level), PackImage(fresh, second, level));
    }
}

TEST(PackedLevels, BestFindsTheCheapestBody) {
    // The window's far end: a copy exactly 1024 back, whose last byte
    // would be a source at ring position 0.
    const Bytes pairs = DistinctPairs(1024);
    Bytes farEnd = pairs;
    farEnd.insert(farEnd.end(), pairs.begin(), pairs.end());
    ASSERT_EQ(ImageBytes(CheapestBits(farEnd)), 1272u) << "1024 literals and 61 matches";
    // The only earlier copy of 17 bytes starts at ring position 0: its
    // first byte must be a literal.
    const Bytes lead = DistinctPairs(1200);
    Bytes ringZero = lead;
    ringZero.insert(ringZero.end(), lead.begin() + 1023, lead.begin() + 1040);
    // Words over a few letters: a greedy parse is not the cheapest.
    std::mt19937 rng(3);
    Bytes words;
    while (words.size() < 2500) {
        const size_t len = 2 + rng() % 6;
        for (size_t i = 0; i < len; ++i) words.push_back(static_cast<unsigned char>('a' + rng() % 5));
        words.push_back(' ');
    }
    Bytes run(300, 0x7E);
    for (size_t i = 0; i < 40; ++i) run.push_back(pairs[i]);

    PackedStream ps;
    ASSERT_EQ(ps.Init(PACKED_STREAM_VERSION), 0);
    for (const Bytes& data : {farEnd, ringZero, words, run}) {
        SCOPED_TRACE(data.size());
        const size_t cheapest = ImageBytes(CheapestBits(data));
        const Bytes best = PackImage(ps, data, PACKED_LEVEL_BEST);
        EXPECT_EQ(best.size(), cheapest);
        const Bytes fast = PackImage(ps, data, PACKED_LEVEL_FAST);
        EXPECT_GE(fast.size(), cheapest);
        for (const Bytes* image : {&best, &fast}) {
            Bytes out(data.size());
            ASSERT_EQ(ps.UnpackBuffer(image->data(), image->size(), out.data(), out.size()),
                      static_cast<int32_t>(data.size()));
            EXPECT_EQ(out, data);
        }
    }
    EXPECT_EQ(PackImage(ps, farEnd, PACKED_LEVEL_FAST).size(), ImageBytes(CheapestBits(farEnd)));
    EXPECT_GT(PackImage(ps, words, PACKED_LEVEL_FAST).size(), ImageBytes(CheapestBits(words)));
}

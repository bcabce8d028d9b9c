#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "memory_medium.h"
#include "random_reads.h"
#include <orvobf/platform.h>
#include <orvobf/platform_test_hooks.h>

namespace {

const PackLevel kHashLevels[] = {PACKED_LEVEL_FAST, PACKED_LEVEL_BEST};

Bytes Pack(PackedStream& ps, const Bytes& data, PackLevel level) {
    Bytes image(static_cast<size_t>(PackedMaxImageSize(static_cast<int64_t>(data.size()))));
    const int32_t body = ps.PackBuffer(data.data(), image.data(), static_cast<int32_t>(data.size()), level);
    image.resize(body < 0 ? 0 : 4 + static_cast<size_t>(body));
    return image;
}

// Writes `data` at `level` in pieces of the given sizes, the rest in one.
Bytes Write(PackedStream& ps, PackLevel level, const Bytes& data, const std::vector<size_t>& pieces,
            int32_t bufferSize, int32_t* endResult = nullptr) {
    Medium m(bufferSize);
    m.writing = true;
    m.Attach(ps);
    EXPECT_EQ(ps.SetLevel(level), 0);
    EXPECT_EQ(ps.Begin(PS_MODE_WRITE), 0);
    for (size_t i = 0, at = 0; at < data.size(); ++i) {
        const size_t n = i < pieces.size() ? std::min(pieces[i], data.size() - at) : data.size() - at;
        EXPECT_GE(ps.Write(data.data() + at, static_cast<int32_t>(n)), 0);
        at += n;
    }
    const int32_t end = ps.End();
    if (endResult) *endResult = end;
    return m.image;
}

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
    const Bytes best = Write(ps, PACKED_LEVEL_BEST, farEnd, {}, 64);
    EXPECT_EQ(Write(ps, PACKED_LEVEL_CLASSIC, farEnd, {}, 64), PackImage(ps, farEnd));
    EXPECT_LT(best.size(), PackImage(ps, farEnd).size());
    const Bytes twenty = {0x14, 0, 0, 0, 0x02, 0x1F, 0x80, 0xB0, 0, 0, 0, 0x40};
    EXPECT_EQ(Write(ps, PACKED_LEVEL_CLASSIC, Bytes(20, 0x61), {}, 64), twenty);

    for (PackLevel lv : kHashLevels) {
        SCOPED_TRACE(PackLevelName(lv));
        int32_t end = -1;
        // Nothing written: the empty image. Under 17 bytes first: stored.
        EXPECT_EQ(Write(ps, lv, Bytes(), {}, 64, &end), Bytes(4, 0));
        EXPECT_EQ(end, 0);
        const Bytes hello = {0x68, 0x65, 0x6C, 0x6C, 0x6F};
        EXPECT_EQ(Write(ps, lv, hello, {}, 64, &end), (Bytes{0xFB, 0xFF, 0xFF, 0xFF, 0x68, 0x65, 0x6C, 0x6C, 0x6F}));
        EXPECT_EQ(Write(ps, lv, Bytes(40, 0x33), {16}, 20).size(), 44u);

        Medium m(64);
        m.writing = true;
        m.Attach(ps);
        ASSERT_EQ(ps.Begin(PS_MODE_WRITE), 0);
        EXPECT_EQ(ps.SetLevel(PACKED_LEVEL_CLASSIC), PSE_BAD_STATE);
        EXPECT_EQ(ps.PackBuffer(hello.data(), out.data(), 5, lv), PSE_BAD_STATE) << "shares the writer's tables";
        ps.End();
    }
    ps.Release();
    EXPECT_EQ(ps.GetLevel(), PACKED_LEVEL_CLASSIC) << "its tables are gone";
}

TEST(PackedLevels, EveryDecoderReadsEveryLevel) {
    std::mt19937 rng(5);
    Bytes mixed;
    const char* words[] = {"archive ", "window ", "provider ", "matched ", "literal\n", "\t0x1F ", "the "};
    while (mixed.size() < 90000) for (char ch : std::string(words[rng() % 7])) mixed.push_back(static_cast<unsigned char>(ch));
    mixed.insert(mixed.end(), 3000, 0);
    while (mixed.size() < 150000) mixed.push_back(static_cast<unsigned char>(rng() % 4 ? rng() % 16 : rng()));
    Bytes twoBlocks(131072);  // ends on a block's end
    for (size_t i = 0; i < twoBlocks.size(); ++i) twoBlocks[i] = static_cast<unsigned char>(i % 1531 * 7 % 251);
    const std::vector<Bytes> inputs = {Bytes(17, 0x20), DistinctPairs(1025), mixed, twoBlocks};

    PackedStream ps;  // one object for every image
    ASSERT_EQ(ps.Init(PACKED_STREAM_VERSION), 0);
    for (PackLevel level : kHashLevels) {
        for (const Bytes& data : inputs) {
            const int32_t n = static_cast<int32_t>(data.size());
            SCOPED_TRACE(std::string(PackLevelName(level)) + " " + std::to_string(n));
            const Bytes image = Pack(ps, data, level);
            ASSERT_GE(image.size(), 8u);
            ASSERT_EQ(PackedStream::ImageSize(image.data()), n);
            Bytes out(data.size() + 16);
            ASSERT_EQ(ps.UnpackBuffer(image.data(), image.size(), out.data(), data.size()), n);
            ASSERT_TRUE(std::equal(data.begin(), data.end(), out.begin()));
            ASSERT_EQ(ps.UnpackBuffer(image.data(), out.data()), n);
            ASSERT_TRUE(std::equal(data.begin(), data.end(), out.begin()));

            // Any cut into Writes and any buffer size: the same image.
            std::vector<size_t> pieces = {17 + rng() % 70000};
            while (pieces.size() < 300) pieces.push_back(rng() % 3 == 0 ? rng() % 40000 : rng() % 20);
            const int32_t bufferSize = 20 + 4 * static_cast<int32_t>(rng() % 40);
            int32_t end = 0;
            ASSERT_EQ(Write(ps, level, data, pieces, bufferSize, &end), image);
            ASSERT_EQ(end, static_cast<int32_t>(image.size()));

            // Read in uneven pieces, with seeks both ways.
            Medium m(bufferSize);
            m.image = image;
            m.Attach(ps);
            ASSERT_EQ(ps.Begin(PS_MODE_READ), n);
            ExpectRandomReads(ps, data, rng, 40, 9000);
            ps.End();
        }
    }
    // Earlier images leave nothing behind that changes a later one. Here
    // 10 20 40 is new at 900 in the second image, whose latest 10 20 is at
    // 700; the first image had 10 20 40 at 500, where the second has
    // 10 20 60. (Pairs that step by an even value are not in the filler.)
    Bytes first = DistinctPairs(1000), second = first;
    const auto put = [](Bytes& b, size_t at, const char* s) { std::copy(s, s + 3, b.begin() + static_cast<long>(at)); };
    put(first, 500, "\x10\x20\x40");
    put(second, 500, "\x10\x20\x60");
    put(second, 700, "\x10\x20\x80");
    put(second, 900, "\x10\x20\x40");
    PackedStream fresh;
    ASSERT_EQ(fresh.Init(PACKED_STREAM_VERSION), 0);
    for (PackLevel level : kHashLevels) {
        Pack(ps, first, level);
        EXPECT_EQ(Pack(ps, second, level), Pack(fresh, second, level));
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
        const Bytes best = Pack(ps, data, PACKED_LEVEL_BEST);
        EXPECT_EQ(best.size(), cheapest);
        const Bytes fast = Pack(ps, data, PACKED_LEVEL_FAST);
        EXPECT_GE(fast.size(), cheapest);
        for (const Bytes* image : {&best, &fast}) {
            Bytes out(data.size());
            ASSERT_EQ(ps.UnpackBuffer(image->data(), image->size(), out.data(), out.size()),
                      static_cast<int32_t>(data.size()));
            EXPECT_EQ(out, data);
        }
    }
    EXPECT_EQ(Pack(ps, farEnd, PACKED_LEVEL_FAST).size(), ImageBytes(CheapestBits(farEnd)));
    EXPECT_GT(Pack(ps, words, PACKED_LEVEL_FAST).size(), ImageBytes(CheapestBits(words)));
}

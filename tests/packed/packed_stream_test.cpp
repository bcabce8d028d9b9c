#include <gtest/gtest.h>

#include <random>

#include <orvobf/platform_test_hooks.h>
#include "memory_medium.h"

TEST(PackedStream, CallingRules) {
    PackedStream ps;
    ASSERT_EQ(ps.Init(9999), PSE_BAD_VERSION);
    // The allocations of Init go through the platform layer and can fail.
    orvobf::platform::FailAllocationAfter(1);
    EXPECT_EQ(ps.Init(PACKED_STREAM_VERSION), PSE_NO_MEMORY);
    orvobf::platform::FailAllocationAfter(2);
    EXPECT_EQ(ps.Init(PACKED_STREAM_VERSION), PSE_NO_MEMORY);
    orvobf::platform::FailAllocationAfter(0);
    ASSERT_EQ(ps.Init(PACKED_STREAM_VERSION), 0);
    EXPECT_EQ(ps.Begin(PS_MODE_READ), PSE_NO_CALLBACK);
    Medium m(20);
    EXPECT_EQ(ps.SetCallbacks(Medium::Provide, Medium::Rewind, 16, &m), PSE_BUFFER_TOO_SMALL);
    EXPECT_EQ(ps.SetCallbacks(Medium::Provide, Medium::Rewind, 18, &m), PSE_BUFFER_TOO_SMALL) << "not whole words";
    m.Attach(ps);
    m.image = kTwentyA;
    EXPECT_EQ(ps.Begin(PS_MODE_READ), 20);
    EXPECT_EQ(ps.Begin(PS_MODE_READ), PSE_BAD_STATE);
    EXPECT_EQ(ps.Write(kTwentyA.data(), 1), PSE_NOT_WRITABLE);
    EXPECT_EQ(ps.End(), 0);
    EXPECT_EQ(ps.Tell(), PSE_BAD_STATE);
    EXPECT_EQ(ps.End(), PSE_BAD_STATE);
    m.writing = true;
    EXPECT_EQ(ps.Begin(PS_MODE_WRITE), 0);
    unsigned char out[4];
    EXPECT_EQ(ps.Read(out, 1), PSE_NOT_READABLE);
    EXPECT_EQ(ps.Seek(0, 0), PSE_NOT_READABLE);
    EXPECT_EQ(ps.PackBuffer(kTwentyA.data(), out, 1), PSE_BAD_STATE) << "shares the begun stream's window";
    ps.End();
}

TEST(PackedStream, WriterExamplesAtEveryLevel) {
    PackedStream ps;
    ASSERT_EQ(ps.Init(PACKED_STREAM_VERSION), 0);
    const Bytes hello = {0x68, 0x65, 0x6C, 0x6C, 0x6F};
    Bytes data(40);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(i * 7);
    for (PackLevel level : {PACKED_LEVEL_CLASSIC, PACKED_LEVEL_FAST, PACKED_LEVEL_BEST}) {
        SCOPED_TRACE(PackLevelName(level));
        // Nothing written: the empty image. Under 17 bytes first: stored.
        Written w = WriteInPieces(ps, Bytes(), {}, 64, level);
        EXPECT_EQ(w.image, Bytes(4, 0));
        EXPECT_EQ(w.end, 0);
        EXPECT_EQ(w.sizes, (std::vector<int32_t>{0, -1, 4}));
        EXPECT_EQ(PackImage(ps, Bytes(), level), Bytes(4, 0));
        w = WriteInPieces(ps, hello, {}, 64, level);
        EXPECT_EQ(w.image, (Bytes{0xFB, 0xFF, 0xFF, 0xFF, 0x68, 0x65, 0x6C, 0x6C, 0x6F}));
        EXPECT_EQ(w.end, 5);

        // 16 bytes in the first Write store; 17 pack, even when later Writes are short.
        const Bytes stored = WriteInPieces(ps, data, {16, 1, 1}, 20, level).image;
        ASSERT_EQ(stored.size(), 44u);
        EXPECT_EQ(stored[3], 0xFF) << "negative header word";
        EXPECT_EQ(PackedStream::ImageSize(stored.data()), 40);
        EXPECT_EQ(Bytes(stored.begin() + 4, stored.end()), data);
        w = WriteInPieces(ps, data, {17, 1, 1, 2}, 20, level);
        EXPECT_EQ(w.image, PackImage(ps, data, level));
        EXPECT_EQ(w.end, static_cast<int32_t>(w.image.size()));
    }
    const Written twenty = WriteInPieces(ps, Bytes(20, 0x61), {}, 64);
    EXPECT_EQ(twenty.image, kTwentyA);
    EXPECT_EQ(PackImage(ps, Bytes(20, 0x61)), kTwentyA);
    EXPECT_EQ(twenty.end, 12);
    EXPECT_EQ(twenty.sizes, (std::vector<int32_t>{0, 12, -1, 4}));
}

TEST(PackedStream, ReaderRequestsAndSeeks) {
    PackedStream ps;
    ASSERT_EQ(ps.Init(PACKED_STREAM_VERSION), 0);
    Medium m(64);
    m.Attach(ps);
    Bytes big(5000);
    std::mt19937 rng(3);
    for (auto& c : big) c = static_cast<unsigned char>(rng() % 4);
    m.image = PackImage(ps, big);
    ASSERT_EQ(ps.Begin(PS_MODE_READ), 5000);
    Bytes out(5000);
    ASSERT_EQ(ps.Read(out.data(), 5), 0);
    ASSERT_EQ(ps.Read(out.data() + 5, 1000), 0);
    ASSERT_GE(m.sizes.size(), 3u);
    EXPECT_EQ(std::vector<int32_t>(m.sizes.begin(), m.sizes.begin() + 3), (std::vector<int32_t>{8, 8, 64}));
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 1005), Bytes(big.begin(), big.begin() + 1005));

    m.sizes.clear();
    EXPECT_EQ(ps.Seek(1005, 0), 1005);
    EXPECT_EQ(ps.Seek(77, 3), 1005);
    EXPECT_TRUE(m.sizes.empty()) << "no exchange for a seek that does not move";
    EXPECT_EQ(ps.Seek(0, 2), 5000);
    EXPECT_EQ(ps.Seek(10, 2), 4990);
    m.sizes.clear();
    EXPECT_EQ(ps.Seek(5, 0), 5);
    ASSERT_GE(m.sizes.size(), 3u);
    EXPECT_EQ(std::vector<int32_t>(m.sizes.begin(), m.sizes.begin() + 3), (std::vector<int32_t>{-1, 8, 8}));
    ASSERT_EQ(ps.Read(out.data(), 100), 0);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 100), Bytes(big.begin() + 5, big.begin() + 105));
    EXPECT_EQ(ps.Seek(-500, 1), 0);
    ps.End();
}

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "bit_writer.h"
#include "memory_medium.h"
#include <orvobf/platform.h>
#include <orvobf/platform_test_hooks.h>

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

TEST(PackedStream, DamagedImagesFailInsteadOfInventing) {
    PackedStream ps;
    ASSERT_EQ(ps.Init(PACKED_STREAM_VERSION), 0);
    Medium m(32);
    m.Attach(ps);
    Bytes out(64, 0xEE);
    const auto begin = [&](Bytes image) {
        m.image = std::move(image);
        m.pos = 0;
        ps.End();
        return ps.Begin(PS_MODE_READ);
    };
    EXPECT_EQ(begin({0, 0, 0, 0x80, 1, 2, 3, 4}), PSE_DAMAGED) << "-2^31 has no size";
    ASSERT_EQ(begin({20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), 20);
    EXPECT_EQ(ps.Read(out.data(), 20), PSE_DAMAGED) << "end marker before the total";
    EXPECT_EQ(ps.Tell(), 0);
    // Body cut after its first word: 18 bytes come, then the medium is dry.
    ASSERT_EQ(begin(Bytes(kTwentyA.begin(), kTwentyA.begin() + 8)), 20);
    EXPECT_EQ(ps.Read(out.data(), 20), PSE_DAMAGED);
    EXPECT_EQ(ps.Tell(), 18);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 18), Bytes(18, 0x61));
    ASSERT_EQ(begin(Bytes(kTwentyA.begin(), kTwentyA.begin() + 8)), 20);
    EXPECT_EQ(ps.Seek(0, 2), PSE_DAMAGED);
    ASSERT_EQ(begin({0xF6, 0xFF, 0xFF, 0xFF, 1, 2, 3}), 10);
    EXPECT_EQ(ps.Read(out.data(), 10), PSE_DAMAGED) << "stored body shorter than its header";
    EXPECT_EQ(ps.Tell(), 3);
    // Asking past the total delivers the total and says so.
    Bytes padded = kTwentyA;
    padded.insert(padded.end(), 40, 0x55);
    ASSERT_EQ(begin(padded), 20);
    std::fill(out.begin(), out.end(), 0xEE);
    EXPECT_EQ(ps.Read(out.data(), 30), PSE_DAMAGED);
    EXPECT_EQ(ps.Tell(), 20);
    EXPECT_EQ(out[20], 0xEE);
    // Sound images that end exactly where the medium does still read.
    ps.End();
    const Bytes one = PackImage(ps, Bytes{1});
    ASSERT_EQ(begin(one), 1);
    EXPECT_EQ(ps.Read(out.data(), 1), 0);
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(begin(Bytes(4, 0)), 0);
    // Nine literals and a 2-byte match from position 1 fill exactly three
    // words (96 bits); the finishing word is missing. Every byte is there,
    // so the stream reads them all, as the bounded decoder does.
    {
        BitWriter bw;
        for (unsigned char c = 'a'; c < 'a' + 9; ++c) bw.Put(0x100u | c, 9);
        bw.Put(1u << 4, 15);
        const Bytes cut = bw.Image(11, false);
        ASSERT_EQ(cut.size(), 16u);
        const Bytes expected = {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'a', 'b'};
        Bytes bounded(11);
        EXPECT_EQ(ps.UnpackBuffer(cut.data(), cut.size(), bounded.data(), bounded.size()), 11);
        EXPECT_EQ(bounded, expected);
        for (int32_t piece : {11, 1}) {
            ASSERT_EQ(begin(cut), 11);
            for (int32_t done = 0; done < 11; done += piece) ASSERT_EQ(ps.Read(out.data() + done, piece), 0);
            EXPECT_EQ(Bytes(out.begin(), out.begin() + 11), expected) << "pieces of " << piece;
            EXPECT_EQ(ps.Read(out.data(), 1), PSE_DAMAGED) << "nothing past the total";
        }
    }
    ps.End();
    ps.SetCallbacks([](int32_t, void*) -> unsigned char* { return nullptr; }, Medium::Rewind, 32, &m);
    EXPECT_EQ(ps.Begin(PS_MODE_READ), PSE_NO_BUFFER);
    EXPECT_EQ(ps.End(), 0);
}

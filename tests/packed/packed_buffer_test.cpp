// Sound and damaged images, each through every decoder entry point: the
// bounded and the classic UnpackBuffer, a plain decoder and the stream.
#include <gtest/gtest.h>

#include <vector>

#include <orvobf/packed_stream.h>
#include "bit_writer.h"
#include "memory_medium.h"
#include "packed_checks.h"

TEST(PackedDecoding, EveryDecoderAgreesOnSoundAndDamagedImages) {
    // 1024 literals: the last one lands at position 0. Then a match from
    // 1020 that runs through 1023, 0 and into the bytes it is writing.
    BitWriter wrap;
    Bytes wrapped;
    for (int i = 0; i < 1024; ++i) {
        wrap.Literal(static_cast<unsigned char>(i * 7 + 3));
        wrapped.push_back(static_cast<unsigned char>(i * 7 + 3));
    }
    wrap.Match(1020, 17);
    for (int i = 0; i < 17; ++i) wrapped.push_back(wrapped[1019 + i % 5]);
    // A literal, then a 17-byte match one byte before a total of 2: the
    // classic form runs sixteen bytes past it, into a heap buffer the
    // sanitizer watches.
    BitWriter past;
    past.Literal(0x61);
    past.Match(1, 17);
    // Nine literals and a 2-byte match from position 1 fill exactly three
    // words (96 bits), and the finishing word is missing: every byte is
    // there, so the image is sound.
    BitWriter unfinished;
    for (unsigned char c = 'a'; c < 'a' + 9; ++c) unfinished.Literal(c);
    unfinished.Match(1, 2);
    const Bytes unfinishedImage = unfinished.Image(11, false);
    ASSERT_EQ(unfinishedImage.size(), 16u);

    struct Case {
        const char* what;
        Bytes image;
        int32_t result;
        Bytes bytes;  // sound: all of them; damaged: what the stream delivers before it fails
    };
    const Case cases[] = {
        {"twenty a", kTwentyA, 20, Bytes(20, 0x61)},
        {"stored", {0xFD, 0xFF, 0xFF, 0xFF, 0x61, 0x62, 0x63}, 3, {0x61, 0x62, 0x63}},
        {"empty", Bytes(4, 0), 0, {}},
        {"window wrap", wrap.Image(static_cast<int32_t>(wrapped.size())), static_cast<int32_t>(wrapped.size()), wrapped},
        {"match past the total", past.Image(2), 2, Bytes(2, 0x61)},
        {"no finishing word", unfinishedImage, 11, {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'a', 'b'}},
        {"-2^31 has no size", {0, 0, 0, 0x80, 1, 2, 3, 4}, PSE_DAMAGED, {}},
        {"end marker before the total", {20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, PSE_DAMAGED, {}},
        {"body cut after a word", Bytes(kTwentyA.begin(), kTwentyA.begin() + 8), PSE_DAMAGED, Bytes(18, 0x61)},
        {"stored body short of its header", {0xF6, 0xFF, 0xFF, 0xFF, 1, 2, 3}, PSE_DAMAGED, {1, 2, 3}},
    };
    PackedStream ps;
    ASSERT_EQ(ps.Init(PACKED_STREAM_VERSION), 0);
    Bytes out(64, 0xEE);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Decoded d = DecodeEverywhere(ps, c.image.data(), c.image.size());
        EXPECT_EQ(d.fault, "");
        EXPECT_EQ(d.result, c.result);
        EXPECT_EQ(d.classic, c.result);
        if (c.result >= 0) {
            EXPECT_EQ(d.bytes, c.bytes);
            continue;
        }
        // A stream cannot pass over the damage, and reading delivers the
        // bytes there are, then fails.
        Medium m(32);
        m.image = c.image;
        m.Attach(ps);
        const auto begin = [&] {
            ps.End();
            m.pos = 0;
            return ps.Begin(PS_MODE_READ);
        };
        const int32_t total = begin();
        if (total < 0) {
            EXPECT_EQ(total, PSE_DAMAGED);
            continue;
        }
        EXPECT_EQ(ps.Seek(total, 0), PSE_DAMAGED);
        ASSERT_EQ(begin(), total);
        EXPECT_EQ(ps.Read(out.data(), total), PSE_DAMAGED);
        EXPECT_EQ(ps.Tell(), static_cast<int32_t>(c.bytes.size()));
        EXPECT_EQ(Bytes(out.begin(), out.begin() + static_cast<long>(c.bytes.size())), c.bytes);
        ps.End();
    }
    for (size_t cut = 0; cut < 8; ++cut) {
        const Decoded d = DecodeEverywhere(ps, kTwentyA.data(), cut);
        EXPECT_EQ(d.result, PSE_DAMAGED) << cut;
        EXPECT_EQ(d.fault, "") << cut;
    }
    EXPECT_EQ(ps.UnpackBuffer(kTwentyA.data(), kTwentyA.size(), out.data(), 19), PSE_BUFFER_TOO_SMALL);
    const Bytes empty(4, 0);  // on the heap: the classic form reads no body
    EXPECT_EQ(ps.UnpackBuffer(empty.data(), out.data()), 0);

    // Asking a stream past the total delivers the total and says so.
    Medium m(32);
    m.image = kTwentyA;
    m.image.insert(m.image.end(), 40, 0x55);
    m.Attach(ps);
    ps.End();
    ASSERT_EQ(ps.Begin(PS_MODE_READ), 20);
    std::fill(out.begin(), out.end(), 0xEE);
    EXPECT_EQ(ps.Read(out.data(), 30), PSE_DAMAGED);
    EXPECT_EQ(ps.Tell(), 20);
    EXPECT_EQ(out[20], 0xEE);
    ps.End();
    ps.SetCallbacks([](int32_t, void*) -> unsigned char* { return nullptr; }, Medium::Rewind, 32, &m);
    EXPECT_EQ(ps.Begin(PS_MODE_READ), PSE_NO_BUFFER);
    EXPECT_EQ(ps.End(), 0);
}

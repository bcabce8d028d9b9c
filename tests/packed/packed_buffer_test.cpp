#include <gtest/gtest.h>

#include <vector>

#include <orvobf/packed_stream.h>
#include "bit_writer.h"
#include "memory_medium.h"

TEST(PackedBuffer, WorkedExamples) {
    PackedStream ps;
    ASSERT_EQ(ps.Init(PACKED_STREAM_VERSION), 0);
    Bytes out(20 + 16, 0xEE);
    EXPECT_EQ(ps.UnpackBuffer(kTwentyA.data(), out.data()), 20);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 20), Bytes(20, 0x61));
    Bytes exact(20);
    EXPECT_EQ(ps.UnpackBuffer(kTwentyA.data(), kTwentyA.size(), exact.data(), exact.size()), 20);
    EXPECT_EQ(exact, Bytes(20, 0x61));
    EXPECT_EQ(PackImage(ps, Bytes(20, 0x61)), kTwentyA);
    const Bytes stored = {0xFD, 0xFF, 0xFF, 0xFF, 0x61, 0x62, 0x63};
    EXPECT_EQ(PackedStream::ImageSize(stored.data()), 3);
    EXPECT_EQ(ps.UnpackBuffer(stored.data(), stored.size(), exact.data(), exact.size()), 3);
    const Bytes empty = PackImage(ps, Bytes());
    EXPECT_EQ(empty, Bytes(4, 0));
    EXPECT_EQ(ps.UnpackBuffer(empty.data(), out.data()), 0) << "and no read past its 4 bytes";
}

TEST(PackedBuffer, DamagedImages) {
    PackedStream ps;
    ASSERT_EQ(ps.Init(PACKED_STREAM_VERSION), 0);
    const Bytes minImage = {0, 0, 0, 0x80, 0, 0, 0, 0};
    Bytes out(64);
    EXPECT_EQ(PackedStream::ImageSize(minImage.data()), PSE_DAMAGED);
    EXPECT_EQ(ps.UnpackBuffer(minImage.data(), minImage.size(), out.data(), out.size()), PSE_DAMAGED);
    // End marker at once although 20 bytes are promised.
    const Bytes early = {20, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(ps.UnpackBuffer(early.data(), early.size(), out.data(), out.size()), PSE_DAMAGED);
    for (size_t cut = 0; cut < 8; ++cut)
        EXPECT_EQ(ps.UnpackBuffer(kTwentyA.data(), cut, out.data(), out.size()), PSE_DAMAGED) << cut;
    EXPECT_EQ(ps.UnpackBuffer(kTwentyA.data(), kTwentyA.size(), out.data(), 19), PSE_BUFFER_TOO_SMALL);
}

TEST(PackedBuffer, WindowWrapsAndPositionZero) {
    // 1024 literals: the last one lands at position 0. Then a match from
    // 1020 that runs through 1023, 0 and into the bytes it is writing.
    BitWriter bw;
    Bytes expect;
    for (int i = 0; i < 1024; ++i) {
        const auto b = static_cast<unsigned char>(i * 7 + 3);
        bw.Put(0x100u | b, 9);
        expect.push_back(b);
    }
    bw.Put((1020u << 4) | 15u, 15);
    for (int i = 0; i < 17; ++i) expect.push_back(expect[1019 + i % 5]);
    const Bytes image = bw.Image(static_cast<int32_t>(expect.size()));

    PackedStream ps;
    ASSERT_EQ(ps.Init(PACKED_STREAM_VERSION), 0);
    Bytes out(expect.size() + 16);
    ASSERT_EQ(ps.UnpackBuffer(image.data(), out.data()), static_cast<int32_t>(expect.size()));
    EXPECT_EQ(Bytes(out.begin(), out.begin() + static_cast<long>(expect.size())), expect);
    Bytes exact(expect.size());
    ASSERT_EQ(ps.UnpackBuffer(image.data(), image.size(), exact.data(), exact.size()), static_cast<int32_t>(exact.size()));
    EXPECT_EQ(exact, expect);
    // Through the stream: one byte per Read, and passing over by Seek.
    Medium m(20);
    m.image = image;
    m.Attach(ps);
    ASSERT_EQ(ps.Begin(PS_MODE_READ), static_cast<int32_t>(expect.size()));
    for (size_t i = 0; i < expect.size(); ++i) {
        unsigned char b = 0;
        ASSERT_EQ(ps.Read(&b, 1), 0);
        ASSERT_EQ(b, expect[i]) << i;
    }
    ASSERT_EQ(ps.Seek(1030, 0), 1030);
    ASSERT_EQ(ps.Read(exact.data(), 11), 0);
    EXPECT_EQ(Bytes(exact.begin(), exact.begin() + 11), Bytes(expect.begin() + 1030, expect.end()));
    ps.End();
}

TEST(PackedBuffer, ClassicFormStaysWithinTotalPlusSixteen) {
    // Literal, then a 17-byte match starting one byte before a total of 2:
    // sixteen bytes run past it, no more.
    BitWriter bw;
    bw.Put(0x100u | 0x61, 9);
    bw.Put((1u << 4) | 15u, 15);
    const Bytes image = bw.Image(2);
    PackedStream ps;
    ASSERT_EQ(ps.Init(PACKED_STREAM_VERSION), 0);
    Bytes exact(2 + 16);  // on the heap: the sanitizer sees any byte past it
    EXPECT_EQ(ps.UnpackBuffer(image.data(), exact.data()), 2);
    EXPECT_EQ(exact, Bytes(18, 0x61));
}

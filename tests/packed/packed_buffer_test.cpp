#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "PackedStream.h"

namespace {
using Bytes = std::vector<unsigned char>;

Bytes Pack(PackedStream& ps, const Bytes& data) {
    Bytes image(static_cast<size_t>(PackedMaxImageSize(static_cast<int64_t>(data.size()))));
    const int32_t body = ps.PackBuffer(data.data(), image.data(), static_cast<int32_t>(data.size()));
    EXPECT_GE(body, 0);
    image.resize(4 + static_cast<size_t>(body));
    return image;
}
}  // namespace

TEST(PackedBuffer, WorkedExamples) {
    PackedStream ps;
    ASSERT_EQ(ps.Init(9999), PSE_BAD_VERSION);
    ASSERT_EQ(ps.Init(PACKED_STREAM_VERSION), 0);
    const Bytes twelve = {0x14, 0, 0, 0, 0x02, 0x1F, 0x80, 0xB0, 0, 0, 0, 0x40};
    Bytes out(20 + 16, 0xEE);
    EXPECT_EQ(ps.UnpackBuffer(twelve.data(), out.data()), 20);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 20), Bytes(20, 0x61));
    Bytes exact(20);
    EXPECT_EQ(ps.UnpackBuffer(twelve.data(), twelve.size(), exact.data(), exact.size()), 20);
    EXPECT_EQ(exact, Bytes(20, 0x61));
    EXPECT_EQ(Pack(ps, Bytes(20, 0x61)), twelve);
    const Bytes stored = {0xFD, 0xFF, 0xFF, 0xFF, 0x61, 0x62, 0x63};
    EXPECT_EQ(PackedStream::ImageSize(stored.data()), 3);
    EXPECT_EQ(ps.UnpackBuffer(stored.data(), stored.size(), exact.data(), exact.size()), 3);
    EXPECT_EQ(Pack(ps, Bytes()), Bytes(4, 0));
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
    const Bytes twelve = {0x14, 0, 0, 0, 0x02, 0x1F, 0x80, 0xB0, 0, 0, 0, 0x40};
    for (size_t cut = 0; cut < 8; ++cut)
        EXPECT_EQ(ps.UnpackBuffer(twelve.data(), cut, out.data(), out.size()), PSE_DAMAGED) << cut;
    EXPECT_EQ(ps.UnpackBuffer(twelve.data(), twelve.size(), out.data(), 19), PSE_BUFFER_TOO_SMALL);
}

TEST(PackedBuffer, RoundTripsAndRepeats) {
    PackedStream ps;
    ASSERT_EQ(ps.Init(PACKED_STREAM_VERSION), 0);
    std::mt19937 rng(7);
    std::vector<Bytes> inputs;
    for (size_t n = 1; n <= 40; ++n) {
        Bytes b(n);
        for (auto& c : b) c = static_cast<unsigned char>(rng() % 3);
        inputs.push_back(b);
    }
    Bytes random(300000), text, runs(5000, 0);
    for (auto& c : random) c = static_cast<unsigned char>(rng());
    const char* words[] = {"pack ", "stream ", "window ", "match ", "tree\n"};
    while (text.size() < 3 * 1024 * 1024) for (char ch : std::string(words[rng() % 5])) text.push_back(static_cast<unsigned char>(ch));
    for (size_t i = 0; i < runs.size(); i += 700) runs[i] = 1;
    inputs.push_back(random);
    inputs.push_back(text);
    inputs.push_back(runs);
    for (const Bytes& data : inputs) {
        const Bytes image = Pack(ps, data);
        ASSERT_EQ(Pack(ps, data), image) << "same data, same image";
        Bytes out(data.size() + 16);
        ASSERT_EQ(ps.UnpackBuffer(image.data(), image.size(), out.data(), data.size()),
                  static_cast<int32_t>(data.size()));
        ASSERT_EQ(Bytes(out.begin(), out.begin() + static_cast<long>(data.size())), data);
        ASSERT_EQ(ps.UnpackBuffer(image.data(), out.data()), static_cast<int32_t>(data.size()));
        ASSERT_EQ(Bytes(out.begin(), out.begin() + static_cast<long>(data.size())), data);
    }
}

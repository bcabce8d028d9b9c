#include <gtest/gtest.h>

#include <random>
#include <string>

#include "memory_medium.h"
#include "temp_dir.h"

namespace {

const Bytes kTwelve = {0x14, 0, 0, 0, 0x02, 0x1F, 0x80, 0xB0, 0, 0, 0, 0x40};

// Writes `data` in pieces of the given sizes (the rest in the last one).
Bytes WriteImage(PackedStream& ps, const Bytes& data, const std::vector<size_t>& pieces, int32_t bufferSize,
                 int32_t* endResult = nullptr) {
    Medium m(bufferSize);
    m.writing = true;
    m.Attach(ps);
    EXPECT_EQ(ps.Begin(PS_MODE_WRITE), 0);
    size_t at = 0;
    for (size_t i = 0; at < data.size() || i == 0; ++i) {
        const size_t n = i < pieces.size() ? std::min(pieces[i], data.size() - at) : data.size() - at;
        EXPECT_GE(ps.Write(data.data() + at, static_cast<int32_t>(n)), 0);
        at += n;
    }
    const int32_t end = ps.End();
    if (endResult) *endResult = end;
    return m.image;
}

Bytes ReadAll(PackedStream& ps, Medium& m, int32_t expectTotal) {
    m.Attach(ps);
    EXPECT_EQ(ps.Begin(PS_MODE_READ), expectTotal);
    Bytes out(static_cast<size_t>(expectTotal));
    EXPECT_EQ(ps.Read(out.data(), expectTotal), 0);
    EXPECT_EQ(ps.End(), 0);
    return out;
}

}  // namespace

TEST(PackedStream, CallingRules) {
    PackedStream ps;
    EXPECT_EQ(ps.Init(9999), PSE_BAD_VERSION);
    ASSERT_EQ(ps.Init(PACKED_STREAM_VERSION), 0);
    EXPECT_EQ(ps.Begin(PS_MODE_READ), PSE_NO_CALLBACK);
    Medium m(20);
    EXPECT_EQ(ps.SetCallbacks(Medium::Provide, Medium::Rewind, 16, &m), PSE_BUFFER_TOO_SMALL);
    EXPECT_EQ(ps.SetCallbacks(Medium::Provide, Medium::Rewind, 18, &m), PSE_BUFFER_TOO_SMALL);
    EXPECT_EQ(ps.SetCallbacks(Medium::Provide, Medium::Rewind, 20, &m), 0);
    m.image = kTwelve;
    EXPECT_EQ(ps.Tell(), PSE_BAD_STATE);
    EXPECT_EQ(ps.Begin(PS_MODE_READ), 20);
    EXPECT_EQ(ps.Begin(PS_MODE_READ), PSE_BAD_STATE);
    const unsigned char byte = 1;
    EXPECT_EQ(ps.Write(&byte, 1), PSE_NOT_WRITABLE);
    EXPECT_EQ(ps.End(), 0);
    EXPECT_EQ(ps.Tell(), PSE_BAD_STATE);
    EXPECT_EQ(ps.End(), PSE_BAD_STATE);
    m.writing = true;
    EXPECT_EQ(ps.Begin(PS_MODE_WRITE), 0);
    unsigned char out[4];
    EXPECT_EQ(ps.Read(out, 1), PSE_NOT_READABLE);
    EXPECT_EQ(ps.Seek(0, 0), PSE_NOT_READABLE);
    EXPECT_EQ(ps.End(), 0);
    Bytes dest(PackedMaxImageSize(20));
    EXPECT_EQ(ps.Begin(PS_MODE_WRITE), 0);
    EXPECT_EQ(ps.PackBuffer(dest.data(), dest.data(), 20), PSE_BAD_STATE) << "shares the begun stream's window";
    ps.End();
}

TEST(PackedStream, WriterExamples) {
    PackedStream ps;
    ASSERT_EQ(ps.Init(PACKED_STREAM_VERSION), 0);
    {
        Medium m(64);
        m.writing = true;
        m.Attach(ps);
        ASSERT_EQ(ps.Begin(PS_MODE_WRITE), 0);
        EXPECT_EQ(ps.End(), 0);
        EXPECT_EQ(m.image, Bytes(4, 0));
        EXPECT_EQ(m.sizes, (std::vector<int32_t>{0, -1, 4}));
    }
    {
        Medium m(64);
        m.writing = true;
        m.Attach(ps);
        ASSERT_EQ(ps.Begin(PS_MODE_WRITE), 0);
        const Bytes hello = {0x68, 0x65, 0x6C, 0x6C, 0x6F};
        EXPECT_EQ(ps.Write(hello.data(), 5), 0);
        EXPECT_EQ(ps.End(), 5);
        EXPECT_EQ(m.image, (Bytes{0xFB, 0xFF, 0xFF, 0xFF, 0x68, 0x65, 0x6C, 0x6C, 0x6F}));
    }
    {
        Medium m(64);
        m.writing = true;
        m.Attach(ps);
        ASSERT_EQ(ps.Begin(PS_MODE_WRITE), 0);
        const Bytes a(20, 0x61);
        EXPECT_EQ(ps.Write(a.data(), 20), 4) << "only the header word is produced yet";
        EXPECT_EQ(ps.End(), 12);
        EXPECT_EQ(m.image, kTwelve);
        EXPECT_EQ(m.sizes, (std::vector<int32_t>{0, 12, -1, 4}));
    }
    // 16 bytes in the first Write store, 17 pack even when later Writes are short.
    Bytes data(40);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(i * 7);
    Bytes stored = WriteImage(ps, data, {16, 1, 1}, 20);
    ASSERT_EQ(stored.size(), 44u);
    EXPECT_EQ(PackedStream::ImageSize(stored.data()), 40);
    EXPECT_EQ(stored[3], 0xFF) << "negative header word";
    EXPECT_EQ(Bytes(stored.begin() + 4, stored.end()), data);
    int32_t end = 0;
    const Bytes packed = WriteImage(ps, data, {17, 1, 1, 2}, 20, &end);
    EXPECT_EQ(end, static_cast<int32_t>(packed.size()));
    Bytes whole(PackedMaxImageSize(40));
    whole.resize(4 + static_cast<size_t>(ps.PackBuffer(data.data(), whole.data(), 40)));
    EXPECT_EQ(packed, whole);
}

TEST(PackedStream, ReaderExamples) {
    PackedStream ps;
    ASSERT_EQ(ps.Init(PACKED_STREAM_VERSION), 0);
    Medium m(64);
    m.image = kTwelve;
    m.Attach(ps);
    ASSERT_EQ(ps.Begin(PS_MODE_READ), 20);
    Bytes got;
    for (int i = 0; i < 20; ++i) {
        unsigned char b = 0;
        ASSERT_EQ(ps.Read(&b, 1), 0);
        got.push_back(b);
    }
    EXPECT_EQ(got, Bytes(20, 0x61));
    EXPECT_EQ(ps.Tell(), 20);
    EXPECT_EQ(ps.End(), 0);

    // Request sizes: 8 at Begin, 5 asks for 8, 64 or more asks for 64.
    Bytes big(5000);
    std::mt19937 rng(3);
    for (auto& c : big) c = static_cast<unsigned char>(rng() % 4);
    m.image.assign(PackedMaxImageSize(5000), 0);
    m.image.resize(4 + static_cast<size_t>(ps.PackBuffer(big.data(), m.image.data(), 5000)));
    m.pos = 0;
    m.sizes.clear();
    ASSERT_EQ(ps.Begin(PS_MODE_READ), 5000);
    Bytes out(5000);
    ASSERT_EQ(ps.Read(out.data(), 5), 0);
    ASSERT_EQ(ps.Read(out.data() + 5, 1000), 0);
    ASSERT_EQ(m.sizes.size(), 3u + (m.sizes.size() - 3));
    EXPECT_EQ(m.sizes[0], 8);
    EXPECT_EQ(m.sizes[1], 8);
    EXPECT_EQ(m.sizes[2], 64);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 1005), Bytes(big.begin(), big.begin() + 1005));

    // Seeks: to the current position calls nothing, origin 3 changes
    // nothing, backwards rewinds and starts again with 8 bytes.
    m.sizes.clear();
    EXPECT_EQ(ps.Seek(1005, 0), 1005);
    EXPECT_EQ(ps.Seek(77, 3), 1005);
    EXPECT_TRUE(m.sizes.empty());
    EXPECT_EQ(ps.Seek(0, 2), 5000);
    EXPECT_EQ(ps.Seek(10, 2), 4990);
    m.sizes.clear();
    EXPECT_EQ(ps.Seek(5, 0), 5);
    ASSERT_GE(m.sizes.size(), 3u);
    EXPECT_EQ(m.sizes[0], -1);
    EXPECT_EQ(m.sizes[1], 8);
    EXPECT_EQ(m.sizes[2], 8);
    ASSERT_EQ(ps.Read(out.data(), 100), 0);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 100), Bytes(big.begin() + 5, big.begin() + 105));
    EXPECT_EQ(ps.Seek(-6, 1), 99);
    EXPECT_EQ(ps.Seek(-500, 1), 0);
    EXPECT_EQ(ps.End(), 0);

    m.image = {0xFD, 0xFF, 0xFF, 0xFF, 0x61, 0x62, 0x63};
    m.pos = 0;
    EXPECT_EQ(ReadAll(ps, m, 3), (Bytes{0x61, 0x62, 0x63}));
    m.image = {0, 0, 0, 0};
    m.pos = 0;
    EXPECT_EQ(ReadAll(ps, m, 0), Bytes());
}

TEST(PackedStream, DamagedImagesFailInsteadOfInventing) {
    PackedStream ps;
    ASSERT_EQ(ps.Init(PACKED_STREAM_VERSION), 0);
    Medium m(32);
    m.Attach(ps);
    Bytes out(64, 0xEE);
    m.image = {0, 0, 0, 0x80, 1, 2, 3, 4};
    EXPECT_EQ(ps.Begin(PS_MODE_READ), PSE_DAMAGED);
    ps.End();
    // End marker at once although 20 bytes are promised.
    m.image = {20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    m.pos = 0;
    ASSERT_EQ(ps.Begin(PS_MODE_READ), 20);
    EXPECT_EQ(ps.Read(out.data(), 20), PSE_DAMAGED);
    EXPECT_EQ(ps.Tell(), 0);
    ps.End();
    // Body cut after its first word: 18 bytes come, then the medium is dry.
    m.image.assign(kTwelve.begin(), kTwelve.begin() + 8);
    m.pos = 0;
    ASSERT_EQ(ps.Begin(PS_MODE_READ), 20);
    EXPECT_EQ(ps.Read(out.data(), 20), PSE_DAMAGED);
    EXPECT_EQ(ps.Tell(), 18);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 18), Bytes(18, 0x61));
    ps.End();
    m.pos = 0;
    ASSERT_EQ(ps.Begin(PS_MODE_READ), 20);
    EXPECT_EQ(ps.Seek(0, 2), PSE_DAMAGED);
    ps.End();
    // Stored body shorter than its header says.
    m.image = {0xF6, 0xFF, 0xFF, 0xFF, 1, 2, 3};
    m.pos = 0;
    ASSERT_EQ(ps.Begin(PS_MODE_READ), 10);
    EXPECT_EQ(ps.Read(out.data(), 10), PSE_DAMAGED);
    EXPECT_EQ(ps.Tell(), 3);
    ps.End();
    // Asking past the total delivers the total and says so.
    m.image = kTwelve;
    m.image.insert(m.image.end(), 40, 0x55);
    m.pos = 0;
    ASSERT_EQ(ps.Begin(PS_MODE_READ), 20);
    std::fill(out.begin(), out.end(), 0xEE);
    EXPECT_EQ(ps.Read(out.data(), 30), PSE_DAMAGED);
    EXPECT_EQ(ps.Tell(), 20);
    EXPECT_EQ(out[20], 0xEE);
    ps.End();
    // A sound image that ends exactly where the medium does reads fine,
    // though the provider delivered less than asked.
    const Bytes one = {1};
    m.image.assign(PackedMaxImageSize(1), 0);
    m.image.resize(4 + static_cast<size_t>(ps.PackBuffer(one.data(), m.image.data(), 1)));
    ASSERT_EQ(m.image.size(), 8u);
    m.pos = 0;
    EXPECT_EQ(ReadAll(ps, m, 1), one);
    // The provider failing.
    Medium none(32);
    ps.SetCallbacks([](int32_t, void*) -> unsigned char* { return nullptr; }, Medium::Rewind, 32, &none);
    EXPECT_EQ(ps.Begin(PS_MODE_READ), PSE_NO_BUFFER);
    EXPECT_EQ(ps.End(), 0);
}

TEST(PackedStream, RoundTripsThroughEveryInterface) {
    std::mt19937 rng(11);
    std::vector<Bytes> inputs = {Bytes(), Bytes{0x42}};
    for (size_t n = 1; n <= 40; ++n) {
        Bytes b(n);
        for (auto& c : b) c = static_cast<unsigned char>(rng() % 3 + 'a');
        inputs.push_back(b);
    }
    Bytes runs(70000, 0x61), random(200000), text;
    for (size_t i = 0; i < runs.size(); i += 1500) runs[i] = 0x62;
    for (auto& c : random) c = static_cast<unsigned char>(rng());
    const char* words[] = {"image ", "window ", "provider ", "match ", "literal\n", "\t0x1F "};
    while (text.size() < 300000) for (char ch : std::string(words[rng() % 6])) text.push_back(static_cast<unsigned char>(ch));
    inputs.insert(inputs.end(), {runs, random, text});

    PackedStream ps;  // one object for every image
    ASSERT_EQ(ps.Init(PACKED_STREAM_VERSION), 0);
    for (const Bytes& data : inputs) {
        const int32_t n = static_cast<int32_t>(data.size());
        SCOPED_TRACE(n);
        Bytes whole(PackedMaxImageSize(n));
        whole.resize(4 + static_cast<size_t>(ps.PackBuffer(data.data(), whole.data(), n)));
        Bytes out(data.size() + 16);
        ASSERT_EQ(ps.UnpackBuffer(whole.data(), whole.size(), out.data(), data.size()), n);
        ASSERT_TRUE(std::equal(data.begin(), data.end(), out.begin()));

        std::vector<size_t> pieces = {17 + rng() % 40};
        while (pieces.size() < 200) pieces.push_back(rng() % 3 == 0 ? rng() % 5000 : rng() % 20);
        const int32_t bufferSize = 20 + 4 * static_cast<int32_t>(rng() % 40);
        const Bytes once = WriteImage(ps, data, {}, 16384);
        const Bytes inPieces = WriteImage(ps, data, pieces, bufferSize);
        ASSERT_EQ(once, inPieces);
        if (n >= PACKED_MAX_MATCH) ASSERT_EQ(once, whole);
        else ASSERT_EQ(PackedStream::ImageSize(once.data()), n);

        // Read in random pieces with random seeks, every byte checked.
        Medium m(bufferSize);
        m.image = once;
        m.Attach(ps);
        ASSERT_EQ(ps.Begin(PS_MODE_READ), n);
        for (int step = 0; step < 60; ++step) {
            const int32_t at = ps.Tell();
            if (rng() % 4 == 0) {
                const int32_t target = static_cast<int32_t>(rng() % (data.size() + 1));
                ASSERT_EQ(ps.Seek(target - at, 1), target);
                continue;
            }
            const int32_t len = std::min<int32_t>(static_cast<int32_t>(rng() % 3000), n - at);
            ASSERT_EQ(ps.Read(out.data(), len), 0);
            ASSERT_TRUE(std::equal(out.begin(), out.begin() + len, data.begin() + at)) << at;
        }
        ps.End();
    }
}

TEST(PackedStream, FileMediumRoundTrip) {
    TempDir dir;
    Bytes data(3 * 1024 * 1024 + 5);
    std::mt19937 rng(5);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(rng() % 16 == 0 ? rng() : i / 97);
    PackedStream ps;
    ASSERT_EQ(ps.Init(PACKED_STREAM_VERSION), 0);
    const std::string path = dir.File("image.pk");
    FILE* f = std::fopen(path.c_str(), "w+b");
    ASSERT_NE(f, nullptr);
    Medium m(16384);
    m.file = f;
    m.writing = true;
    m.Attach(ps);
    ASSERT_EQ(ps.Begin(PS_MODE_WRITE), 0);
    for (size_t at = 0; at < data.size();) {
        const size_t len = std::min<size_t>(data.size() - at, 17 + rng() % 100000);
        ASSERT_GE(ps.Write(data.data() + at, static_cast<int32_t>(len)), 0);
        at += len;
    }
    const int32_t size = ps.End();
    ASSERT_GT(size, 0);
    std::fseek(f, 0, SEEK_END);
    EXPECT_EQ(std::ftell(f), size);
    std::fseek(f, 0, SEEK_SET);
    m.writing = false;
    ASSERT_EQ(ps.Begin(PS_MODE_READ), static_cast<int32_t>(data.size()));
    Bytes out(data.size());
    ASSERT_EQ(ps.Read(out.data(), static_cast<int32_t>(out.size())), 0);
    EXPECT_EQ(out, data);
    ps.End();
    std::fclose(f);
}

#include <gtest/gtest.h>

#include <string>

#include <orvobf/packed_file.h>
#include "memory_medium.h"
#include "temp_dir.h"
#include "text_contents.h"

namespace {

Bytes PackImage(const Bytes& data) {
    PackedStream ps;
    ps.Init(PACKED_STREAM_VERSION);
    return PackImage(ps, data);
}

Bytes Sample(size_t n, unsigned seed) {
    const std::string text = Contents(n, seed);
    return Bytes(text.begin(), text.end());
}

}  // namespace

TEST(PackedFile, ReadsImagesAtTheStreamPosition) {
    TempDir dir;
    const Bytes stored = {0xFD, 0xFF, 0xFF, 0xFF, 0x61, 0x62, 0x63};
    const Bytes data = Sample(100000, 1);
    const Bytes packed = PackImage(data);
    const Bytes prefix = {9, 9, 9, 9, 9}, empty(4, 0);
    Bytes file = prefix;
    for (const Bytes* part : {&stored, &packed, &empty}) file.insert(file.end(), part->begin(), part->end());
    const std::string path = dir.Write("a.bf", file);
    FILE* base = std::fopen(path.c_str(), "rb");
    ASSERT_NE(base, nullptr);

    // Positioned by a buffered read, so the descriptor is ahead of it.
    unsigned char skip[5];
    ASSERT_EQ(std::fread(skip, 1, 5, base), 5u);
    PackedFile pf;
    ASSERT_EQ(pf.OpenRead(base), 1);
    EXPECT_EQ(pf.GetMode(), 1);
    EXPECT_NE(pf.GetStream(), nullptr);
    unsigned char abc[3] = {};
    ASSERT_EQ(pf.Read(abc, 3), 1);
    EXPECT_EQ(Bytes(abc, abc + 3), (Bytes{0x61, 0x62, 0x63}));
    EXPECT_EQ(pf.Tell(), 3);
    EXPECT_EQ(pf.Close(), 0);
    EXPECT_EQ(std::ftell(base), 0) << "no rewind: the saved position is 0";
    EXPECT_EQ(pf.Tell(), PSE_BAD_STATE);

    // Packed image: part, back to the start, all of it.
    ASSERT_EQ(std::fseek(base, static_cast<long>(prefix.size() + stored.size()), SEEK_SET), 0);
    ASSERT_EQ(pf.OpenRead(base), 1);
    Bytes out(data.size());
    ASSERT_EQ(pf.Read(out.data(), 20000), 1);
    EXPECT_EQ(pf.Tell(), 20000);
    ASSERT_EQ(pf.Seek(0, 0), 1);
    ASSERT_EQ(pf.Read(out.data(), static_cast<int32_t>(out.size())), 1);
    EXPECT_EQ(out, data);
    const long dupBeforeClose = std::ftell(pf.GetStream());
    EXPECT_EQ(pf.Close(), 0);
    EXPECT_GT(dupBeforeClose, 0);
    EXPECT_EQ(std::ftell(base), static_cast<long>(prefix.size() + stored.size() + 8 + 16384))
        << "the duplicate's position before its last rewind (header, one full buffer)";

    // The empty image at the very end: the 8-byte read comes back short.
    ASSERT_EQ(std::fseek(base, -4, SEEK_END), 0);
    ASSERT_EQ(pf.OpenRead(base), 1);
    EXPECT_EQ(pf.Read(out.data(), 0), 1);
    EXPECT_EQ(pf.Close(), 0);
    std::fclose(base);
}

TEST(PackedFile, CutImagesFailInsteadOfReadingStaleBytes) {
    TempDir dir;
    const Bytes data = Sample(200000, 2);
    const Bytes packed = PackImage(data);
    ASSERT_GT(packed.size(), 20000u);
    // Cut in the second buffer: the first buffer's bytes are still there.
    const std::string path = dir.Write("cut.pk", Bytes(packed.begin(), packed.begin() + 16384 + 8 + 300));
    FILE* base = std::fopen(path.c_str(), "rb");
    ASSERT_NE(base, nullptr);
    PackedFile pf;
    ASSERT_EQ(pf.OpenRead(base), 1);
    Bytes out(data.size());
    EXPECT_EQ(pf.Read(out.data(), static_cast<int32_t>(out.size())), 0);
    EXPECT_EQ(pf.GetLastResult(), PSE_DAMAGED);
    const int32_t got = pf.Tell();
    EXPECT_GT(got, 0);
    EXPECT_LT(got, static_cast<int32_t>(data.size()));
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + got, data.begin())) << "what came is sound";
    EXPECT_EQ(pf.Close(), 0);
    // A header cut short fails the open and keeps nothing.
    const std::string tiny = dir.Write("tiny.pk", Bytes{0x10, 0});
    FILE* t = std::fopen(tiny.c_str(), "rb");
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(pf.OpenRead(t), 0);
    EXPECT_EQ(pf.GetLastResult(), PSE_DAMAGED);
    EXPECT_EQ(pf.GetStream(), nullptr);
    EXPECT_EQ(pf.Close(), PSE_BAD_STATE);
    std::fclose(t);
    std::fclose(base);
}

TEST(PackedFile, WritesImagesInPlace) {
    TempDir dir;
    const Bytes first = Sample(100000, 3), second = {1, 2, 3, 4, 5};
    // An existing file longer than what is written: writes land at the
    // position, never appended at the end.
    const std::string path = dir.Write("w.bf", Bytes(300000, 0xAA));
    FILE* base = std::fopen(path.c_str(), "r+b");
    ASSERT_NE(base, nullptr);
    ASSERT_EQ(std::fseek(base, 10, SEEK_SET), 0);
    PackedFile pf;
    ASSERT_EQ(pf.OpenWrite(base), 1);
    EXPECT_EQ(pf.GetMode(), 0);
    for (size_t at = 0; at < first.size(); at += 7000)
        ASSERT_EQ(pf.Write(first.data() + at, static_cast<int32_t>(std::min<size_t>(7000, first.size() - at))), 1);
    const int32_t size = pf.Close();
    EXPECT_EQ(Bytes(PackImage(first)).size(), static_cast<size_t>(size));
    EXPECT_EQ(std::ftell(base), 10 + size) << "first byte after the image";
    ASSERT_EQ(pf.OpenWrite(base), 1);
    ASSERT_EQ(pf.Write(second.data(), 5), 1);
    EXPECT_EQ(pf.Close(), 5);
    EXPECT_EQ(std::ftell(base), 10 + size + 9);
    std::fclose(base);

    FILE* in = std::fopen(path.c_str(), "rb");
    ASSERT_NE(in, nullptr);
    Bytes file(300000);
    ASSERT_EQ(std::fread(file.data(), 1, file.size() + 1, in), 300000u);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 10), Bytes(10, 0xAA));
    EXPECT_EQ(Bytes(file.begin() + 10, file.begin() + 10 + size), PackImage(first)) << "header word in place";
    EXPECT_EQ(file[10 + static_cast<size_t>(size) + 9], 0xAA);
    ASSERT_EQ(std::fseek(in, 10, SEEK_SET), 0);
    ASSERT_EQ(pf.OpenRead(in), 1);
    Bytes back(first.size());
    ASSERT_EQ(pf.Read(back.data(), static_cast<int32_t>(back.size())), 1);
    EXPECT_EQ(back, first);
    pf.Close();
    ASSERT_EQ(std::fseek(in, 10 + size, SEEK_SET), 0);
    ASSERT_EQ(pf.OpenRead(in), 1);
    ASSERT_EQ(pf.Read(back.data(), 5), 1);
    EXPECT_EQ(Bytes(back.begin(), back.begin() + 5), second);
    EXPECT_EQ(pf.Write(second.data(), 1), 0);
    EXPECT_EQ(pf.GetLastResult(), PSE_NOT_WRITABLE);
    pf.Close();
    std::fclose(in);
}

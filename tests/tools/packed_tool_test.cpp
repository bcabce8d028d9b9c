// bigfile pack / unpack on real files.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include <orvobf/packed_stream.h>
#include "run_tool.h"
#include "temp_dir.h"

namespace {
using Bytes = std::vector<unsigned char>;

Bytes Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
}  // namespace

TEST(PackedTool, PackUnpackAndTheirErrors) {
    TempDir dir;
    Bytes data(700000);
    std::mt19937 rng(9);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(rng() % 5 == 0 ? rng() : i % 251);
    const std::string in = dir.Write("in.bin", data), image = dir.File("in.pk"), out = dir.File("out.bin");
    Outcome run = Tool("pack " + in + " " + image);
    ASSERT_EQ(run.status, 0) << run.out;
    PackedStream ps;
    ASSERT_EQ(ps.Init(PACKED_STREAM_VERSION), 0);
    Bytes packed = Slurp(image);
    Bytes whole(PackedMaxImageSize(static_cast<int64_t>(data.size())));
    whole.resize(4 + static_cast<size_t>(ps.PackBuffer(data.data(), whole.data(), static_cast<int32_t>(data.size()))));
    EXPECT_EQ(packed, whole) << "the tool's image is the one-call packer's";
    run = Tool("unpack " + image + " " + out);
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(Slurp(out), data);
    const std::string hello = dir.Write("hello", Bytes{'h', 'e', 'l', 'l', 'o'});
    ASSERT_EQ(Tool("pack " + hello + " " + dir.File("hello.pk")).status, 0);
    EXPECT_EQ(Slurp(dir.File("hello.pk")), (Bytes{0xFB, 0xFF, 0xFF, 0xFF, 'h', 'e', 'l', 'l', 'o'}));

    packed.resize(packed.size() / 2);
    run = Tool("unpack " + dir.Write("cut.pk", packed) + " " + dir.File("cut.out"));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("damaged image"), std::string::npos) << run.out;
    EXPECT_FALSE(std::filesystem::exists(dir.File("cut.out"))) << "no partial file";
    run = Tool("unpack " + dir.File("missing") + " " + out);
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.out.find("missing: cannot open"), std::string::npos) << run.out;
    EXPECT_EQ(Tool("pack " + in).status, 2);
    run = Tool("pack --help");
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("Usage: bigfile pack [--level L] IN OUT"), std::string::npos) << run.out;
}

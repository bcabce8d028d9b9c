// bigfile pack / unpack on real files.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "PackedStream.h"
#include "temp_dir.h"

namespace {
using Bytes = std::vector<unsigned char>;

struct Outcome {
    int status;
    std::string out;
};

Outcome Tool(const std::string& args) {
    const std::string command = std::string(BIGFILE_TOOL) + " " + args + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    Outcome run{-1, {}};
    if (!pipe) return run;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.out.append(buffer, n);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

Bytes Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
}  // namespace

TEST(PackedTool, PackAndUnpackRoundTrip) {
    TempDir dir;
    Bytes data(700000);
    std::mt19937 rng(9);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(rng() % 5 == 0 ? rng() : i % 251);
    const std::string in = dir.Write("in.bin", data);
    const std::string image = dir.File("in.pk"), out = dir.File("out.bin");
    Outcome run = Tool("pack " + in + " " + image);
    ASSERT_EQ(run.status, 0) << run.out;
    const Bytes packed = Slurp(image);
    // The tool's image is the one-call packer's image.
    PackedStream ps;
    ASSERT_EQ(ps.Init(PACKED_STREAM_VERSION), 0);
    Bytes whole(PackedMaxImageSize(static_cast<int64_t>(data.size())));
    whole.resize(4 + static_cast<size_t>(ps.PackBuffer(data.data(), whole.data(), static_cast<int32_t>(data.size()))));
    EXPECT_EQ(packed, whole);
    run = Tool("unpack " + image + " " + out);
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(Slurp(out), data);

    // Small files are stored; the empty file gives the 4-byte image.
    const std::string hello = dir.Write("hello", Bytes{'h', 'e', 'l', 'l', 'o'});
    ASSERT_EQ(Tool("pack " + hello + " " + dir.File("hello.pk")).status, 0);
    EXPECT_EQ(Slurp(dir.File("hello.pk")), (Bytes{0xFB, 0xFF, 0xFF, 0xFF, 'h', 'e', 'l', 'l', 'o'}));
    const std::string empty = dir.Write("empty", Bytes());
    ASSERT_EQ(Tool("pack " + empty + " " + dir.File("empty.pk")).status, 0);
    EXPECT_EQ(Slurp(dir.File("empty.pk")), Bytes(4, 0));
    ASSERT_EQ(Tool("unpack " + dir.File("empty.pk") + " " + dir.File("empty.out")).status, 0);
    EXPECT_TRUE(Slurp(dir.File("empty.out")).empty());
}

TEST(PackedTool, ErrorsAreClearAndLeaveNoOutput) {
    TempDir dir;
    Bytes data(100000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(i * i >> 7);
    const std::string in = dir.Write("in.bin", data);
    ASSERT_EQ(Tool("pack " + in + " " + dir.File("in.pk")).status, 0);
    Bytes packed = Slurp(dir.File("in.pk"));
    packed.resize(packed.size() / 2);
    const std::string cut = dir.Write("cut.pk", packed);
    Outcome run = Tool("unpack " + cut + " " + dir.File("cut.out"));
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.out.find("damaged image"), std::string::npos) << run.out;
    EXPECT_TRUE(Slurp(dir.File("cut.out")).empty()) << "no partial file";
    run = Tool("unpack " + dir.File("missing") + " " + dir.File("x"));
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.out.find("missing: cannot open"), std::string::npos) << run.out;
    EXPECT_EQ(Tool("pack " + in).status, 2);
    run = Tool("pack --help");
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("Usage: bigfile pack IN OUT"), std::string::npos) << run.out;
    EXPECT_EQ(Tool("unpack --help").status, 0);
}

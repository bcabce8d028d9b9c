// bigfile pack / unpack on real files: the image at each level, and the
// damaged ones.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

#include <orvobf/packed_stream.h>
#include "memory_medium.h"
#include "run_tool.h"
#include "temp_dir.h"

TEST(PackedTool, PackUnpackAtEachLevelAndTheirErrors) {
    TempDir dir;
    Bytes data(700000);
    std::mt19937 rng(9);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(rng() % 5 == 0 ? rng() : i % 251);
    const std::string in = dir.Write("in.bin", data), hello = dir.Write("hello", "hello");
    PackedStream ps;
    ASSERT_EQ(ps.Init(PACKED_STREAM_VERSION), 0);
    for (const std::string level : {"classic", "fast", "best"}) {
        const std::string image = dir.File(level + ".pk"), out = dir.File(level + ".out");
        ASSERT_EQ(Tool("pack --level " + level + " " + in + " " + image).status, 0);
        const Outcome run = Tool("unpack " + image + " " + out);
        ASSERT_EQ(run.status, 0) << run.out;
        EXPECT_TRUE(FileBytes(out) == FileBytes(in)) << level;
    }
    // Classic is the default, and its image the one-call packer's, stored
    // when packing saves nothing.
    ASSERT_EQ(Tool("pack " + in + " " + dir.File("default.pk")).status, 0);
    ASSERT_EQ(Tool("pack " + hello + " " + dir.File("hello.pk")).status, 0);
    const Bytes classic = PackImage(ps, data);
    for (const char* name : {"default.pk", "classic.pk"})
        EXPECT_TRUE(FileBytes(dir.File(name)) == std::string(classic.begin(), classic.end())) << name;
    EXPECT_EQ(FileBytes(dir.File("hello.pk")), std::string("\xFB\xFF\xFF\xFFhello", 9));
    EXPECT_FALSE(FileBytes(dir.File("fast.pk")) == FileBytes(dir.File("classic.pk")));
    EXPECT_LT(FileBytes(dir.File("best.pk")).size(), FileBytes(dir.File("classic.pk")).size());

    const std::string cut = dir.Write("cut.pk", Bytes(classic.begin(), classic.begin() + classic.size() / 2));
    const Outcome run = Tool("unpack " + cut + " " + dir.File("cut.out"));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("damaged image"), std::string::npos) << run.out;
    EXPECT_FALSE(std::filesystem::exists(dir.File("cut.out"))) << "no partial file";
}

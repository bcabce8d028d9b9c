// Seed inputs for the fuzzers, made by our own writer and packer:
// make-fuzz-seeds DIR writes DIR/<target>/... for each fuzz target: archives
// for archive_open, images for packed_unpack, data to pack for pack_levels.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "ArchiveWriter.h"
#include "PackedStream.h"

namespace {
bool Save(const std::filesystem::path& path, const std::vector<unsigned char>& bytes) {
    FILE* out = std::fopen(path.string().c_str(), "wb");
    if (!out) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    return std::fclose(out) == 0 && ok;
}
// pack_levels takes a control byte (bits 7 and 6: repeat the rest past
// 64 KiB)
// and the bytes to pack.
bool PackLevelsSeeds(const std::filesystem::path& dir) {
    std::filesystem::create_directories(dir);
    std::vector<std::vector<unsigned char>> seeds;
    const std::string text = "Packed images: a header word, then literals and matches over a 1024-byte window.\n";
    seeds.push_back({0x00});
    seeds.back().insert(seeds.back().end(), text.begin(), text.end());
    seeds.push_back({0xC1});
    seeds.back().insert(seeds.back().end(), text.begin(), text.end());
    std::vector<unsigned char> mixed = {0x17};
    mixed.insert(mixed.end(), 300, 'a');
    for (int i = 0; i < 1300; ++i) mixed.push_back(static_cast<unsigned char>((i % 256) * (2 * (i / 256) + 1)));
    seeds.push_back(mixed);
    seeds.push_back({0x03, 'a', 'b', 'c'});
    for (size_t i = 0; i < seeds.size(); ++i)
        if (!Save(dir / ("seed" + std::to_string(i) + ".bin"), seeds[i])) return false;
    return true;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-fuzz-seeds DIR\n");
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    std::filesystem::create_directories(dir / "archive_open");
    std::filesystem::create_directories(dir / "packed_unpack");
    std::string error;
    bfw::ArchiveBuilder small;
    bool ok = small.AddFile("d/f", "xyz", &error) && small.Write((dir / "archive_open" / "small.bf").string(), &error);
    bfw::ArchiveBuilder mixed;
    ok = ok && mixed.AddFile("Readme.TXT", "line one\r\nline two\r\n", &error) &&
         mixed.AddFile("a/b/c/deep.bin", std::string(300, 'q'), &error) && mixed.AddDirectory("empty", &error) &&
         mixed.AddFile("a/zero", "", &error) && mixed.Write((dir / "archive_open" / "mixed.bf").string(), &error);
    if (!ok) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    PackedStream stream;
    if (stream.Init(PACKED_STREAM_VERSION) != 0) return 1;
    const std::vector<std::string> texts = {"", "a", std::string(20, 'a'), "abcabcabcabcabcabcabcabc",
                                            std::string(3000, 'z') + "the end"};
    for (size_t i = 0; i < texts.size(); ++i) {
        std::vector<unsigned char> image(static_cast<size_t>(PackedMaxImageSize(static_cast<int64_t>(texts[i].size()))));
        const int32_t body = stream.PackBuffer(reinterpret_cast<const unsigned char*>(texts[i].data()), image.data(),
                                               static_cast<int32_t>(texts[i].size()));
        if (body < 0) return 1;
        image.resize(4 + static_cast<size_t>(body));
        if (!Save(dir / "packed_unpack" / ("seed" + std::to_string(i) + ".img"), image)) return 1;
    }
    return PackLevelsSeeds(dir / "pack_levels") ? 0 : 1;
}

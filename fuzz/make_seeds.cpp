// Seed inputs for the fuzzers, made by our own writer and packer:
// make-fuzz-seeds DIR writes DIR/<target>/... for each fuzz target: archives
// for archive_open, images for packed_unpack, tree descriptions for
// writer_roundtrip.
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
// One record of writer_roundtrip's tree description (see its header).
void Record(std::vector<unsigned char>& out, unsigned kind, unsigned parent, const std::string& name,
            const std::string& contents = "") {
    out.push_back(static_cast<unsigned char>(kind));
    out.push_back(static_cast<unsigned char>(parent));
    out.push_back(static_cast<unsigned char>((kind & 16) ? name.size() - 250 : name.size() - 1));
    out.insert(out.end(), name.begin(), name.end());
    if (kind & 1) {
        out.push_back(static_cast<unsigned char>(contents.size()));
        out.push_back(static_cast<unsigned char>(contents.size() >> 8));
        out.insert(out.end(), contents.begin(), contents.end());
    }
}

bool WriterRoundtripSeeds(const std::filesystem::path& dir) {
    enum : unsigned { kDir = 0, kFile = 1, kStore = 2, kPack = 4, kIfSmaller = 6, kDisk = 8, kLong = 16 };
    const std::string text = "the same line again and again\n";
    std::string repeated;
    for (int i = 0; i < 40; ++i) repeated += text;
    std::vector<unsigned char> tree = {0};
    Record(tree, kDir, 0, "Levels");
    Record(tree, kFile | kPack, 1, "Map.lvl", repeated);
    Record(tree, kFile | kStore | kDisk, 1, "_first", "underscore");
    Record(tree, kFile | kIfSmaller, 0, "ReadMe.TXT", "read me");
    Record(tree, kDir, 1, "act_1");
    Record(tree, kFile | kPack | kDisk, 2, "zero");
    std::vector<unsigned char> names = {2};
    Record(names, kFile, 0, "1:x", "drive");
    Record(names, kFile, 0, "_:y", "drive");
    Record(names, kFile, 0, "Same", "kept");
    Record(names, kFile, 0, "sAME", "refused");
    Record(names, kDir, 0, "same");
    Record(names, kFile | kLong, 0, std::string(255, 'n'), "longest");
    Record(names, kFile | kLong, 0, std::string(256, 'o'), "too long");
    Record(names, kFile, 0, "a:b<c>?", "windows only");
    Record(names, kFile, 0, std::string("n\0ul", 4), "nul");
    Record(names, kDir, 0, "..");
    return Save(dir / "tree.bin", tree) && Save(dir / "names.bin", names);
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
    std::filesystem::create_directories(dir / "writer_roundtrip");
    if (!WriterRoundtripSeeds(dir / "writer_roundtrip")) return 1;
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
    return 0;
}

// Seed inputs for the fuzzers, made by our own writer and packer:
// make-fuzz-seeds DIR writes DIR/<target>/... for each fuzz target: archives
// for archive_open and extract_walk, images for packed_unpack.
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

// Archives the extraction walk must survive: names that would leave the
// root, a packed entry whose image ends early, nesting deeper than the
// directory stack, counts in the header that lie, and a sound tree.
bool ExtractWalkSeeds(const std::filesystem::path& dir, std::string* error) {
    std::filesystem::create_directories(dir);
    const auto write = [&](const char* name, bfw::RawArchive& raw) {
        return raw.WriteTo((dir / name).string(), error);
    };
    bfw::RawArchive unsafe;
    unsafe.Header(1, 6, 32, 0).Block(7).File("..", 1, 0).File("a/b", 1, 0).File("a\\b", 1, 0).File("C:x", 1, 0);
    unsafe.File(".", 1, 0).File("ok", 1, 0).Dir("..").Block(1).File("up", 1, 0);
    unsafe.PatchU32(28, static_cast<uint32_t>(unsafe.size())).Bytes("x");
    bfw::RawArchive cut;  // one literal, then the end marker; 5000 promised
    cut.Header(0, 2, 32, 0).Block(2).File("cut", 5000, 0, 1).File("good", 4, 8);
    cut.PatchU32(28, static_cast<uint32_t>(cut.size())).Bytes(std::string("\x88\x13\0\0\0\0\x80\xB0", 8)).Bytes("GOOD");
    bfw::RawArchive deep;
    deep.Header(300, 1, 32, 0);
    for (int i = 0; i < 300; ++i) deep.Block(1).Dir("d");
    deep.Block(1).File("f", 4, 0).PatchU32(28, static_cast<uint32_t>(deep.size())).Bytes("DEEP");
    bfw::RawArchive lying;  // the header says one file and no folders
    lying.Header(0, 1, 32, 0).Block(3).File("a", 1, 0).File("b", 1, 0).Dir("s").Block(1).File("c", 1, 0);
    lying.PatchU32(28, static_cast<uint32_t>(lying.size())).Bytes("x");
    if (!write("unsafe.bf", unsafe) || !write("cut.bf", cut) || !write("deep.bf", deep) || !write("lying.bf", lying))
        return false;
    bfw::ArchiveBuilder sound;
    return sound.AddFile("A/B/packed.txt", std::string(5000, 'p') + "end", error, bfw::Packing::Pack) &&
           sound.AddFile("A/stored.bin", std::string(3000, '\x7f'), error) && sound.AddDirectory("empty", error) &&
           sound.Write((dir / "sound.bf").string(), error);
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
    ok = ok && ExtractWalkSeeds(dir / "extract_walk", &error);
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

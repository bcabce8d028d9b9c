// Seed inputs for the fuzzers, made by our own writer and packer:
// make-fuzz-seeds DIR writes DIR/<target>/... for each fuzz target: archives
// for archive_open and extract_walk, images for packed_unpack, tree
// descriptions for writer_roundtrip, archives with operations for handle_ops,
// data to pack for pack_levels.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <orvobf/archive_writer.h>
#include "memory_medium.h"
#include "temp_dir.h"

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

// handle_ops input: a 16-bit archive length, the archive, the operations
// (see handle_ops_fuzz.cpp: op % 8 is 0 open ENTRY, 1 read SLOT COUNT16,
// 2 read SLOT COUNT8, 3 seek SLOT HOW DELTA16, 4-6 tell/eof/size SLOT,
// 7 close SLOT; op 0x80 opens in text mode).
bool SaveHandleOps(const std::filesystem::path& path, const std::string& archive,
                   const std::vector<unsigned char>& ops) {
    std::vector<unsigned char> bytes{static_cast<unsigned char>(archive.size()),
                                     static_cast<unsigned char>(archive.size() >> 8)};
    bytes.insert(bytes.end(), archive.begin(), archive.end());
    bytes.insert(bytes.end(), ops.begin(), ops.end());
    return archive.size() < 65536 && Save(path, bytes);
}

bool HandleOpsSeeds(const std::filesystem::path& dir, PackedStream& stream) {
    std::filesystem::create_directories(dir);
    std::string error;
    // dataBase 0: "hdr" starts at the archive's first byte; "tail" is read
    // between its reads, so the shared stream stands elsewhere each time.
    const auto zeroDirectory = [](uint32_t tailAt) {
        return orvobf::writer::RawArchive().Header(0, 2, 32, 0).Block(2).File("hdr", 16, 0).File("tail", 8, tailAt);
    };
    orvobf::writer::RawArchive zero = zeroDirectory(static_cast<uint32_t>(zeroDirectory(0).size()));
    zero.Bytes("TAILDATA");
    const std::vector<unsigned char> zeroOps = {0, 1,       1, 0, 8, 0,  // open tail, read it
                                                0, 0,       1, 1, 16, 0, // open hdr, read it
                                                3, 0, 0, 2, 0,           // seek tail to 2
                                                3, 1, 0, 0, 0,           // seek hdr to 0
                                                1, 0, 2, 0,              // read tail
                                                0, 0,       1, 2, 6, 0,  // open hdr again, read it
                                                4, 1, 5, 2, 6, 0, 7, 0, 2, 1, 3};
    // Packed entries: a sound one, one whose image names another size, one
    // the archive cuts short, and a stored one beside them.
    const std::string text = "a packed entry, a packed entry, a packed entry and its end";
    const Bytes packedImage = PackImage(stream, Bytes(text.begin(), text.end()));
    const std::string image(packedImage.begin(), packedImage.end());
    const auto textSize = static_cast<uint32_t>(text.size()), imageSize = static_cast<uint32_t>(image.size());
    const auto packedDirectory = [&](uint32_t plainAt) {
        const uint32_t imageAt = plainAt + 5, cutAt = imageAt + imageSize;
        return orvobf::writer::RawArchive().Header(0, 4, 32, 0).Block(4).File("cut", textSize, cutAt, imageSize)
            .File("good", textSize, imageAt, imageSize).File("other", 5, imageAt, imageSize).File("plain", 4, plainAt);
    };
    orvobf::writer::RawArchive packed = packedDirectory(static_cast<uint32_t>(packedDirectory(0).size()));
    packed.Bytes("PLAIN").Bytes(image).Bytes(image.substr(0, image.size() / 2));
    const std::vector<unsigned char> packedOps = {0, 0, 0, 1, 0x80, 1, 0, 2, 0, 3,  // open all, "good" in text mode too
                                                  1, 0, 0, 1,       // read 256 of "cut"
                                                  1, 1, 10, 0,      // read "good" in pieces, then the rest
                                                  1, 2, 2, 0, 1, 1, 200, 0,
                                                  3, 1, 0, 5, 0,    // seek "good" back to 5
                                                  2, 1, 3, 3, 1, 1, 0, 0, 2, 1, 1, 3, 1, 6, 0, 0,
                                                  4, 0, 5, 1, 6, 2, 7, 0, 7, 0, 7, 0};
    // Our writer's layout, stored and packed files in a few directories.
    orvobf::writer::ArchiveBuilder builder;
    const std::string builderPath = (dir / "builder.tmp").string();
    bool ok = builder.AddFile("a/one.txt", "one\r\ntwo\r\n", &error, orvobf::writer::Packing::Store) &&
              builder.AddFile("a/b/big.bin", std::string(3000, 'q') + "tail", &error, orvobf::writer::Packing::Pack) &&
              builder.AddFile("a/empty", "", &error, orvobf::writer::Packing::Pack) &&
              builder.AddFile("top", "top of the tree", &error, orvobf::writer::Packing::Store) &&
              builder.Write(builderPath, &error);
    const std::string built = ok ? FileBytes(builderPath) : "";
    std::filesystem::remove(builderPath);
    const std::vector<unsigned char> builtOps = {0, 0, 0, 2, 0, 3,                 // big.bin, one.txt, top
                                                 1, 0, 0, 4, 1, 1, 5, 0, 1, 2, 3, 0,  // a piece of each
                                                 1, 0, 0, 16, 3, 0, 0, 0, 1, 1, 0, 16, 0,
                                                 0, 1, 2, 3, 2,                 // the empty file
                                                 3, 0, 4, 255, 255, 4, 0, 5, 0, 6, 1, 7, 0, 7, 0};
    ok = ok && SaveHandleOps(dir / "position_zero.bin", zero.bytes(), zeroOps) &&
         SaveHandleOps(dir / "packed.bin", packed.bytes(), packedOps) &&
         SaveHandleOps(dir / "builder.bin", built, builtOps);
    if (!ok) std::fprintf(stderr, "handle_ops seeds: %s\n", error.c_str());
    return ok;
}

// Archives the extraction walk must survive: names that would leave the
// root, a packed entry whose image ends early, nesting deeper than the
// directory stack, counts in the header that lie, and a sound tree.
bool ExtractWalkSeeds(const std::filesystem::path& dir, std::string* error) {
    std::filesystem::create_directories(dir);
    const auto write = [&](const char* name, orvobf::writer::RawArchive& raw) {
        return raw.WriteTo((dir / name).string(), error);
    };
    orvobf::writer::RawArchive unsafe;
    unsafe.Header(1, 6, 32, 0).Block(7).File("..", 1, 0).File("a/b", 1, 0).File("a\\b", 1, 0).File("C:x", 1, 0);
    unsafe.File(".", 1, 0).File("ok", 1, 0).Dir("..").Block(1).File("up", 1, 0);
    unsafe.DataBaseHere().Bytes("x");
    orvobf::writer::RawArchive cut;  // one literal, then the end marker; 5000 promised
    cut.Header(0, 2, 32, 0).Block(2).File("cut", 5000, 0, 1).File("good", 4, 8);
    cut.DataBaseHere().Bytes(std::string("\x88\x13\0\0\0\0\x80\xB0", 8)).Bytes("GOOD");
    orvobf::writer::RawArchive deep;
    deep.Header(300, 1, 32, 0).Nested(300, "d").Block(1).File("f", 4, 0).DataBaseHere().Bytes("DEEP");
    orvobf::writer::RawArchive lying;  // the header says one file and no folders
    lying.Header(0, 1, 32, 0).Block(3).File("a", 1, 0).File("b", 1, 0).Dir("s").Block(1).File("c", 1, 0);
    lying.DataBaseHere().Bytes("x");
    if (!write("unsafe.bf", unsafe) || !write("cut.bf", cut) || !write("deep.bf", deep) || !write("lying.bf", lying))
        return false;
    orvobf::writer::ArchiveBuilder sound;
    return sound.AddFile("A/B/packed.txt", std::string(5000, 'p') + "end", error, orvobf::writer::Packing::Pack) &&
           sound.AddFile("A/stored.bin", std::string(3000, '\x7f'), error) && sound.AddDirectory("empty", error) &&
           sound.Write((dir / "sound.bf").string(), error);
}

// pack_levels takes a control byte (bits 7 and 6: repeat the rest past
// 64 KiB) and the bytes to pack.
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
    std::filesystem::create_directories(dir / "writer_roundtrip");
    if (!WriterRoundtripSeeds(dir / "writer_roundtrip")) return 1;
    std::string error;
    orvobf::writer::ArchiveBuilder small;
    bool ok = small.AddFile("d/f", "xyz", &error) && small.Write((dir / "archive_open" / "small.bf").string(), &error);
    orvobf::writer::ArchiveBuilder mixed;
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
    if (!HandleOpsSeeds(dir / "handle_ops", stream)) return 1;
    std::vector<std::string> texts = {"", "a", std::string(20, 'a'), "abcabcabcabcabcabcabcabc",
                                      std::string(3000, 'z') + "the end"};
    // A 1000-byte block over and over: 200 KB from a small image, past a
    // few of a reader's checkpoints.
    std::string block;
    for (unsigned i = 0; i < 1000; ++i) block.push_back(static_cast<char>('a' + (i * 7919u) % 26));
    std::string repeated;
    for (int i = 0; i < 200; ++i) repeated += block;
    texts.push_back(repeated);
    for (size_t i = 0; i < texts.size(); ++i) {
        const Bytes image = PackImage(stream, Bytes(texts[i].begin(), texts[i].end()));
        if (image.empty() || !Save(dir / "packed_unpack" / ("seed" + std::to_string(i) + ".img"), image)) return 1;
    }
    return PackLevelsSeeds(dir / "pack_levels") ? 0 : 1;
}

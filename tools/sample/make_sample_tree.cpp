// make-sample-tree DIR: writes the demo's sample folder tree, the same
// bytes on every run: mixed-case names, nested directories, an empty
// directory, a zero-length file and a few MiB of text and binary data.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

namespace {
namespace fs = std::filesystem;

// xorshift: deterministic data without depending on the C library's rand.
struct Random {
    uint64_t state;
    uint32_t Next() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return static_cast<uint32_t>(state >> 11);
    }
};

bool WriteFile(const fs::path& path, const std::string& bytes) {
    std::FILE* out = std::fopen(path.string().c_str(), "wb");
    if (!out) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    return std::fclose(out) == 0 && ok;
}

std::string Text(Random& rng, size_t size) {
    static const char* const words[] = {"ashen", "throne", "gate", "ember", "keep", "river",
                                        "stone", "banner", "Orvo", "level", "script", "tile"};
    std::string text;
    while (text.size() < size) {
        text += words[rng.Next() % 12];
        text += (rng.Next() % 9 == 0) ? "\r\n" : " ";
    }
    text.resize(size);
    return text;
}

std::string Binary(Random& rng, size_t size, bool compressible) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(compressible ? (i / 64 + (rng.Next() % 4)) : rng.Next());
    return bytes;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "Usage: make-sample-tree DIR\n");
        return 2;
    }
    const fs::path root = argv[1];
    std::error_code ec;
    fs::remove_all(root, ec);
    for (const char* dir : {"Data", "Data/Levels", "Data/Levels/Act_1", "Data/Levels/act_2",
                            "Sounds", "Empty Dir", "Scripts"})
        fs::create_directories(root / dir, ec);
    if (ec) {
        std::fprintf(stderr, "make-sample-tree: %s\n", ec.message().c_str());
        return 1;
    }
    Random rng{0x5eed1234abcdULL};
    const struct {
        const char* path;
        std::string bytes;
    } files[] = {
        {"ReadMe.TXT", Text(rng, 2048)},
        {"zero.len", ""},
        {"Data/palette.pal", Binary(rng, 768, false)},
        {"Data/Levels/Act_1/Map01.lvl", Binary(rng, 1536 * 1024, true)},
        {"Data/Levels/Act_1/map02.LVL", Binary(rng, 700 * 1024 + 13, true)},
        {"Data/Levels/act_2/Boss.lvl", Binary(rng, 1048577, false)},
        {"Sounds/Theme.raw", Binary(rng, 1048576, false)},
        {"Sounds/click.raw", Binary(rng, 17, false)},
        {"Scripts/intro.scr", Text(rng, 40000)},
        {"Scripts/_init.scr", Text(rng, 300)},
    };
    for (const auto& file : files) {
        if (!WriteFile(root / file.path, file.bytes)) {
            std::fprintf(stderr, "make-sample-tree: cannot write %s\n", file.path);
            return 1;
        }
    }
    return 0;
}

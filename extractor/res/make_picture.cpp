// Writes the About box's picture: a 64x64, 8-bit palette BMP of a closed
// archive box with a band and a label, on a blue gradient. Run it to
// regenerate extractor/app/picture.bmp:  make-picture extractor/app/picture.bmp
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {
void Put16(std::vector<uint8_t>& b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& b, uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}
}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    constexpr int kSize = 64;
    // Palette: 0..63 background blues, 64 box brown, 65 dark edge, 66 band,
    // 67 label white, 68 label ink.
    std::vector<uint8_t> palette(256 * 4, 0);
    auto set = [&](int i, uint8_t r, uint8_t g, uint8_t bl) {
        palette[i * 4] = bl;
        palette[i * 4 + 1] = g;
        palette[i * 4 + 2] = r;
    };
    for (int i = 0; i < 64; ++i) set(i, static_cast<uint8_t>(20 + i), static_cast<uint8_t>(40 + i * 2), static_cast<uint8_t>(120 + i * 2));
    set(64, 176, 124, 72);
    set(65, 80, 50, 24);
    set(66, 120, 80, 40);
    set(67, 245, 240, 225);
    set(68, 40, 40, 60);
    std::vector<uint8_t> pixels(kSize * kSize);
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            uint8_t c = static_cast<uint8_t>((x + y) / 2);
            const bool inBox = x >= 10 && x < 54 && y >= 16 && y < 52;
            if (inBox) {
                const bool edge = x == 10 || x == 53 || y == 16 || y == 51 || y == 26;
                c = edge ? 65 : (x >= 29 && x < 35) ? 66 : 64;
                if (x >= 18 && x < 46 && y >= 33 && y < 45) {
                    c = 67;
                    if ((y == 36 || y == 39 || y == 42) && x >= 21 && x < 43 && (x % 5) != 0) c = 68;
                }
            }
            pixels[static_cast<size_t>((kSize - 1 - y) * kSize + x)] = c;  // bottom-up rows
        }
    }
    std::vector<uint8_t> file;
    const uint32_t offset = 14 + 40 + 256 * 4;
    file.push_back('B');
    file.push_back('M');
    Put32(file, offset + kSize * kSize);
    Put32(file, 0);
    Put32(file, offset);
    Put32(file, 40);
    Put32(file, kSize);
    Put32(file, kSize);
    Put16(file, 1);
    Put16(file, 8);
    Put32(file, 0);
    Put32(file, kSize * kSize);
    Put32(file, 2835);
    Put32(file, 2835);
    Put32(file, 256);
    Put32(file, 0);
    file.insert(file.end(), palette.begin(), palette.end());
    file.insert(file.end(), pixels.begin(), pixels.end());
    FILE* out = std::fopen(argv[1], "wb");
    if (!out) return 1;
    const bool ok = std::fwrite(file.data(), 1, file.size(), out) == file.size();
    return std::fclose(out) == 0 && ok ? 0 : 1;
}

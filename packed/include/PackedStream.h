// Packed images: a signed header word (>= 0 packed, total size; < 0
// stored, total size negated) and a body of LZ symbols over a 1024-byte
// window, read from 32-bit little-endian code words, bit 31 first.
#ifndef ORVOBF_PACKED_STREAM_H
#define ORVOBF_PACKED_STREAM_H

#include <cstddef>
#include <cstdint>

constexpr int32_t PACKED_STREAM_VERSION = 10000;
constexpr int32_t PACKED_WINDOW_SIZE = 1024;
constexpr int32_t PACKED_MAX_MATCH = 17;

constexpr int32_t PS_MODE_WRITE = 0;
constexpr int32_t PS_MODE_READ = 1;

constexpr int32_t PS_WRITE_PACKED = 0;
constexpr int32_t PS_READ_PACKED = 1;
constexpr int32_t PS_READ_STORED = 2;
constexpr int32_t PS_WRITE_STORED = 3;

constexpr int32_t PSE_BAD_VERSION = -1;
constexpr int32_t PSE_NO_MEMORY = -2;
constexpr int32_t PSE_NO_CALLBACK = -3;
constexpr int32_t PSE_NOT_READABLE = -4;
constexpr int32_t PSE_NOT_WRITABLE = -5;
constexpr int32_t PSE_BAD_STATE = -6;
constexpr int32_t PSE_BUFFER_TOO_SMALL = -7;
constexpr int32_t PSE_NO_BUFFER = -8;
// The image cannot deliver what is asked: header word -2^31, a body that
// ends (end marker, or no more input) before the total size, or a
// destination too small for it.
constexpr int32_t PSE_DAMAGED = -9;

using PackedBufferProc = unsigned char* (*)(int32_t size, void* user);
using PackedRewindProc = unsigned char* (*)(int32_t offset, void* user);

// Worst-case image size for `count` bytes (every byte a literal).
constexpr int64_t PackedMaxImageSize(int64_t count) {
    return 4 + 4 * ((9 * count) / 32 + 2);
}

class PackedStream {
public:
    PackedStream() = default;
    ~PackedStream();
    PackedStream(const PackedStream&) = delete;
    PackedStream& operator=(const PackedStream&) = delete;

    int32_t Init(int32_t version);
    void Release();

    // Packs `count` bytes into a complete image at `destination`, which
    // must hold PackedMaxImageSize(count) bytes. Returns the bytes written
    // after the header word; count 0 gives the 4-byte empty image.
    int32_t PackBuffer(const unsigned char* source, unsigned char* destination, int32_t count);

    // Classic form: decodes a packed image to its end marker. The
    // destination must hold total + 16 bytes (the last match may run up to
    // 16 bytes past the total); output never goes beyond that. Returns the
    // header word, or PSE_DAMAGED. Reads at most PackedMaxImageSize(total).
    int32_t UnpackBuffer(const unsigned char* image, unsigned char* destination);
    // Bounded form: reads only `imageLength` bytes, writes exactly the
    // total size (stored images too). Returns the total, PSE_DAMAGED or
    // PSE_BUFFER_TOO_SMALL when `capacity` is below the total.
    int32_t UnpackBuffer(const unsigned char* image, size_t imageLength, unsigned char* destination,
                         size_t capacity);

    // |header word|; PSE_DAMAGED for -2^31.
    static int32_t ImageSize(const unsigned char* image);

private:
    unsigned char* window = nullptr;  // 1024 bytes + 16-byte mirror of the start
    struct Node {
        uint32_t parent, child0, child1, spare;
    };
    Node* nodes = nullptr;  // 1025 nodes, node 1024 holds the root
};

#endif

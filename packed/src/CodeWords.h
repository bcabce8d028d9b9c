// Little-endian 32-bit words as images store them, and the decoders'
// wide match copy.
#ifndef ORVOBF_PACKED_CODE_WORDS_H
#define ORVOBF_PACKED_CODE_WORDS_H

#include <cstdint>
#include <cstring>

namespace packed_detail {

inline uint32_t Load32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

inline void Store32(unsigned char* p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

// Copies a match of up to 17 bytes that starts `dist` >= 8 bytes back, in
// whole words: each word reads only bytes already in place. Always stores
// 17 bytes, so the destination needs that much room.
inline void CopyMatch17(unsigned char* d, uint32_t dist) {
    const unsigned char* s = d - dist;
    uint64_t t;
    std::memcpy(&t, s, 8);
    std::memcpy(d, &t, 8);
    std::memcpy(&t, s + 8, 8);
    std::memcpy(d + 8, &t, 8);
    d[16] = s[16];
}

}  // namespace packed_detail

#endif

// Little-endian 32-bit words as images store them.
#ifndef ORVOBF_PACKED_CODE_WORDS_H
#define ORVOBF_PACKED_CODE_WORDS_H

#include <cstdint>

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

}  // namespace packed_detail

#endif

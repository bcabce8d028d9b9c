// Emitting a packed body: symbols into 32-bit little-endian code words,
// most significant bit first, and the finishing words that carry the end
// marker. Every packer writes through this one writer.
#ifndef ORVOBF_PACKED_CODE_WRITER_H
#define ORVOBF_PACKED_CODE_WRITER_H

#include <cstdint>

#include <orvobf/packed_stream.h>

namespace orvobf::packed_detail {

struct CodeWriter {
    uint32_t acc = 0;         // bits of the word being assembled, newest lowest
    int32_t freeBits = 32;    // 32: nothing pending
    int32_t finishWords = 0;  // words Close still owes to the output
    unsigned char* out = nullptr;
    int64_t outLeft = 0;      // room at out; a symbol stores at most one word

    void StoreWord(uint32_t word) {
        out[0] = static_cast<unsigned char>(word);
        out[1] = static_cast<unsigned char>(word >> 8);
        out[2] = static_cast<unsigned char>(word >> 16);
        out[3] = static_cast<unsigned char>(word >> 24);
        out += 4;
        outLeft -= 4;
    }
    void Put(uint32_t value, int32_t width) {
        uint64_t a = (static_cast<uint64_t>(acc) << width) | value;
        freeBits -= width;
        if (freeBits <= 0) {
            StoreWord(static_cast<uint32_t>(a >> -freeBits));
            a &= (uint64_t{1} << -freeBits) - 1;
            freeBits += 32;
        }
        acc = static_cast<uint32_t>(a);
    }
    void Literal(unsigned char byte) { Put(0x100u | byte, 9); }
    // `position` is the absolute ring position of the source, 1..1023.
    void Match(uint32_t position, int32_t length) {
        Put((position << 4) | static_cast<uint32_t>(length - 2), 15);
    }
    // After the last symbol. The end marker lies in the zero bits below the
    // pending ones; with 11 or fewer free a zero word follows.
    void Close() {
        finishWords = freeBits <= 11 ? 2 : 1;
        acc = freeBits == 32 ? 0 : acc << freeBits;
        freeBits = 32;
    }
    // Stores what Close owes while room lasts; true once all is out.
    bool Drain() {
        while (finishWords > 0) {
            if (outLeft <= 0) return false;
            StoreWord(acc);
            acc = 0;
            --finishWords;
        }
        return true;
    }
};

}  // namespace orvobf::packed_detail

#endif

// Packed bodies written by hand, symbol by symbol, for tests that know
// what the image must hold.
#ifndef ORVOBF_TESTS_BIT_WRITER_H
#define ORVOBF_TESTS_BIT_WRITER_H

#include <cstdint>

#include "memory_medium.h"

// Symbols written by hand, most significant bit first into 32-bit
// little-endian words. Image() puts the header word in front and, unless
// told not to, finishes the body as the format requires.
struct BitWriter {
    Bytes out;
    uint64_t acc = 0;
    int pending = 0;
    void Put(uint32_t value, int width) {
        acc = (acc << width) | value;
        pending += width;
        while (pending >= 32) Word(out, static_cast<uint32_t>(acc >> (pending -= 32)));
    }
    void Literal(unsigned char b) { Put(0x100u | b, 9); }
    // A match of `length` bytes (2 to 17) from window position p.
    void Match(uint32_t p, uint32_t length) { Put((p << 4) | (length - 2), 15); }
    static void Word(Bytes& to, uint32_t w) {
        for (int i = 0; i < 4; ++i) to.push_back(static_cast<unsigned char>(w >> (8 * i)));
    }
    Bytes Image(int32_t total, bool finish = true) const {
        Bytes image;
        Word(image, static_cast<uint32_t>(total));
        for (unsigned char c : out) image.push_back(c);
        if (finish) {
            const int free = 32 - pending;
            Word(image, pending ? static_cast<uint32_t>(acc << free) : 0);
            if (free <= 11) Word(image, 0);
        }
        return image;
    }
};

#endif

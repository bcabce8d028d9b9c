// Reading an image piece by piece: the incremental decoder, Read and Seek.
#include <cstring>

#include "PackedStream.h"

namespace {
inline uint32_t Load32(const unsigned char* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    v = __builtin_bswap32(v);
#endif
    return v;
}
}  // namespace

// One decoder run towards requestRemaining bytes, writing them to the
// destination (or, when passing over, only into the window). State lives
// in locals for the run. Stops when the request is met, when the buffer
// has no word left at the start of a symbol, or with *damage set when the
// body cannot deliver the bytes. Returns the bytes produced.
template <bool kToDest>
int32_t PackedStream::DecodeRun(unsigned char* destination, int32_t* damage) {
    unsigned char* const win = window;
    uint32_t acc = accumulator;
    int32_t bits = bitCount;
    uint32_t r = static_cast<uint32_t>(ringPos);
    const unsigned char* in = input;
    int32_t left = bufferLeft;
    const int32_t asked = requestRemaining;
    int32_t want = asked;
    unsigned char* out = destination;
    const bool dry = inputDry != 0;
    *damage = 0;

    const auto copy = [&](uint32_t p, int32_t k) {
        for (int32_t i = 0; i < k; ++i) {
            const unsigned char b = win[p];
            win[r] = b;
            if constexpr (kToDest) *out++ = b;
            p = (p + 1) & 1023;
            r = (r + 1) & 1023;
        }
        return p;
    };

    if (matchLength >= 0) {
        const int32_t n = matchLength + 1;
        const int32_t k = n < want ? n : want;
        matchPosition = static_cast<int32_t>(copy(static_cast<uint32_t>(matchPosition), k));
        want -= k;
        matchLength = n - k - 1;
    }
    while (want > 0) {
        uint32_t next = 0;
        if (left > 0) next = Load32(in);
        else if (!dry) break;
        // Double-width view: the unread bits, then the next word.
        const uint64_t x = (static_cast<uint64_t>(acc) << 32) | (static_cast<uint64_t>(next) << (32 - bits));
        int32_t len;
        if (x >> 63) {
            len = 9;
            if (len >= bits && left == 0) {
                *damage = PSE_DAMAGED;
                break;
            }
            const unsigned char b = static_cast<unsigned char>(x >> 55);
            win[r] = b;
            if constexpr (kToDest) *out++ = b;
            r = (r + 1) & 1023;
            --want;
        } else {
            const uint32_t p = static_cast<uint32_t>(x >> 53) & 1023;
            len = 15;
            // An end marker before the total, or a symbol reaching past
            // the input the medium had.
            if (p == 0 || (len >= bits && left == 0)) {
                *damage = PSE_DAMAGED;
                break;
            }
            const int32_t n = static_cast<int32_t>((x >> 49) & 15) + 2;
            const int32_t k = n < want ? n : want;
            const uint32_t after = copy(p, k);
            want -= k;
            if (k < n) {
                matchLength = n - k - 1;
                matchPosition = static_cast<int32_t>(after);
            }
        }
        if (len >= bits) {
            // Eager load: the word is taken as soon as the current one is used up.
            in += 4;
            left -= 4;
            acc = static_cast<uint32_t>((x << len) >> 32);
            bits += 32 - len;
        } else {
            acc <<= len;
            bits -= len;
        }
    }
    accumulator = acc;
    bitCount = bits;
    ringPos = static_cast<int32_t>(r);
    input = in;
    bufferLeft = left;
    requestRemaining = want;
    return asked - want;
}

// Delivers (or, with a null destination, passes over) count bytes; a
// request beyond the total delivers up to it and reports PSE_DAMAGED.
int32_t PackedStream::ReadOrSkip(unsigned char* destination, int32_t count) {
    bool pastEnd = false;
    int64_t want = count;
    const int64_t available = static_cast<int64_t>(totalSize) - position;
    if (want > available) {
        want = available < 0 ? 0 : available;
        pastEnd = true;
    }
    requestRemaining = static_cast<int32_t>(want);
    while (requestRemaining > 0) {
        if (bufferLeft == 0 && !inputDry) {
            if (!provider) return PSE_NO_CALLBACK;
            const int32_t size = requestRemaining < bufferSize ? (requestRemaining & ~3) + 4 : bufferSize;
            if (!FetchInput(size)) return PSE_NO_BUFFER;
            // Only whole code words count for a packed body.
            if (kind == PS_READ_PACKED) bufferLeft &= ~3;
        }
        if (kind == PS_READ_PACKED) {
            int32_t damage = 0;
            const int32_t n = destination ? DecodeRun<true>(destination, &damage) : DecodeRun<false>(nullptr, &damage);
            position += n;
            if (destination) destination += n;
            if (damage < 0) return damage;
        } else {
            if (bufferLeft == 0) return PSE_DAMAGED;  // the medium ran dry
            const int32_t n = requestRemaining < bufferLeft ? requestRemaining : bufferLeft;
            if (destination) {
                std::memcpy(destination, input, static_cast<size_t>(n));
                destination += n;
            }
            input += n;
            bufferLeft -= n;
            requestRemaining -= n;
            position += n;
        }
    }
    return pastEnd ? PSE_DAMAGED : 0;
}

int32_t PackedStream::Read(unsigned char* destination, int32_t count) {
    if (kind == PS_WRITE_PACKED || kind == PS_WRITE_STORED) return PSE_NOT_READABLE;
    if (!active) return PSE_BAD_STATE;
    if (count < 0) return PSE_NOT_READABLE;
    if (count == 0) return 0;
    return ReadOrSkip(destination, count);
}

int32_t PackedStream::Seek(int32_t offset, int32_t origin) {
    if (kind == PS_WRITE_PACKED || kind == PS_WRITE_STORED) return PSE_NOT_READABLE;
    if (!active) return PSE_BAD_STATE;
    int64_t d;
    switch (origin) {
        case 0: d = static_cast<int64_t>(offset) - position; break;
        case 1: d = offset; break;
        case 2: d = static_cast<int64_t>(totalSize) - offset - position; break;
        default: return position;
    }
    if (d < 0) {
        int64_t target = position + d;
        if (target < 0) target = 0;
        if (!rewinder) return PSE_NO_CALLBACK;
        rewinder(0, user);
        active = 0;
        const int32_t rc = Begin(PS_MODE_READ);
        if (rc < 0) return rc;
        d = target;
    }
    if (d == 0) return position;
    const int32_t rc = ReadOrSkip(nullptr, d > INT32_MAX ? INT32_MAX : static_cast<int32_t>(d));
    return rc < 0 ? rc : position;
}

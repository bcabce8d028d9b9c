// Whole-image decoding. Output history is the destination itself: window
// position p seen from ring position r lies ((r - p - 1) & 1023) + 1 bytes
// back; bytes before the image's start come from the cleared window (0).
#include <cstring>

#include "CodeWords.h"
#include "PackedStream.h"

namespace {

using packed_detail::Load32;

// Decodes from `body` (`words` code words) into dest up to `limit` bytes.
// Stops after `stopAt` bytes when `needMarker` is false, else at the end
// marker (a symbol beginning at or after stopAt other than the marker is
// damage). Returns bytes produced or PSE_DAMAGED.
int64_t Decode(const unsigned char* body, int64_t words, unsigned char* dest, int64_t stopAt, int64_t limit,
               bool needMarker) {
    if (words <= 0) return stopAt == 0 && !needMarker ? 0 : PSE_DAMAGED;
    const unsigned char* in = body + 4;
    const unsigned char* inEnd = body + 4 * words;
    uint32_t acc = Load32(body);
    int32_t bits = 32;
    uint32_t r = 1;
    int64_t o = 0;
    // Fast part: while a whole word of input is left and the next symbol
    // cannot reach stopAt, decode from a 64-bit bit buffer with no end
    // checks (a symbol is at most 15 bits, the buffer holds at least 32).
    {
        uint64_t bb = static_cast<uint64_t>(acc) << 32;
        int32_t nb = 32;
        while (in + 4 <= inEnd && o + PACKED_MAX_MATCH < stopAt) {
            if (nb <= 32) {
                bb |= static_cast<uint64_t>(Load32(in)) << (32 - nb);
                in += 4;
                nb += 32;
            }
            if (bb >> 63) {
                dest[o++] = static_cast<unsigned char>(bb >> 55);
                r = (r + 1) & 1023;
                bb <<= 9;
                nb -= 9;
                continue;
            }
            const uint32_t p = static_cast<uint32_t>(bb >> 53) & 1023;
            if (p == 0) return PSE_DAMAGED;  // end marker before stopAt
            const int64_t n = static_cast<int64_t>((bb >> 49) & 15) + 2;
            bb <<= 15;
            nb -= 15;
            const int64_t dist = ((r - p - 1) & 1023) + 1;
            r = (r + static_cast<uint32_t>(n)) & 1023;
            unsigned char* d = dest + o;
            if (dist >= 8 && dist <= o) {
                // o + 17 < stopAt <= limit: the 17-byte copy stays inside.
                packed_detail::CopyMatch17(d, static_cast<uint32_t>(dist));
            } else {
                for (int64_t i = 0; i < n; ++i) d[i] = o + i >= dist ? d[i - dist] : 0;
            }
            o += n;
        }
        // Back to one word of state: a word loaded but not yet started is
        // handed back to the input.
        if (nb > 32) {
            in -= 4;
            nb -= 32;
        }
        acc = static_cast<uint32_t>(bb >> 32);
        bits = nb;
    }
    for (;;) {
        if (!needMarker && o >= stopAt) return o;
        if (bits == 0) return PSE_DAMAGED;
        // The next word is fetched only when the symbol reaches into it, so
        // a sound body is never read past its last word.
        uint64_t x = static_cast<uint64_t>(acc) << 32;
        bool loaded = false;
        const auto load = [&]() {
            if (!loaded && in < inEnd) {
                x |= static_cast<uint64_t>(Load32(in)) << (32 - bits);
                loaded = true;
            }
            return loaded;
        };
        int32_t len;
        if (x >> 63) {
            len = 9;
            if (len >= bits && !load() && len > bits) return PSE_DAMAGED;
            if (o >= stopAt || o >= limit) return PSE_DAMAGED;
            dest[o++] = static_cast<unsigned char>(x >> 55);
            r = (r + 1) & 1023;
        } else {
            if (11 > bits && !load()) return PSE_DAMAGED;
            const uint32_t p = static_cast<uint32_t>(x >> 53) & 1023;
            if (p == 0) return o >= stopAt ? o : PSE_DAMAGED;
            len = 15;
            if (len >= bits && !load() && len > bits) return PSE_DAMAGED;
            if (o >= stopAt) return PSE_DAMAGED;
            int64_t n = static_cast<int64_t>((x >> 49) & 15) + 2;
            const int64_t dist = ((r - p - 1) & 1023) + 1;
            r = (r + static_cast<uint32_t>(n)) & 1023;
            int64_t end = o + n;
            if (end > limit) end = limit;
            if (dist >= 8 && dist <= o && end + 16 <= limit) {
                packed_detail::CopyMatch17(dest + o, static_cast<uint32_t>(dist));
                o = end;
            } else {
                for (; o < end; ++o) dest[o] = o >= dist ? dest[o - dist] : 0;
            }
            if (!needMarker && o >= stopAt) return stopAt;
            if (o >= limit && o < stopAt) return PSE_DAMAGED;
        }
        acc = static_cast<uint32_t>((x << len) >> 32);
        if (len >= bits) {
            if (loaded) {
                in += 4;
                bits += 32 - len;
            } else {
                bits = 0;
            }
        } else {
            bits -= len;
        }
    }
}

}  // namespace

int32_t PackedStream::UnpackBuffer(const unsigned char* image, unsigned char* destination) {
    const int32_t header = static_cast<int32_t>(Load32(image));
    if (header == INT32_MIN) return PSE_DAMAGED;
    if (header < 0) {
        std::memcpy(destination, image + 4, static_cast<size_t>(-static_cast<int64_t>(header)));
        return header;
    }
    // Nothing to decode: the writer's empty image has no body to read.
    if (header == 0) return 0;
    const int64_t words = (PackedMaxImageSize(header) - 4) / 4;
    const int64_t got = Decode(image + 4, words, destination, header, static_cast<int64_t>(header) + 16, true);
    return got < 0 ? PSE_DAMAGED : header;
}

int32_t PackedStream::UnpackBuffer(const unsigned char* image, size_t imageLength, unsigned char* destination,
                                   size_t capacity) {
    if (imageLength < 4) return PSE_DAMAGED;
    const int32_t header = static_cast<int32_t>(Load32(image));
    if (header == INT32_MIN) return PSE_DAMAGED;
    const int64_t total = header < 0 ? -static_cast<int64_t>(header) : header;
    if (static_cast<uint64_t>(total) > capacity) return PSE_BUFFER_TOO_SMALL;
    const int64_t bodyBytes = static_cast<int64_t>(imageLength) - 4;
    if (header < 0) {
        if (bodyBytes < total) return PSE_DAMAGED;
        std::memcpy(destination, image + 4, static_cast<size_t>(total));
        return static_cast<int32_t>(total);
    }
    const int64_t got = Decode(image + 4, bodyBytes / 4, destination, total, total, false);
    return got == total ? static_cast<int32_t>(total) : PSE_DAMAGED;
}

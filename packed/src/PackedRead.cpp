// Reading an image piece by piece: the incremental decoder, Read and Seek.
#include <cstring>

#include "CodeWords.h"
#include "PackedStream.h"

using packed_detail::Load32;

namespace {
// Takes a decoded symbol's `len` bits off the careful loops' state; `x` is
// the double-width view the symbol was read from.
inline void Consume(uint64_t x, int32_t len, uint32_t& acc, int32_t& bits, const unsigned char*& in,
                    int32_t& left) {
    if (len >= bits && left == 0) {
        // The symbol ended the last word the medium had: what it gave
        // counts; any further symbol is damage.
        acc = 0;
        bits = 0;
    } else if (len >= bits) {
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

// k bytes from `dist` back, byte by byte (the copy may repeat itself);
// sources before this request's output come from the window. Kept out of
// line: the hot loop needs it only near a request's start.
[[gnu::noinline]] void CopyFromWindow(unsigned char* o, const unsigned char* history, const unsigned char* win,
                                      uint32_t r, uint32_t dist, int32_t k) {
    for (int32_t i = 0; i < k; ++i, ++o, r = (r + 1) & 1023)
        *o = static_cast<uint32_t>(o - history) >= dist ? o[-static_cast<ptrdiff_t>(dist)] : win[(r - dist) & 1023];
}
}  // namespace

// One decoder run towards requestRemaining bytes into the destination,
// with the state in locals. Stops when the request is met, when the buffer
// has no word left at the start of a symbol, or with *damage set when the
// body cannot deliver the bytes. Returns the bytes produced.
//
// The bytes this request has produced (from `history` on) are their own
// history: a match whose source lies inside them copies from the
// destination (whole words when it cannot overlap itself), older sources
// come from the window, which ReadOrSkip refreshes when the request ends.
int32_t PackedStream::DecodeRun(unsigned char* destination, const unsigned char* history, int32_t* damage) {
    unsigned char* const win = window;
    uint32_t acc = accumulator;
    int32_t bits = bitCount;
    uint32_t r = static_cast<uint32_t>(ringPos);
    const unsigned char* in = input;
    int32_t left = bufferLeft;
    unsigned char* const start = destination;
    unsigned char* const end = destination + requestRemaining;
    unsigned char* o = destination;
    const bool dry = inputDry != 0;
    *damage = 0;

    // k bytes from `dist` back, one at a time (the copy may repeat itself).
    const auto copySlow = [&](uint32_t dist, int32_t k) {
        CopyFromWindow(o, history, win, r, dist, k);
        o += k;
        r = (r + static_cast<uint32_t>(k)) & 1023;
    };

    if (matchLength >= 0) {
        const int32_t n = matchLength + 1;
        const int32_t k = n < end - o ? n : static_cast<int32_t>(end - o);
        const uint32_t p = static_cast<uint32_t>(matchPosition);
        copySlow(((r - p - 1) & 1023) + 1, k);
        matchLength = n - k - 1;
        matchPosition = static_cast<int32_t>((p + static_cast<uint32_t>(k)) & 1023);
    }
    // Hot loop: a whole match fits before the request's end. The bits sit
    // in a 64-bit buffer topped up a word at a time, so a symbol (at most
    // 15 bits) never needs a check; the accumulator's low bits may already
    // hold the next word's first bits, which the load ORs in again.
    if (end - o >= PACKED_MAX_MATCH) {
        unsigned char* const stop = end - PACKED_MAX_MATCH;
        const unsigned char* const inEnd = in + (left > 0 ? left : 0);
        uint64_t bb = static_cast<uint64_t>(acc) << 32;
        int32_t nb = bits;
        while (o <= stop) {
            if (nb <= 32) {
                if (in == inEnd) break;
                bb |= static_cast<uint64_t>(Load32(in)) << (32 - nb);
                in += 4;
                nb += 32;
            }
            if (bb >> 63) {
                *o++ = static_cast<unsigned char>(bb >> 55);
                r = (r + 1) & 1023;
                bb <<= 9;
                nb -= 9;
                continue;
            }
            const uint32_t p = static_cast<uint32_t>(bb >> 53) & 1023;
            if (p == 0) {
                *damage = PSE_DAMAGED;  // end marker before the total
                break;
            }
            const int32_t n = static_cast<int32_t>((bb >> 49) & 15) + 2;
            bb <<= 15;
            nb -= 15;
            const uint32_t dist = ((r - p - 1) & 1023) + 1;
            if (static_cast<uint32_t>(o - history) < dist) {
                CopyFromWindow(o, history, win, r, dist, n);
            } else if (dist >= 8) {
                packed_detail::CopyMatch17(o, dist);
            } else {
                for (int32_t i = 0; i < n; ++i) o[i] = o[i - static_cast<ptrdiff_t>(dist)];
            }
            o += n;
            r = (r + static_cast<uint32_t>(n)) & 1023;
        }
        // A word loaded but not yet started goes back to the buffer.
        if (nb > 32) {
            in -= 4;
            nb -= 32;
        }
        left = static_cast<int32_t>(inEnd - in);
        acc = static_cast<uint32_t>(bb >> 32);
        bits = nb;
        if (*damage) goto done;
    }
    // Careful loop for the request's last bytes and a medium that ran dry.
    while (o < end) {
        uint32_t next = 0;
        if (left > 0) next = Load32(in);
        else if (!dry) break;
        // Double-width view: the unread bits, then the next word.
        const uint64_t x = (static_cast<uint64_t>(acc) << 32) | (static_cast<uint64_t>(next) << (32 - bits));
        int32_t len;
        if (x >> 63) {
            len = 9;
            if (len > bits && left == 0) {
                *damage = PSE_DAMAGED;
                break;
            }
            *o++ = static_cast<unsigned char>(x >> 55);
            r = (r + 1) & 1023;
        } else {
            const uint32_t p = static_cast<uint32_t>(x >> 53) & 1023;
            len = 15;
            // An end marker before the total, or a symbol reaching past
            // the input the medium had.
            if (p == 0 || (len > bits && left == 0)) {
                *damage = PSE_DAMAGED;
                break;
            }
            const int32_t n = static_cast<int32_t>((x >> 49) & 15) + 2;
            const uint32_t dist = ((r - p - 1) & 1023) + 1;
            if (dist >= 8 && static_cast<uint32_t>(o - history) >= dist && end - o >= PACKED_MAX_MATCH) {
                // Up to 17 bytes are stored, n count.
                packed_detail::CopyMatch17(o, dist);
                o += n;
                r = (r + static_cast<uint32_t>(n)) & 1023;
            } else {
                const int32_t k = n < end - o ? n : static_cast<int32_t>(end - o);
                copySlow(dist, k);
                if (k < n) {
                    matchLength = n - k - 1;
                    matchPosition = static_cast<int32_t>((p + static_cast<uint32_t>(k)) & 1023);
                }
            }
        }
        Consume(x, len, acc, bits, in, left);
    }
done:
    accumulator = acc;
    bitCount = bits;
    ringPos = static_cast<int32_t>(r);
    input = in;
    bufferLeft = left;
    requestRemaining = static_cast<int32_t>(end - o);
    return static_cast<int32_t>(o - start);
}

// The window takes the last 1024 bytes a request delivered (from `first`
// up to `end`), at their ring positions: the next request's history.
void PackedStream::KeepHistory(const unsigned char* first, const unsigned char* end) {
    const size_t produced = static_cast<size_t>(end - first);
    const uint32_t keep = produced < 1024 ? static_cast<uint32_t>(produced) : 1024;
    const uint32_t r = static_cast<uint32_t>(ringPos);
    const uint32_t from = (r - keep) & 1023;
    const uint32_t head = keep < 1024 - from ? keep : 1024 - from;
    std::memcpy(window + from, end - keep, head);
    std::memcpy(window, end - keep + head, keep - head);
}

// A decoder run that passes over requestRemaining bytes, producing them
// only into the window.
int32_t PackedStream::SkipRun(int32_t* damage) {
    unsigned char* const win = window;
    uint32_t acc = accumulator;
    int32_t bits = bitCount;
    uint32_t r = static_cast<uint32_t>(ringPos);
    const unsigned char* in = input;
    int32_t left = bufferLeft;
    const int32_t asked = requestRemaining;
    int32_t want = asked;
    const bool dry = inputDry != 0;
    *damage = 0;

    const auto copy = [&](uint32_t p, int32_t k) {
        for (int32_t i = 0; i < k; ++i) {
            const unsigned char b = win[p];
            win[r] = b;
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
            if (len > bits && left == 0) {
                *damage = PSE_DAMAGED;
                break;
            }
            const unsigned char b = static_cast<unsigned char>(x >> 55);
            win[r] = b;
            r = (r + 1) & 1023;
            --want;
        } else {
            const uint32_t p = static_cast<uint32_t>(x >> 53) & 1023;
            len = 15;
            // An end marker before the total, or a symbol reaching past
            // the input the medium had.
            if (p == 0 || (len > bits && left == 0)) {
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
        Consume(x, len, acc, bits, in, left);
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
    // Everything this request delivers is match history for its later runs.
    const unsigned char* const first = destination;
    bool pastEnd = false;
    int64_t want = count;
    const int64_t available = static_cast<int64_t>(totalSize) - position;
    if (want > available) {
        want = available < 0 ? 0 : available;
        pastEnd = true;
    }
    requestRemaining = static_cast<int32_t>(want);
    int32_t rc = 0;
    while (requestRemaining > 0) {
        if (bufferLeft == 0 && !inputDry) {
            if (!provider) {
                rc = PSE_NO_CALLBACK;
                break;
            }
            const int32_t size = requestRemaining < bufferSize ? (requestRemaining & ~3) + 4 : bufferSize;
            if (!FetchInput(size)) {
                rc = PSE_NO_BUFFER;
                break;
            }
            // Only whole code words count for a packed body.
            if (kind == PS_READ_PACKED) bufferLeft &= ~3;
        }
        if (kind == PS_READ_PACKED) {
            int32_t damage = 0;
            const int32_t n = destination ? DecodeRun(destination, first, &damage) : SkipRun(&damage);
            position += n;
            if (destination) destination += n;
            if (damage < 0) {
                rc = damage;
                break;
            }
        } else {
            if (bufferLeft == 0) {
                rc = PSE_DAMAGED;  // the medium ran dry
                break;
            }
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
    // Skipping decodes into the window itself.
    if (kind == PS_READ_PACKED && destination) KeepHistory(first, destination);
    if (rc < 0) return rc;
    return pastEnd ? PSE_DAMAGED : 0;
}

int32_t PackedStream::Read(unsigned char* destination, int32_t count) {
    if (kind == PS_WRITE_PACKED || kind == PS_WRITE_STORED) return PSE_NOT_READABLE;
    if (!active) return PSE_BAD_STATE;
    if (count < 0) return PSE_NOT_READABLE;
    if (count == 0) return 0;
    if (!destination) return PSE_NOT_READABLE;
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

// The one symbol decoder behind both UnpackBuffer forms, Read and Seek. A
// run decodes the code words at hand with its state in locals; two choices
// made at compile time shape it:
//  - Sink::Flat writes the bytes to a flat buffer that is also their match
//    history (sources before its start come from a 1024-byte ring: the
//    stream's window, or zeros before an image's first byte); Sink::Window
//    writes them only into the window at r, which is how Seek passes over
//    bytes without handing them to anyone.
//  - Until::Count stops after exactly `count` bytes and holds a match cut
//    there for the next run; Until::Marker runs to the end marker, which
//    must come at or after `count` bytes (the last match may run up to 16
//    bytes past it).
// Reads stay inside the words at hand and writes inside the flat buffer's
// bound (count, or count + 16 for Marker), whatever the bits say.
#ifndef ORVOBF_PACKED_DECODER_H
#define ORVOBF_PACKED_DECODER_H

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "code_words.h"
#include <orvobf/packed_stream.h>

namespace orvobf::packed_detail {

enum class Sink { Flat, Window };
enum class Until { Count, Marker };
enum class RunEnd { Done, NeedInput, Damaged };

// The history before an image's first byte.
extern const unsigned char kZeroRing[PACKED_WINDOW_SIZE];

// Byte b at bytes[8 * b], then seven zeros: the source of the fast loop's
// copy for a literal (two more words for the copy's overrun).
struct LiteralWords {
    unsigned char bytes[8 * 258];
};
extern const LiteralWords kLiteralWords;

// Where a run starts and, after it, where the next one does.
struct DecodeState {
    uint32_t acc = 0;   // unread bits from bit 31 down (lower bits may repeat the next word's)
    int32_t bits = 0;   // how many, 0 to 32; the next word is taken as soon as they are used up
    const unsigned char* inStart = nullptr;  // first of the words at hand
    const unsigned char* in = nullptr;       // the next word, not yet in acc
    const unsigned char* inEnd = nullptr;    // end of the whole words at hand
    bool dry = true;    // no words after inEnd: a symbol reaching past them is damage
    uint32_t r = 1;
    int32_t held = 0;       // bytes of a match the last run cut, still to copy
    uint32_t heldFrom = 0;  // its next source position
};

template <Sink sink>
struct Out;
template <>
struct Out<Sink::Flat> {
    unsigned char* base;         // bytes go to base[o]; base[0..o) is history
    const unsigned char* older;  // the 1024 bytes before base[0], at their ring positions
};
template <>
struct Out<Sink::Window> {
    unsigned char* ring;
};

// The state at a body's first word, with `words` code words in memory.
inline DecodeState BodyState(const unsigned char* body, int64_t words) {
    DecodeState s;
    s.inStart = body;
    s.in = body;
    s.inEnd = body + 4 * (words > 0 ? words : 0);
    if (words > 0) {
        s.acc = LoadU32(body);
        s.bits = 32;
        s.in += 4;
    }
    return s;
}

// k bytes from `dist` back, one at a time (the copy may repeat itself);
// sources before base[0] come from the ring, r being o's ring position.
// Out of line: the fast loop needs it only for short distances and near
// the flat buffer's start.
[[gnu::noinline]] inline void CopyBack(unsigned char* base, size_t o, size_t k, uint32_t dist,
                                       const unsigned char* older, uint32_t r) {
    for (size_t i = 0; i < k; ++i, ++o, r = (r + 1) & 1023)
        base[o] = o >= dist ? base[o - dist] : older[(r - dist) & 1023];
}

// Three words from src to dst, each read after the one before is stored:
// a match of up to 17 bytes from at least 8 back. Writes kCopyWidth bytes.
constexpr size_t kCopyWidth = 24;
inline void CopyWords(unsigned char* dst, const unsigned char* src) {
    uint64_t t;
    std::memcpy(&t, src, 8);
    std::memcpy(dst, &t, 8);
    std::memcpy(&t, src + 8, 8);
    std::memcpy(dst + 8, &t, 8);
    std::memcpy(&t, src + 16, 8);
    std::memcpy(dst + 16, &t, 8);
}

// k bytes inside the window, from position `from` to r, one at a time.
inline void RingCopy(unsigned char* ring, uint32_t from, uint32_t r, size_t k) {
    for (size_t i = 0; i < k; ++i, from = (from + 1) & 1023, r = (r + 1) & 1023) ring[r] = ring[from];
}

// Hides a value from the optimizer, so that selections made with it as a
// mask stay arithmetic: a compiler that knew it is 0 or all ones would
// branch on it, which is what the fast loop avoids.
inline uintptr_t Opaque(uintptr_t x) {
#if defined(__GNUC__)
    __asm__("" : "+r"(x));
#endif
    return x;
}

// 64 bits of the body from bit `off` (below 32) of the word at wp: three
// words read, the first two at once (on a little-endian host the pair's
// first word is its low half).
inline uint64_t BitsAt(const unsigned char* wp, uint32_t off) {
    static_assert(std::endian::native == std::endian::little);
    uint64_t pair;
    std::memcpy(&pair, wp, 8);
    const uint64_t third = LoadU32(wp + 8);
    return std::rotl(pair, 32) << off | (third << off) >> 32;
}

// The fast loop: symbols straight from 64-bit reads at the bit position
// (word wp, bit off), four per read while o < stop4, then one per read
// while o < stop1; only while wp <= wpLast. Returns true at an end marker,
// which it does not take.
//
// Into a flat buffer, literal or match is not a branch: both are one copy
// of three words, from the history for a match, from a table entry
// holding the byte for a literal, and the lengths are chosen by masks. One
// rarely taken branch catches the end marker, a source the copy's words
// would overlap, and within the flat buffer's first 1024 bytes a source
// before its start. Into the window, where Seek passes over bytes, it
// branches.
template <Sink sink>
[[gnu::always_inline]] inline bool FastLoop(const Out<sink>& out, size_t& o, uint32_t& r,
                                            const unsigned char*& wp, uint32_t& off,
                                            const unsigned char* wpLast, size_t stop4, size_t stop1) {
    uint64_t bb = 0;
    bool marker = false;
    if constexpr (sink == Sink::Flat) {
        unsigned char* const base = out.base;
        unsigned char* op = base + o;
        // The ring position less one at op is (op + ringAt) mod 1024, so a
        // match's distance less one is (that - p) mod 1024.
        const uintptr_t ringAt = (r - 1) - reinterpret_cast<uintptr_t>(op);
        // Literal entries: (bb >> 55) is 256 + the byte.
        const uintptr_t literals = reinterpret_cast<uintptr_t>(kLiteralWords.bytes) - 8 * 256;
        // o - 7 is here - base7.
        const uintptr_t base7 = reinterpret_cast<uintptr_t>(base) + 7;
        const auto step = [&](auto nearStart) __attribute__((always_inline)) -> bool {
            const uintptr_t keep = Opaque(static_cast<uintptr_t>(bb >> 63) - 1);  // all ones for a match
            const auto head = static_cast<uint32_t>(bb >> 53);                     // flag, then p
            const auto here = reinterpret_cast<uintptr_t>(op);
            const auto back = static_cast<uint32_t>(here + ringAt - head) & 1023;  // distance less one
            const auto more = (static_cast<uint32_t>(bb >> 49) & 15) + 1;          // match length less one
            bool odd;
            if constexpr (decltype(nearStart)::value) {
                // One compare for both: a match's distance less one must
                // lie in [7, o); a literal's masked to 0 passes once o > 7.
                const auto usable = static_cast<uint32_t>(back - 7) & static_cast<uint32_t>(keep);
                odd = static_cast<intptr_t>(usable) >= static_cast<intptr_t>(here - base7);
            } else {
                odd = back < 7;
            }
            if (head == 0 || odd) [[unlikely]] {
                if (head == 0) return false;
                if (!keep) {  // a literal whose unused bits looked odd
                    *op++ = static_cast<unsigned char>(bb >> 55);
                    bb <<= 9;
                    off += 9;
                    return true;
                }
                CopyBack(base, static_cast<size_t>(op - base), more + 1, back + 1, out.older,
                         static_cast<uint32_t>(here + ringAt + 1) & 1023);
            } else {
                // The source picked by masking addresses: a compiler would
                // branch on a conditional expression here.
                const uintptr_t literal = literals + 8 * static_cast<uintptr_t>(bb >> 55);
                const uintptr_t match = here - 1 - back;
                CopyWords(op, reinterpret_cast<const unsigned char*>(literal ^ ((literal ^ match) & keep)));
            }
            op += 1 + (more & keep);
            const auto len = 9 + (6 & static_cast<uint32_t>(keep));
            bb <<= len;
            off += len;
            return true;
        };
        const auto loop = [&](auto nearStart, auto four, size_t stop) __attribute__((always_inline)) {
            unsigned char* const last = base + stop;
            while (op < last && wp <= wpLast) {
                bb = BitsAt(wp, off);
                bool taken = step(nearStart);
                if constexpr (decltype(four)::value) taken = taken && step(nearStart) && step(nearStart) && step(nearStart);
                if (!taken) {
                    marker = true;
                    return;
                }
                wp += 4 * (off >> 5);
                off &= 31;
            }
        };
        // Every source lies inside the flat buffer from its 1024th byte on.
        constexpr size_t kNear = PACKED_WINDOW_SIZE;
        if (o < kNear) loop(std::true_type{}, std::true_type{}, stop4 < kNear ? stop4 : kNear);
        if (!marker) loop(std::false_type{}, std::true_type{}, stop4);
        if (!marker && static_cast<size_t>(op - base) < kNear)
            loop(std::true_type{}, std::false_type{}, stop1 < kNear ? stop1 : kNear);
        if (!marker) loop(std::false_type{}, std::false_type{}, stop1);
        o = static_cast<size_t>(op - base);
        r = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(op) + ringAt + 1) & 1023;
    } else {
        (void)stop1;
        while (!marker && o < stop4 && wp <= wpLast) {
            bb = BitsAt(wp, off);
            for (int i = 0; i < 4; ++i) {
                if (bb >> 63) {
                    out.ring[r] = static_cast<unsigned char>(bb >> 55);
                    ++o;
                    r = (r + 1) & 1023;
                    bb <<= 9;
                    off += 9;
                    continue;
                }
                const auto p = static_cast<uint32_t>(bb >> 53);
                if (p == 0) {
                    marker = true;
                    break;
                }
                const uint32_t n = (static_cast<uint32_t>(bb >> 49) & 15) + 2;
                RingCopy(out.ring, p, r, n);
                o += n;
                r = (r + n) & 1023;
                bb <<= 15;
                off += 15;
            }
            wp += 4 * (off >> 5);
            off &= 31;
        }
    }
    wp += 4 * (off >> 5);
    off &= 31;
    return marker;
}

// One run from the state's position: until `count` bytes (Count), the end
// marker (Marker), damage, or (input not dry) a symbol start with no word
// at hand after the current one. `pos` is the output index, in and out.
template <Sink sink, Until until>
RunEnd DecodeSymbols(DecodeState& s, const Out<sink>& out, size_t& pos, size_t count) {
    constexpr bool toMarker = until == Until::Marker;
    // Bytes the run may write: the marker form's last match runs past count.
    const size_t limit = toMarker ? count + 16 : count;
    uint32_t acc = s.acc;
    int32_t bits = s.bits;
    const unsigned char* in = s.in;
    const unsigned char* const inEnd = s.inEnd;
    uint32_t r = s.r;
    size_t o = pos;
    RunEnd result = RunEnd::Done;

    if constexpr (!toMarker) {
        if (s.held > 0) {
            const size_t k = static_cast<size_t>(s.held) < count - o ? static_cast<size_t>(s.held) : count - o;
            if constexpr (sink == Sink::Flat)
                CopyBack(out.base, o, k, ((r - s.heldFrom - 1) & 1023) + 1, out.older, r);
            else
                RingCopy(out.ring, s.heldFrom, r, k);
            o += k;
            r = (r + static_cast<uint32_t>(k)) & 1023;
            s.held -= static_cast<int32_t>(k);
            s.heldFrom = (s.heldFrom + static_cast<uint32_t>(k)) & 1023;
        }
    }

    // Room the fast loop needs before the limit: for four whole matches
    // and the last copy's overrun, or for one copy. The marker form keeps
    // 52 bytes before the total besides: a sound body then still holds the
    // three words a read takes.
    constexpr size_t kRoom4 = 3 * PACKED_MAX_MATCH + kCopyWidth;
    constexpr size_t kRoom1 = toMarker ? 52 + 16 : kCopyWidth;
    while (result == RunEnd::Done) {
        // The fast loop, while the room allows, the current word is among
        // the words at hand (after a new buffer only once careful steps
        // reach the next one) and three more are (so no symbol there starts
        // where a careful step would find the input used up).
        if (limit >= kRoom1 && o <= limit - kRoom1 && in - s.inStart >= 4 && inEnd - in >= 12) {
            const unsigned char* wp = in - 4;
            auto off = static_cast<uint32_t>(32 - bits);
            const size_t stop4 = limit >= kRoom4 ? limit - kRoom4 + 1 : 0;
            const bool marker = FastLoop<sink>(out, o, r, wp, off, inEnd - 16, stop4, limit - kRoom1 + 1);
            in = wp + 4;
            bits = 32 - static_cast<int32_t>(off);
            acc = LoadU32(wp) << off;
            if (marker) {
                result = RunEnd::Damaged;  // end marker before the total
                break;
            }
        }

        // Careful step: one symbol, every bound checked; the next word is
        // read only when the symbol reaches into it.
        if (!toMarker && o >= count) break;
        if (in == inEnd && !s.dry) {
            result = RunEnd::NeedInput;
            break;
        }
        uint64_t x = static_cast<uint64_t>(acc) << 32;
        bool loaded = false;
        // Makes `len` bits visible, taking the next word when they reach
        // into it or (eager) end exactly where the current one ends.
        const auto reach = [&](int32_t len, bool eager) {
            if ((bits < len || (eager && bits == len)) && !loaded && in != inEnd) {
                x |= static_cast<uint64_t>(LoadU32(in)) << (32 - bits);
                loaded = true;
            }
            return bits + (loaded ? 32 : 0) >= len;
        };
        int32_t len;
        if (!reach(1, false)) {
            result = RunEnd::Damaged;
            break;
        }
        if (x >> 63) {
            len = 9;
            if (!reach(len, true) || (toMarker && o >= count)) {
                result = RunEnd::Damaged;
                break;
            }
            const auto b = static_cast<unsigned char>(x >> 55);
            if constexpr (sink == Sink::Flat) out.base[o] = b;
            else out.ring[r] = b;
            ++o;
            r = (r + 1) & 1023;
        } else {
            if (!reach(11, false)) {
                result = RunEnd::Damaged;
                break;
            }
            const auto p = static_cast<uint32_t>(x >> 53) & 1023;
            if (p == 0) {
                result = toMarker && o >= count ? RunEnd::Done : RunEnd::Damaged;
                break;
            }
            len = 15;
            if (!reach(len, true) || (toMarker && o >= count)) {
                result = RunEnd::Damaged;
                break;
            }
            const size_t n = static_cast<size_t>((x >> 49) & 15) + 2;
            const size_t k = toMarker || n <= count - o ? n : count - o;
            if constexpr (sink == Sink::Flat) {
                const uint32_t dist = ((r - p - 1) & 1023) + 1;
                if (dist >= 8 && dist <= o && limit - o >= kCopyWidth)
                    CopyWords(out.base + o, out.base + (o - dist));
                else
                    CopyBack(out.base, o, k, dist, out.older, r);
            } else {
                RingCopy(out.ring, p, r, k);
            }
            if (k < n) {
                s.held = static_cast<int32_t>(n - k);
                s.heldFrom = (p + static_cast<uint32_t>(k)) & 1023;
            }
            o += k;
            r = (r + static_cast<uint32_t>(k)) & 1023;
        }
        acc = static_cast<uint32_t>((x << len) >> 32);
        if (len < bits) {
            bits -= len;
        } else if (loaded) {
            in += 4;
            bits += 32 - len;
        } else {
            // The symbol used up the last word there is.
            acc = 0;
            bits = 0;
        }
    }
    s.acc = acc;
    s.bits = bits;
    s.in = in;
    s.r = r;
    pos = o;
    return result;
}

}  // namespace orvobf::packed_detail

#endif

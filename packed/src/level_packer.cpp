// Match search over hash chains, the greedy parse of the fast level and
// the cheapest parse of the best level.
#include "level_packer.h"

#include <bit>
#include <cstring>

namespace orvobf::packed_detail {

// The hash reads three bytes with one load, and the compares find the
// first differing byte from the lowest bits: the same images on every
// machine take little-endian loads.
static_assert(std::endian::native == std::endian::little);

namespace {

constexpr uint32_t kMaxDistance = PACKED_WINDOW_SIZE;  // the byte the next one overwrites
// Candidates of a 3-byte chain looked at per position: few for speed;
// for the best level, about all that a window of text holds.
constexpr int kFastDepth = 4;
constexpr int kBestDepth = 32;

inline uint32_t Load16(const unsigned char* p) { return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8; }

inline uint32_t Hash3(const unsigned char* p, uint32_t avail) {
    uint32_t v;
    if (avail >= 4) {
        std::memcpy(&v, p, 4);
        v <<= 8;  // the first three bytes, little-endian
    } else {
        v = static_cast<uint32_t>(p[0]) << 8 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 24;
    }
    return (v * 0x9E3779B1u) >> (32 - LevelPacker::kHashBits);
}

// Equal leading bytes of a and b, at most cap (17 unless the block ends
// sooner; 17 bytes from a are then readable).
inline uint32_t Common(const unsigned char* a, const unsigned char* b, uint32_t cap) {
    if (cap == PACKED_MAX_MATCH) {
        for (uint32_t k = 0; k < 16; k += 8) {
            uint64_t x, y;
            std::memcpy(&x, a + k, 8);
            std::memcpy(&y, b + k, 8);
            if (x != y) return k + (static_cast<uint32_t>(__builtin_ctzll(x ^ y)) >> 3);
        }
        return a[16] == b[16] ? 17 : 16;
    }
    uint32_t k = 0;
    while (k < cap && a[k] == b[k]) ++k;
    return k;
}

struct Found {
    uint32_t length;    // below 2: none
    uint32_t distance;  // 1 .. 1024 back
};

}  // namespace

void LevelPacker::StartImage() {
    // Room for a whole image's stamps without wrapping, else a clean start.
    uint64_t next = ((uint64_t{extent} + kMaxDistance - 1) & ~uint64_t{kMaxDistance - 1}) + 2 * kMaxDistance;
    if (next + INT32_MAX > UINT32_MAX) {
        std::memset(head3, 0, sizeof head3);
        std::memset(head2, 0, sizeof head2);
        next = 2 * kMaxDistance;
    }
    base = static_cast<uint32_t>(next);
    extent = base;
    blockStart = 0;
    blockFill = 0;
    stageBegin = 0;
    stageEnd = 0;
    bits = CodeWriter{};
}

namespace {

// The search state of one block, with the tables of its packer. Positions
// with 17 bytes or more left in the block take the plain path; the last
// 16 (kTail) cap matches and hashes at the block's end.
struct Searcher {
    LevelPacker& lp;
    const unsigned char* data;
    uint32_t stamp0;  // stamp of data[0]
    uint32_t length;

    template <bool kTail>
    uint32_t Hash(uint32_t i) const {
        return !kTail || length - i >= 3 ? Hash3(data + i, kTail ? length - i : 4) : 0;
    }

    // Enters position i, whose 3-byte hash is h, into the tables; every
    // search from i on must follow the search at i.
    template <bool kTail>
    void Insert(uint32_t i, uint32_t h) {
        const uint32_t stamp = stamp0 + i;
        // Ring position (i + 1) mod 1024 = 0 cannot be named; stamps keep
        // positions' residues.
        if ((stamp & (kMaxDistance - 1)) == kMaxDistance - 1) return;
        const uint32_t avail = length - i;
        const unsigned char* p = data + i;
        if (!kTail || avail >= 3) {
            lp.chain[stamp & (kMaxDistance - 1)] = lp.head3[h];
            lp.head3[h] = stamp;
        }
        if (!kTail || avail >= 2) lp.head2[Load16(p)] = stamp;
    }
    void Insert(uint32_t i) {
        if (i + PACKED_MAX_MATCH <= length) {
            Insert<false>(i, Hash<false>(i));
        } else {
            Insert<true>(i, Hash<true>(i));
        }
    }

    // The longest match at position i, which it then enters: at `hint`
    // bytes back (0: none; the previous match's distance, which a run of
    // repeats keeps), else among `depth` candidates of its 3-byte chain,
    // or failing those the latest pair of its first 2 bytes. Every entry
    // of a chain names a nameable, older position, and the chain runs from
    // new to old, so the first one out of reach ends it.
    template <bool kTail>
    [[gnu::always_inline]] Found SearchInsert(uint32_t i, int depth, uint32_t hint) {
        const uint32_t avail = length - i;
        const uint32_t cap = kTail && avail < PACKED_MAX_MATCH ? avail : PACKED_MAX_MATCH;
        const unsigned char* p = data + i;
        const uint32_t stamp = stamp0 + i;
        const uint32_t h = Hash<kTail>(i);
        Found best{1, 0};
        if (hint != 0 && ((stamp - hint) & (kMaxDistance - 1)) != kMaxDistance - 1) {
            const uint32_t k = Common(p, p - hint, cap);
            if (k >= 2) best = {k, hint};
        }
        if ((!kTail || cap >= 3) && best.length < cap) {
            uint32_t q = lp.head3[h];
            for (int n = depth; n > 0; --n) {
                const uint32_t d = stamp - q;
                if (d - 1 >= kMaxDistance) break;
                const unsigned char* c = p - d;
                if (c[best.length] == p[best.length]) {
                    const uint32_t k = Common(p, c, cap);
                    if (k > best.length) {
                        best = {k, d};
                        if (k == cap) break;
                    }
                }
                q = lp.chain[q & (kMaxDistance - 1)];
            }
        }
        if (best.length < 2 && (!kTail || cap >= 2)) {
            const uint32_t d = stamp - lp.head2[Load16(p)];
            if (d - 1 < kMaxDistance) best = {Common(p, p - d, cap), d};
        }
        Insert<kTail>(i, h);
        return best;
    }
};

// Ring position of the source `distance` back from input position o.
inline uint32_t Source(uint32_t o, uint32_t distance) { return (o + 1 - distance) & (kMaxDistance - 1); }

}  // namespace

void LevelPacker::EncodeFast(const unsigned char* data, uint32_t start, uint32_t length, CodeWriter& w) {
    Searcher s{*this, data, base + start, length};
    const uint32_t plain = length >= PACKED_MAX_MATCH ? length - (PACKED_MAX_MATCH - 1) : 0;
    uint32_t hint = 0;
    for (uint32_t i = 0; i < length;) {
        const Found f = i < plain ? s.SearchInsert<false>(i, kFastDepth, hint) : s.SearchInsert<true>(i, kFastDepth, hint);
        if (f.length >= 2) {
            hint = f.distance;
            w.Match(Source(start + i, f.distance), static_cast<int32_t>(f.length));
            for (uint32_t k = 1; k < f.length; ++k) s.Insert(i + k);
            i += f.length;
        } else {
            w.Literal(data[i]);
            ++i;
        }
    }
}

// Symbols cost 9 bits (literal) or 15 (match of 2 to 17 bytes) whatever
// they hold, and every prefix of 2 or more bytes of a match is a match, so
// the cheapest cover of the block over the longest match at each position
// is the cheapest one there is.
void LevelPacker::EncodeBest(const unsigned char* data, uint32_t start, uint32_t length, CodeWriter& w) {
    Searcher s{*this, data, base + start, length};
    const uint32_t plain = length >= PACKED_MAX_MATCH ? length - (PACKED_MAX_MATCH - 1) : 0;
    uint32_t hint = 0;
    const auto note = [&](uint32_t i, Found f) {
        hint = f.length >= 2 ? f.distance : 0;
        longest[i] = f.length >= 2 ? static_cast<uint16_t>((f.distance - 1) << 5 | f.length) : 0;
    };
    uint32_t i = 0;
    for (; i < plain; ++i) note(i, s.SearchInsert<false>(i, kBestDepth, hint));
    for (; i < length; ++i) note(i, s.SearchInsert<true>(i, kBestDepth, hint));
    // Right to left, the cheapest cover of the rest of the block: a literal
    // and the cover after it, or a match and the cheapest cover after any
    // of its 2 to 17 byte prefixes. Those minima come from a table of
    // minima over 1, 2, 4, 8 and 16 positions, kept for the last 32
    // positions only. Keys order by cost and then by position downwards,
    // so among equal costs the longest match wins (fewer symbols to
    // decode).
    uint64_t runMin[5][32];
    std::memset(runMin, 0xFF, sizeof runMin);  // beyond the block: no cover
    const auto enter = [&runMin](uint32_t j, uint32_t bits) {
        uint64_t m = uint64_t{bits} << 17 | (0x1FFFFu - j);
        const auto widen = [&](uint32_t k) {
            const uint64_t b = runMin[k - 1][(j + (1u << (k - 1))) & 31];
            m = m < b ? m : b;
            runMin[k][j & 31] = m;
        };
        runMin[0][j & 31] = m;
        widen(1);
        widen(2);
        widen(3);
        widen(4);
    };
    enter(length, 0);
    uint32_t after = 0;  // the cheapest cover from i + 1 on
    for (uint32_t i = length; i-- > 0;) {
        uint32_t here = after + 9, take = 1;
        const uint32_t longestHere = longest[i] & 31u;
        if (longestHere >= 2) {
            // Prefix ends i + 2 .. i + longestHere: two overlapping runs.
            const uint32_t k = 31 - static_cast<uint32_t>(__builtin_clz(longestHere - 1));
            const uint64_t a = runMin[k][(i + 2) & 31], b = runMin[k][(i + longestHere + 1 - (1u << k)) & 31];
            const uint64_t best = a < b ? a : b;
            const uint32_t bits = static_cast<uint32_t>(best >> 17) + 15;
            const uint32_t end = 0x1FFFFu - static_cast<uint32_t>(best & 0x1FFFF);
            // Which one is cheaper follows no pattern: select, not branch.
            take = bits <= here ? end - i : take;
            here = bits <= here ? bits : here;
        }
        choice[i] = static_cast<uint8_t>(take);
        enter(i, here);
        after = here;
    }
    for (uint32_t i = 0; i < length;) {
        const uint32_t take = choice[i];
        if (take == 1) {
            w.Literal(data[i]);
        } else {
            w.Match(Source(start + i, (longest[i] >> 5) + 1u), static_cast<int32_t>(take));
        }
        i += take;
    }
}

void LevelPacker::EncodeBlock(PackLevel level, const unsigned char* data, uint32_t start, uint32_t length,
                              CodeWriter& w) {
    if (level == PACKED_LEVEL_BEST) {
        EncodeBest(data, start, length, w);
    } else {
        EncodeFast(data, start, length, w);
    }
    extent = base + start + length;
}

void LevelPacker::EncodeStaged(PackLevel level, bool last) {
    bits.out = stage;
    bits.outLeft = static_cast<int64_t>(kStageBytes);
    EncodeBlock(level, block + kHistory, blockStart, blockFill, bits);
    if (last) {
        bits.Close();
        bits.Drain();
    }
    stageBegin = 0;
    stageEnd = static_cast<size_t>(bits.out - stage);
    if (!last) {
        std::memcpy(block, block + kBlock, kHistory);
        blockStart += kBlock;
        blockFill = 0;
    }
}

}  // namespace orvobf::packed_detail

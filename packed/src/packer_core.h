// The greedy packer over the match tree, as one run on local state: the
// stream copies its fields in, runs until the input is used up, the output
// has no room at the start of a symbol, or the body is finished, and
// copies them back. PackBuffer runs it once with unlimited room.
#ifndef ORVOBF_PACKED_PACKER_CORE_H
#define ORVOBF_PACKED_PACKER_CORE_H

#include <bit>
#include <cstdint>
#include <cstring>

#include "code_writer.h"
#include <orvobf/packed_stream.h>

namespace orvobf::packed_detail {

// The word-wide compares read the first differing byte from the lowest bits.
static_assert(std::endian::native == std::endian::little);

constexpr uint32_t kRoot = 1024;
constexpr uint32_t kMask = 1023;
// The window carries a mirror of positions 0..15 behind position 1023, so a
// 17-byte compare from any position reads straight on; plus slack for the
// word-wide compare.
constexpr size_t kWindowAlloc = PACKED_WINDOW_SIZE + 32;

// A match-tree node. Each link to a child carries the child's first four
// bytes beside its index (key << 32 | index), so the walk decides the next
// step before it reaches the child.
struct MatchNode {
    uint64_t link[2];  // by the direction bit
    uint32_t parent;
    uint32_t key;      // this node's first four bytes
};

struct PackerCore {
    enum Stop { kNeedInput, kNeedRoom, kDone };

    unsigned char* win;
    MatchNode* n;
    int32_t best;
    uint32_t bestPos;
    uint32_t r;
    int32_t look;
    int32_t pending;
    const unsigned char* in;
    int64_t inLeft;
    CodeWriter bits;  // its room a multiple of 4

    void SetByte(uint32_t pos, unsigned char b) {
        win[pos] = b;
        if (pos < 16) win[PACKED_WINDOW_SIZE + pos] = b;
    }
    static uint32_t Child(const MatchNode& node, int side) {
        return static_cast<uint32_t>(node.link[side]);
    }
    void SetChild(uint32_t parent, int side, uint32_t c) {
        n[parent].link[side] = c ? (static_cast<uint64_t>(n[c].key) << 32 | c) : 0;
    }
    // Points the parent's link that led to `old` at `c`.
    void Relink(uint32_t parent, uint32_t old, uint32_t c) {
        SetChild(parent, Child(n[parent], 0) == old ? 0 : 1, c);
    }

    // A packer at an image's start: clears window and tree (one object
    // packs any number of images, and the same data always gives the same
    // image), fills the look-ahead from `in` and plants node 1. Its code
    // words go to `out`, which has `room` bytes.
    static PackerCore Start(unsigned char* window, MatchNode* nodes, const unsigned char* in, int64_t count,
                            unsigned char* out, int64_t room) {
        PackerCore pk{};
        pk.win = window;
        pk.n = nodes;
        pk.in = in;
        pk.inLeft = count;
        pk.bits.out = out;
        pk.bits.outLeft = room;
        std::memset(window, 0, kWindowAlloc);
        std::memset(nodes, 0, sizeof(MatchNode) * (PACKED_WINDOW_SIZE + 1));
        pk.look = 0;
        while (pk.look < PACKED_MAX_MATCH && pk.inLeft > 0) {
            pk.SetByte(static_cast<uint32_t>(1 + pk.look++), *pk.in++);
            --pk.inLeft;
        }
        nodes[1].key = pk.Key(1);
        nodes[1].parent = kRoot;
        pk.SetChild(kRoot, 0, 1);
        pk.best = 0;
        pk.bestPos = 0;
        pk.r = 1;
        pk.pending = 0;
        return pk;
    }

    void Remove(uint32_t s) {
        const uint32_t parent = n[s].parent;
        if (parent == 0) return;
        const uint32_t c0 = Child(n[s], 0), c1 = Child(n[s], 1);
        if (c0 == 0 || c1 == 0) {
            const uint32_t c = c0 == 0 ? c1 : c0;
            Relink(parent, s, c);
            if (c) n[c].parent = parent;
        } else {
            uint32_t q = c1;
            while (Child(n[q], 0)) q = Child(n[q], 0);
            const uint32_t qp = n[q].parent, qc = Child(n[q], 1);
            Relink(qp, q, qc);
            if (qc) n[qc].parent = qp;
            Relink(parent, s, q);
            n[q].parent = parent;
            // s's links may have changed above (q may have been its child).
            n[q].link[0] = n[s].link[0];
            n[q].link[1] = n[s].link[1];
            if (Child(n[q], 0)) n[Child(n[q], 0)].parent = q;
            if (Child(n[q], 1)) n[Child(n[q], 1)].parent = q;
        }
        n[s].parent = 0;
    }

    // Equal leading bytes of the 17-byte strings at a and b.
    int32_t Common(uint32_t a, uint32_t b) const {
        for (int32_t k = 0; k < 16; k += 8) {
            uint64_t x, y;
            std::memcpy(&x, win + a + k, 8);
            std::memcpy(&y, win + b + k, 8);
            if (x != y) return k + (__builtin_ctzll(x ^ y) >> 3);  // little-endian byte order
        }
        return win[a + 16] == win[b + 16] ? 17 : 16;
    }

    uint32_t Key(uint32_t pos) const {
        uint32_t key;
        std::memcpy(&key, win + pos, 4);
        return key;
    }

    // A node's 17 bytes stay unchanged while it is in the tree (its
    // position is 1007 behind r when it leaves, before any of them is
    // overwritten), so its first four live in the link that leads to it:
    // most steps of the walk decide from the key in hand, and the next
    // index and key come from one load chosen by the direction bit.
    void Insert(uint32_t pos) {
        best = 0;
        if (pos == 0) return;
        int32_t bestLen = 0;
        uint32_t bestAt = bestPos;
        const uint32_t key = Key(pos);
        n[pos].key = key;
        uint64_t link = n[kRoot].link[0];
        for (;;) {
            const uint32_t p = static_cast<uint32_t>(link);
            const uint32_t other = static_cast<uint32_t>(link >> 32);
            const uint64_t l0 = n[p].link[0], l1 = n[p].link[1];
            const uint32_t diff = key ^ other;
            int32_t k;
            uint32_t d;
            if (diff != 0) {
                // Bytes below the first difference are equal, so the word
                // difference holds (a - b) mod 256 there, free of borrows.
                const int shift = __builtin_ctz(diff) & ~7;
                k = shift >> 3;
                d = ((key - other) >> (shift + 7)) & 1;
            } else {
                k = Common(pos, p);
                d = ((static_cast<uint32_t>(win[pos + k]) - win[p + k]) >> 7) & 1;
            }
            // Deeper nodes tend to share more, so this is taken in no
            // predictable pattern: select without a branch.
            const uint32_t take = 0u - static_cast<uint32_t>(k >= bestLen);
            bestAt = (p & take) | (bestAt & ~take);
            bestLen = k > bestLen ? k : bestLen;
            if (k == PACKED_MAX_MATCH) {
                const uint32_t parent = n[p].parent;
                n[pos].link[0] = l0;
                n[pos].link[1] = l1;
                n[pos].parent = parent;
                Relink(parent, p, pos);
                if (Child(n[pos], 0)) n[Child(n[pos], 0)].parent = pos;
                if (Child(n[pos], 1)) n[Child(n[pos], 1)].parent = pos;
                n[p].parent = 0;
                break;
            }
            // The top bit of the 8-bit difference picks the child.
            const uint64_t next = d ? l1 : l0;
            if (static_cast<uint32_t>(next) == 0) {
                n[pos].parent = p;
                n[pos].link[0] = n[pos].link[1] = 0;
                SetChild(p, static_cast<int>(d), pos);
                break;
            }
            link = next;
        }
        best = bestLen;
        bestPos = bestAt;
    }

    Stop Run(bool finishing) {
        for (;;) {
            if (bits.finishWords > 0) {
                if (!bits.Drain()) return kNeedRoom;
                look = 0;
                return kDone;
            }
            if (look == 0) return kDone;
            if (pending == 0) {
                if (bits.outLeft <= 0) return kNeedRoom;
                const int32_t m = best < look ? best : look;
                if (m <= 1) {
                    bits.Literal(win[r]);
                    pending = 1;
                } else {
                    bits.Match(bestPos, m);
                    pending = m;
                }
            }
            for (; pending > 0; --pending) {
                if (inLeft == 0 && !finishing) return kNeedInput;
                const uint32_t s = (r + PACKED_MAX_MATCH) & kMask;
                Remove(s);
                r = (r + 1) & kMask;
                if (inLeft > 0) {
                    SetByte(s, *in++);
                    --inLeft;
                } else if (--look == 0) {
                    bits.Close();
                    pending = 0;
                    break;
                }
                Insert(r);
            }
        }
    }
};

}  // namespace orvobf::packed_detail

#endif

// The greedy packer: a binary tree of window positions (node i = the 17
// bytes at position i, node 1024 holds the root, node 0 means none).
#include <cstring>

#include "PackedStream.h"

namespace {

struct Packer {
    unsigned char* win;
    uint32_t (*n)[4];  // parent, child0, child1, spare
    int32_t best = 0;
    uint32_t bestPos = 0;
    unsigned char* out;
    uint64_t acc = 0;
    int32_t freeBits = 32;

    void Put(uint32_t value, int32_t width) {
        acc = (acc << width) | value;
        freeBits -= width;
        if (freeBits <= 0) {
            const uint32_t word = static_cast<uint32_t>(acc >> -freeBits);
            out[0] = static_cast<unsigned char>(word);
            out[1] = static_cast<unsigned char>(word >> 8);
            out[2] = static_cast<unsigned char>(word >> 16);
            out[3] = static_cast<unsigned char>(word >> 24);
            out += 4;
            acc &= (uint64_t{1} << -freeBits) - 1;
            freeBits += 32;
        }
    }
    void SetByte(uint32_t pos, unsigned char b) {
        win[pos] = b;
        if (pos < 16) win[1024 + pos] = b;
    }
    void Relink(uint32_t parent, uint32_t from, uint32_t to) {
        if (n[parent][1] == from) n[parent][1] = to;
        else n[parent][2] = to;
    }
    void Remove(uint32_t s) {
        const uint32_t parent = n[s][0];
        if (parent == 0) return;
        if (n[s][1] == 0 || n[s][2] == 0) {
            const uint32_t c = n[s][1] == 0 ? n[s][2] : n[s][1];
            Relink(parent, s, c);
            if (c) n[c][0] = parent;
        } else {
            uint32_t q = n[s][2];
            while (n[q][1]) q = n[q][1];
            const uint32_t qp = n[q][0], qc = n[q][2];
            Relink(qp, q, qc);
            if (qc) n[qc][0] = qp;
            Relink(parent, s, q);
            n[q][0] = parent;
            n[q][1] = n[s][1];
            n[q][2] = n[s][2];
            if (n[q][1]) n[n[q][1]][0] = q;
            if (n[q][2]) n[n[q][2]][0] = q;
        }
        n[s][0] = 0;
    }
    void Insert(uint32_t r) {
        best = 0;
        if (r == 0) return;
        uint32_t p = n[1024][1];
        if (p == 0) {
            n[1024][1] = r;
            n[r][0] = 1024;
            n[r][1] = n[r][2] = 0;
            return;
        }
        for (;;) {
            int32_t k = 0;
            while (k < 17 && win[r + k] == win[p + k]) ++k;
            if (k >= best) {
                best = k;
                bestPos = p;
            }
            if (k == 17) {
                const uint32_t parent = n[p][0];
                Relink(parent, p, r);
                n[r][0] = parent;
                n[r][1] = n[p][1];
                n[r][2] = n[p][2];
                if (n[r][1]) n[n[r][1]][0] = r;
                if (n[r][2]) n[n[r][2]][0] = r;
                n[p][0] = 0;
                return;
            }
            const uint32_t d = ((static_cast<uint32_t>(win[r + k]) - win[p + k]) >> 7) & 1;
            const uint32_t next = n[p][1 + d];
            if (next == 0) {
                n[p][1 + d] = r;
                n[r][0] = p;
                n[r][1] = n[r][2] = 0;
                return;
            }
            p = next;
        }
    }
};

}  // namespace

int32_t PackedStream::PackBuffer(const unsigned char* source, unsigned char* destination, int32_t count) {
    if (count < 0) return PSE_NOT_WRITABLE;
    if (!window || !nodes) return PSE_BAD_STATE;
    for (int i = 0; i < 4; ++i) destination[i] = static_cast<unsigned char>(static_cast<uint32_t>(count) >> (8 * i));
    if (count == 0) return 0;
    // Cleared window and tree: the same data always gives the same image.
    std::memset(window, 0, PACKED_WINDOW_SIZE + 32);
    std::memset(nodes, 0, sizeof(Node) * (PACKED_WINDOW_SIZE + 1));
    Packer pk{window, reinterpret_cast<uint32_t(*)[4]>(nodes), 0, 0, destination + 4};
    const unsigned char* in = source;
    const unsigned char* inEnd = source + count;
    int32_t look = 0;
    while (look < 17 && in < inEnd) pk.SetByte(static_cast<uint32_t>(1 + look++), *in++);
    pk.n[1024][1] = 1;
    pk.n[1][0] = 1024;
    uint32_t r = 1;
    for (;;) {
        int32_t m = pk.best < look ? pk.best : look;
        int32_t advance;
        if (m <= 1) {
            pk.Put(0x100u | window[r], 9);
            advance = 1;
        } else {
            pk.Put((pk.bestPos << 4) | static_cast<uint32_t>(m - 2), 15);
            advance = m;
        }
        for (; advance > 0; --advance) {
            const uint32_t s = (r + 17) & 1023;
            pk.Remove(s);
            r = (r + 1) & 1023;
            if (in < inEnd) {
                pk.SetByte(s, *in++);
            } else if (--look == 0) {
                const int32_t f = pk.freeBits;
                const uint32_t word = static_cast<uint32_t>(pk.acc << f);
                pk.freeBits = 32;
                pk.acc = 0;
                pk.Put(0, 0);
                unsigned char* o = pk.out;
                for (int i = 0; i < 4; ++i) o[i] = static_cast<unsigned char>(word >> (8 * i));
                o += 4;
                if (f <= 11) {
                    std::memset(o, 0, 4);
                    o += 4;
                }
                return static_cast<int32_t>(o - (destination + 4));
            }
            pk.Insert(r);
        }
    }
}

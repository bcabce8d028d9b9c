// The packer's exact images for input with repeats of 17 bytes and more,
// symbol by symbol as worked out by hand from the match tree's rules
// (search, replacement of an equal node, the three removal rules), with a
// window that starts zeroed. Letters close together compare as bytes do:
// a smaller first differing byte takes child 1, a greater one child 0.
#include <gtest/gtest.h>

#include <string>

#include <orvobf/packed_stream.h>
#include "bit_writer.h"
#include "memory_medium.h"

namespace {
Bytes Of(const std::string& text) { return Bytes(text.begin(), text.end()); }

void ExpectImage(const Bytes& data, BitWriter& symbols) {
    const Bytes expected = symbols.Image(static_cast<int32_t>(data.size()));
    PackedStream ps;
    ASSERT_EQ(ps.Init(PACKED_STREAM_VERSION), 0);
    // The hand-made image holds the data: it is a sound answer.
    Bytes decoded(data.size() + 16);
    ASSERT_EQ(ps.UnpackBuffer(expected.data(), decoded.data()), static_cast<int32_t>(data.size()));
    decoded.resize(data.size());
    ASSERT_EQ(decoded, data);
    EXPECT_EQ(PackImage(ps, data), expected);
}
}  // namespace

TEST(PackerImages, PeriodicInputReplacesNodesThatHaveChildren) {
    // "abc" x 13 + "a": nodes 1, 2, 3 form the chain a -child0-> b -child0-> c.
    // From position 4 on every string equals the one three back: the new
    // node takes the old one's place and children, and the match is the
    // old position. After the 40th byte the window holds zeros, so each
    // string x from 25 on is 41 - x bytes of data and a zero: it goes down
    // child 1 past every node of its phase, and the last of them (x - 3)
    // gives the best match, 41 - x bytes long, which is all that is left.
    std::string text;
    for (int i = 0; i < 13; ++i) text += "abc";
    text += "a";
    BitWriter symbols;
    symbols.Literal('a'), symbols.Literal('b'), symbols.Literal('c');
    symbols.Match(1, 17);   // r = 4: node 4 replaced node 1
    symbols.Match(18, 17);  // r = 21: node 21 replaced node 18
    symbols.Match(35, 3);   // r = 38: three bytes left
    ExpectImage(Of(text), symbols);
}

TEST(PackerImages, RemovalsKeepTheRunsNodeInTheTree) {
    // Seven distinct letters, then 'p' to 1054 bytes. Every string of the
    // run is the same, so one node P stands for them, replaced at every
    // position; letters' strings differ in their first byte. Position i
    // leaves the tree at r = 1007 + i, and every symbol starts at
    // r = 9 + 17j with a match from r - 1, which needs P in the tree: the
    // one at 1012 comes right after node 4 left it. (That match copies
    // from 1011 across position 0; position 0 gets no node, so node 1023
    // is found again from position 1; the last matches come from 4 and 21.)
    //
    // "mcetnwa": m{1: c{1: a, 0: e}, 0: t{1: n{0: P}, 0: w}}.
    //   m: two children; e, the greatest below child 1 (down child 0 from
    //      c), takes its place. c: only child 1 (a), which takes its place.
    //   e: two children; child 1 is a, with no child 0: a takes its place.
    //   t: two children; below child 1 (n) one step down child 0 is P,
    //      the greatest: P takes t's place, with n and w as its children.
    //   n, w: leaves; a: only child 0 (P), which becomes the top.
    // "mcentwa": m{1: c{1: a, 0: e}, 0: n{0: t{1: P, 0: w}}}.
    //   m, c, e as above, then n: no child 1, so child 0 (t, above P)
    //   takes its place. t: two children, child 1 is P: P takes its place.
    //   w: a leaf; a: only child 0 (P).
    for (const std::string letters : {"mcetnwa", "mcentwa"}) {
        SCOPED_TRACE(letters);
        BitWriter symbols;
        for (char c : letters + "p") symbols.Literal(static_cast<unsigned char>(c));
        for (uint32_t r = 9; r <= 1012; r += 17) symbols.Match(r - 1, 17);
        symbols.Match(4, 17);  // r = 1029, that is 5
        symbols.Match(21, 9);  // r = 1046, that is 22: the last nine bytes
        ExpectImage(Of(letters + std::string(1054 - 7, 'p')), symbols);
    }
}

TEST(PackerImages, PositionZeroIsNeverASource) {
    // "mt" then 1061 'a': matches start at r = 4 + 17j, so one starts at
    // r = 1024, that is 0, where no node is inserted and the best length
    // is 0: a literal. The next string, at 1, finds the run's node at 1023.
    // On the way m leaves the tree: it has two children, and child 1 is the
    // run's node, which takes its place; then t, a leaf.
    const Bytes data = Of("mt" + std::string(1061, 'a'));
    BitWriter symbols;
    symbols.Literal('m'), symbols.Literal('t'), symbols.Literal('a');
    for (uint32_t r = 4; r <= 1007; r += 17) symbols.Match(r - 1, 17);
    symbols.Literal('a');     // r = 0
    symbols.Match(1023, 17);  // r = 1
    symbols.Match(17, 17);    // r = 18
    symbols.Match(34, 5);     // r = 35: the last five bytes
    ExpectImage(data, symbols);
}

// The fast and best packers. Both search hash chains over the whole
// window (sources 1 to 1024 bytes back) and work through the input in
// fixed blocks of absolute positions: matches end at a block's end and
// every choice depends only on the block and the 1024 bytes before it, so
// an image does not depend on how its input arrived, and the one-call
// packer and the stream give the same bytes.
#ifndef ORVOBF_PACKED_LEVEL_PACKER_H
#define ORVOBF_PACKED_LEVEL_PACKER_H

#include <cstddef>
#include <cstdint>

#include "code_writer.h"
#include <orvobf/packed_stream.h>

namespace orvobf::packed_detail {

struct LevelPacker {
    static constexpr uint32_t kBlock = 1u << 16;
    static constexpr uint32_t kHistory = PACKED_WINDOW_SIZE;
    static constexpr uint32_t kHashBits = 14;
    // One block's words when every byte is a literal, the word carried in
    // from the block before, and the finishing words.
    static constexpr size_t kStageBytes = 4 * ((9 * size_t{kBlock}) / 32 + 4);

    // Match search. The tables hold stamps, base + input position: stamps
    // of earlier images lie more than a window behind every stamp of this
    // one, so a new image needs no clearing. Only positions a match may
    // name enter them (never one that sits at ring position 0).
    uint32_t head3[1u << kHashBits];  // by a hash of 3 bytes: the latest position
    uint32_t head2[1u << 16];         // by 2 bytes: the latest position
    uint32_t chain[PACKED_WINDOW_SIZE];  // by position: the one before it on its 3-byte chain
    uint32_t base;
    uint32_t extent;  // the stamp after the last position seen

    // Best: per block position the longest match ((distance - 1) << 5 |
    // length, 0 for none), then the first symbol's length in the cheapest
    // cover of the rest of the block.
    uint16_t longest[kBlock];
    uint8_t choice[kBlock];

    // Streaming: the window's bytes before the block, the block being
    // filled, slack for the wide compares; the block's words waiting for
    // the medium.
    unsigned char block[kHistory + kBlock + 32];
    unsigned char stage[kStageBytes];
    uint32_t blockStart;
    uint32_t blockFill;
    size_t stageBegin;
    size_t stageEnd;
    CodeWriter bits;

    // A new image: positions from 0, nothing staged.
    void StartImage();
    // Symbols for input positions start .. start + length - 1, at `data`;
    // the min(start, 1024) bytes before `data` are the input before start.
    void EncodeBlock(PackLevel level, const unsigned char* data, uint32_t start, uint32_t length, CodeWriter& w);
    // The stream's block into the stage; `last` finishes the body there,
    // otherwise the block's end becomes the next block's history.
    void EncodeStaged(PackLevel level, bool last);

private:
    void EncodeFast(const unsigned char* data, uint32_t start, uint32_t length, CodeWriter& w);
    void EncodeBest(const unsigned char* data, uint32_t start, uint32_t length, CodeWriter& w);
};

}  // namespace orvobf::packed_detail

#endif

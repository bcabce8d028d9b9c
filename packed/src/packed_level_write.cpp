// Packing writers at the fast and best levels: the input gathered into
// blocks of absolute positions, each block's words staged and handed to
// the medium through the same exchanges as the classic writer; and the
// one-call form over memory.
#include <cstring>
#include <initializer_list>

#include "code_words.h"
#include "level_packer.h"
#include <orvobf/packed_stream.h>
#include <orvobf/platform.h>

using orvobf::packed_detail::LevelPacker;

namespace {
bool KnownLevel(PackLevel level) {
    return level == PACKED_LEVEL_CLASSIC || level == PACKED_LEVEL_FAST || level == PACKED_LEVEL_BEST;
}

// The tables of the hash-chain packers, made on first use.
int32_t NeedLevelPacker(LevelPacker*& packer) {
    if (!packer) packer = static_cast<LevelPacker*>(orvobf::platform::AllocZero(sizeof(LevelPacker)));
    return packer ? 0 : PSE_NO_MEMORY;
}
}  // namespace

bool ParsePackLevel(const char* name, PackLevel* level) {
    if (!name || !level) return false;
    for (PackLevel l : {PACKED_LEVEL_CLASSIC, PACKED_LEVEL_FAST, PACKED_LEVEL_BEST}) {
        if (std::strcmp(name, PackLevelName(l)) == 0) {
            *level = l;
            return true;
        }
    }
    return false;
}

const char* PackLevelName(PackLevel level) {
    switch (level) {
        case PACKED_LEVEL_CLASSIC: return "classic";
        case PACKED_LEVEL_FAST: return "fast";
        case PACKED_LEVEL_BEST: return "best";
    }
    return nullptr;
}

int32_t PackedStream::SetLevel(PackLevel newLevel) {
    if (active) return PSE_BAD_STATE;
    if (!KnownLevel(newLevel)) return PSE_BAD_LEVEL;
    if (newLevel != PACKED_LEVEL_CLASSIC) {
        const int32_t rc = NeedLevelPacker(levelPacker);
        if (rc < 0) return rc;
    }
    level = newLevel;
    return 0;
}

// Hands staged words to the medium, exchanging buffers as they fill.
// Staged bytes and buffer room are both whole words.
int32_t PackedStream::DrainStaged() {
    LevelPacker& lp = *levelPacker;
    while (lp.stageBegin < lp.stageEnd) {
        if (bufferLeft == 0) {
            const int32_t rc = Exchange();
            if (rc < 0) return rc;
        }
        const size_t staged = lp.stageEnd - lp.stageBegin;
        const int32_t n = staged < static_cast<size_t>(bufferLeft) ? static_cast<int32_t>(staged) : bufferLeft;
        std::memcpy(output, lp.stage + lp.stageBegin, static_cast<size_t>(n));
        lp.stageBegin += static_cast<size_t>(n);
        output += n;
        bufferLeft -= n;
        bufferFill += n;
        packedBytes += n;
    }
    return 0;
}

// Takes in the current Write's bytes; every full block is packed at once.
int32_t PackedStream::LevelWrite() {
    LevelPacker& lp = *levelPacker;
    if (packedBytes == 0) {
        if (bufferLeft == 0) {
            const int32_t rc = Exchange();
            if (rc < 0) return rc;
        }
        output += 4;  // the header word's place
        bufferLeft -= 4;
        bufferFill += 4;
        packedBytes = 4;
        lp.StartImage();
    }
    for (;;) {
        const int32_t rc = DrainStaged();
        if (rc < 0) return rc;
        if (requestRemaining == 0) return 0;
        const uint32_t room = LevelPacker::kBlock - lp.blockFill;
        const uint32_t n = static_cast<uint32_t>(requestRemaining) < room ? static_cast<uint32_t>(requestRemaining) : room;
        std::memcpy(lp.block + LevelPacker::kHistory + lp.blockFill, input, n);
        input += n;
        requestRemaining -= static_cast<int32_t>(n);
        lp.blockFill += n;
        if (lp.blockFill == LevelPacker::kBlock) lp.EncodeStaged(level, false);
    }
}

// The last block and the finishing words, before End's header word.
int32_t PackedStream::LevelEnd() {
    if (packedBytes == 0) return 0;
    levelPacker->EncodeStaged(level, true);
    return DrainStaged();
}

int32_t PackedStream::PackBuffer(const unsigned char* source, unsigned char* destination, int32_t count,
                                 PackLevel packLevel) {
    if (!KnownLevel(packLevel)) return PSE_BAD_LEVEL;
    if (packLevel == PACKED_LEVEL_CLASSIC) return PackBuffer(source, destination, count);
    if (count < 0) return PSE_NOT_WRITABLE;
    if (!window) return PSE_BAD_STATE;
    if (active) return PSE_BAD_STATE;
    const int32_t rc = NeedLevelPacker(levelPacker);
    if (rc < 0) return rc;
    orvobf::packed_detail::StoreU32(destination, static_cast<uint32_t>(count));
    if (count == 0) return 0;
    LevelPacker& lp = *levelPacker;
    lp.StartImage();
    orvobf::packed_detail::CodeWriter w;
    w.out = destination + 4;
    w.outLeft = PackedMaxImageSize(count);
    const uint32_t total = static_cast<uint32_t>(count);
    for (uint32_t start = 0; start < total; start += LevelPacker::kBlock) {
        const uint32_t left = total - start;
        lp.EncodeBlock(packLevel, source + start, start, left < LevelPacker::kBlock ? left : LevelPacker::kBlock, w);
    }
    w.Close();
    w.Drain();
    return static_cast<int32_t>(w.out - (destination + 4));
}

// Writing an image through the buffer provider: packing (first write of
// 17 bytes or more) or storing, and End's flush, rewind and header word.
#include <cstring>

#include "code_words.h"
#include <orvobf/packed_stream.h>
#include "packer_core.h"

using orvobf::packed_detail::StoreU32;

// Hands the filled bytes to the provider and takes an empty buffer.
int32_t PackedStream::Exchange() {
    if (!provider) return PSE_NO_CALLBACK;
    unsigned char* buffer = provider(bufferFill, user);
    if (!buffer) return PSE_NO_BUFFER;
    output = buffer;
    bufferLeft = bufferSize;
    bufferFill = 0;
    return 0;
}

// One packer run over the current input and output buffer, from the
// image's start or where the last run stopped; returns the packer's stop
// reason.
int32_t PackedStream::PackRun(bool starting, bool finishing) {
    using orvobf::packed_detail::PackerCore;
    PackerCore pk;
    if (starting) {
        pk = PackerCore::Start(window, nodes, input, requestRemaining, output, bufferLeft);
    } else {
        pk.win = window;
        pk.n = nodes;
        pk.best = matchLength;
        pk.bestPos = static_cast<uint32_t>(matchPosition);
        pk.r = static_cast<uint32_t>(ringPos);
        pk.look = lookAhead;
        pk.pending = pendingAdvance;
        pk.bits.acc = accumulator;
        pk.bits.freeBits = bitCount;
        pk.bits.finishWords = finishWords;
        pk.in = input;
        pk.inLeft = requestRemaining;
        pk.bits.out = output;
        pk.bits.outLeft = bufferLeft;
    }
    const int32_t stop = pk.Run(finishing);
    const int32_t produced = static_cast<int32_t>(pk.bits.out - output);
    matchLength = pk.best;
    matchPosition = static_cast<int32_t>(pk.bestPos);
    ringPos = static_cast<int32_t>(pk.r);
    lookAhead = pk.look;
    pendingAdvance = pk.pending;
    accumulator = pk.bits.acc;
    bitCount = pk.bits.freeBits;
    finishWords = pk.bits.finishWords;
    input = pk.in;
    requestRemaining = static_cast<int32_t>(pk.inLeft);
    output = pk.bits.out;
    bufferLeft -= produced;
    bufferFill += produced;
    packedBytes += produced;
    return stop;
}

int32_t PackedStream::Write(const unsigned char* source, int32_t count) {
    if (kind == PS_READ_PACKED || kind == PS_READ_STORED) return PSE_NOT_WRITABLE;
    if (!active) return PSE_BAD_STATE;
    // The header word holds the total in 31 bits.
    if (count < 0 || static_cast<int64_t>(position) + count > INT32_MAX) return PSE_NOT_WRITABLE;
    if (count < PACKED_MAX_MATCH && position == 0) kind = PS_WRITE_STORED;
    input = source;
    requestRemaining = count;
    if (kind == PS_WRITE_PACKED && level != PACKED_LEVEL_CLASSIC) {
        const int32_t rc = LevelWrite();
        if (rc < 0) return rc;
        position += count;
        return packedBytes;
    }
    while (requestRemaining > 0) {
        if (bufferLeft == 0) {
            const int32_t rc = Exchange();
            if (rc < 0) return rc;
        }
        if (kind == PS_WRITE_PACKED) {
            const bool starting = packedBytes == 0;
            if (starting) {
                // Reserve the header word.
                output += 4;
                bufferLeft -= 4;
                bufferFill += 4;
                packedBytes = 4;
            }
            PackRun(starting, false);
        } else {
            if (position == 0 && bufferFill == 0 && requestRemaining == count) {
                output += 4;
                bufferFill = 4;
                bufferLeft -= 4;
            }
            const int32_t n = requestRemaining < bufferLeft ? requestRemaining : bufferLeft;
            std::memcpy(output, input, static_cast<size_t>(n));
            output += n;
            input += n;
            bufferFill += n;
            bufferLeft -= n;
            requestRemaining -= n;
        }
    }
    position += count;
    return kind == PS_WRITE_PACKED ? packedBytes : 0;
}

// Final exchange, header word into the returned buffer, rewind to the
// image's start and store the header there.
int32_t PackedStream::Finish(int32_t header) {
    if (!provider) return PSE_NO_CALLBACK;
    unsigned char* buffer = provider(bufferFill, user);
    if (!buffer) return PSE_NO_BUFFER;
    StoreU32(buffer, static_cast<uint32_t>(header));
    if (!rewinder) return PSE_NO_CALLBACK;
    rewinder(0, user);
    bufferFill = 4;
    provider(4, user);
    return 0;
}

int32_t PackedStream::End() {
    FreeIndex();
    if (!active) return PSE_BAD_STATE;
    active = 0;
    if (kind == PS_WRITE_PACKED && level != PACKED_LEVEL_CLASSIC) {
        const int32_t rc = LevelEnd();
        if (rc < 0) return rc;
        const int32_t fin = Finish(position);
        return fin < 0 ? fin : packedBytes;
    }
    if (kind == PS_WRITE_PACKED) {
        if (packedBytes > 0) {
            requestRemaining = 0;
            while (PackRun(false, true) != orvobf::packed_detail::PackerCore::kDone) {
                const int32_t rc = Exchange();
                if (rc < 0) return rc;
            }
        }
        const int32_t rc = Finish(position);
        return rc < 0 ? rc : packedBytes;
    }
    if (kind == PS_WRITE_STORED) {
        const int32_t rc = Finish(-position);
        return rc < 0 ? rc : position;
    }
    return 0;
}

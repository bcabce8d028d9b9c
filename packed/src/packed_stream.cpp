// Lifetime of the stream object, its callbacks and Begin.
#include <cstring>

#include "code_words.h"
#include <orvobf/packed_stream.h>
#include "packer_core.h"
#include <orvobf/platform.h>

using orvobf::packed_detail::LoadU32;

const char* PackedResultText(int32_t result) {
    switch (result) {
        case PSE_BAD_VERSION: return "packed stream: wrong interface version";
        case PSE_NO_MEMORY: return "packed stream: out of memory";
        case PSE_NO_CALLBACK: return "packed stream: callback missing";
        case PSE_NOT_READABLE: return "packed stream: not open for reading";
        case PSE_NOT_WRITABLE: return "packed stream: not open for writing";
        case PSE_BAD_STATE: return "packed stream: not begun, or begun already";
        case PSE_BUFFER_TOO_SMALL: return "packed stream: buffer too small";
        case PSE_NO_BUFFER: return "packed stream: no buffer from the medium";
        case PSE_DAMAGED: return "packed stream: damaged image";
        case PSE_BAD_LEVEL: return "packed stream: no such packing level";
        default: return result < 0 ? "packed stream: unknown failure" : "";
    }
}

PackedStream::~PackedStream() { Release(); }

int32_t PackedStream::Init(int32_t version) {
    if (version != PACKED_STREAM_VERSION) return PSE_BAD_VERSION;
    if (!window) window = static_cast<unsigned char*>(orvobf::platform::AllocZero(orvobf::packed_detail::kWindowAlloc));
    if (!window) return PSE_NO_MEMORY;
    if (!nodes) nodes = static_cast<orvobf::packed_detail::MatchNode*>(orvobf::platform::AllocZero(sizeof(orvobf::packed_detail::MatchNode) * (PACKED_WINDOW_SIZE + 1)));
    if (!nodes) return PSE_NO_MEMORY;
    return 0;
}

void PackedStream::Release() {
    FreeIndex();
    orvobf::platform::Free(levelPacker);
    levelPacker = nullptr;
    level = PACKED_LEVEL_CLASSIC;  // its tables are gone
    orvobf::platform::Free(nodes);
    nodes = nullptr;
    orvobf::platform::Free(window);
    window = nullptr;
}

int32_t PackedStream::SetCallbacks(PackedBufferProc bufferProc, PackedRewindProc rewindProc, int32_t size,
                                   void* userValue) {
    if (size < PACKED_MAX_MATCH || size % 4 != 0) return PSE_BUFFER_TOO_SMALL;
    provider = bufferProc;
    rewinder = rewindProc;
    bufferSize = size;
    user = userValue;
    return 0;
}

void PackedStream::SetDelivered(int32_t bytes) { delivered = bytes < 0 ? 0 : bytes; }

// Asks the provider for `size` bytes of input and notes how many of them
// the medium really had.
unsigned char* PackedStream::FetchInput(int32_t size) {
    delivered = -1;
    unsigned char* buffer = provider(size, user);
    int32_t got = size;
    if (delivered >= 0 && delivered < size) {
        got = delivered;
        inputDry = 1;
    }
    delivered = -1;
    if (!buffer) return nullptr;
    inputStart = buffer;
    input = buffer;
    bufferLeft = got;
    inputOffset = nextExchange;
    nextExchange += size;
    return buffer;
}

int32_t PackedStream::Begin(int32_t mode) {
    if (active) return PSE_BAD_STATE;
    FreeIndex();  // a new image
    randomAccess = randomAccessWanted;
    return BeginImage(mode);
}

// Begin without dropping the checkpoint index: also Seek's restart of the
// same image.
int32_t PackedStream::BeginImage(int32_t mode) {
    totalSize = 0;
    if (!provider) return PSE_NO_CALLBACK;
    if (!window) return PSE_NO_MEMORY;
    // A cleared window: a damaged image can never show earlier bytes.
    std::memset(window, 0, orvobf::packed_detail::kWindowAlloc);
    inputDry = 0;
    finishWords = 0;
    if (mode == PS_MODE_WRITE) {
        if (!nodes) return PSE_NO_MEMORY;
        kind = PS_WRITE_PACKED;
        bufferLeft = 0;
        bufferFill = 0;
        position = 0;
        bitCount = 32;
        accumulator = 0;
        ringPos = 1;
        packedBytes = 0;
        lookAhead = 0;
        matchLength = 0;
        matchPosition = 0;
        pendingAdvance = 0;
        active = 1;
        return 0;
    }
    if (mode != PS_MODE_READ) return 0;
    kind = PS_READ_PACKED;
    active = 1;
    nextExchange = 0;
    if (!FetchInput(8)) return PSE_NO_BUFFER;
    const int32_t header = static_cast<int32_t>(LoadU32(input));
    // A header cut short, or -2^31 (which has no positive total).
    if (bufferLeft < 4 || header == INT32_MIN) {
        bufferLeft = 0;
        inputDry = 1;
        return PSE_DAMAGED;
    }
    position = 0;
    bufferFill = 0;
    if (header < 0) {
        kind = PS_READ_STORED;
        totalSize = -header;
        bufferLeft -= 4;
        input += 4;
        return totalSize;
    }
    totalSize = header;
    if (bufferLeft >= 8) {
        accumulator = LoadU32(input + 4);
        bitCount = 32;
    } else {
        // No first code word: no symbol can be decoded.
        accumulator = 0;
        bitCount = 0;
    }
    input += 8;
    bufferLeft = 0;
    ringPos = 1;
    matchLength = -1;
    matchPosition = 0;
    return totalSize;
}

int32_t PackedStream::Tell() const { return active ? position : PSE_BAD_STATE; }

int32_t PackedStream::ImageSize(const unsigned char* image) {
    const int32_t header = static_cast<int32_t>(LoadU32(image));
    if (header == INT32_MIN) return PSE_DAMAGED;
    return header < 0 ? -header : header;
}

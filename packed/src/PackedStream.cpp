// Lifetime of the stream object's window and match tree.
#include <cstring>

#include "PackedStream.h"
#include "platform.h"

PackedStream::~PackedStream() { Release(); }

int32_t PackedStream::Init(int32_t version) {
    if (version != PACKED_STREAM_VERSION) return PSE_BAD_VERSION;
    if (!window) window = static_cast<unsigned char*>(bfplat::AllocZero(PACKED_WINDOW_SIZE + 32));
    if (!window) return PSE_NO_MEMORY;
    if (!nodes) nodes = static_cast<Node*>(bfplat::AllocZero(sizeof(Node) * (PACKED_WINDOW_SIZE + 1)));
    if (!nodes) return PSE_NO_MEMORY;
    return 0;
}

void PackedStream::Release() {
    bfplat::Free(nodes);
    nodes = nullptr;
    bfplat::Free(window);
    window = nullptr;
}

int32_t PackedStream::ImageSize(const unsigned char* image) {
    const int32_t header = static_cast<int32_t>(static_cast<uint32_t>(image[0]) | static_cast<uint32_t>(image[1]) << 8 |
                                                static_cast<uint32_t>(image[2]) << 16 |
                                                static_cast<uint32_t>(image[3]) << 24);
    if (header == INT32_MIN) return PSE_DAMAGED;
    return header < 0 ? -header : header;
}

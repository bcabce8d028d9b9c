// Whole-image decoding: the decoder core over an image held in memory, with
// zeros as the history before its first byte.
#include <cstring>

#include "packed_decoder.h"
#include <orvobf/packed_stream.h>

using namespace orvobf::packed_detail;

int32_t PackedStream::UnpackBuffer(const unsigned char* image, unsigned char* destination) {
    const int32_t header = static_cast<int32_t>(LoadU32(image));
    if (header == INT32_MIN) return PSE_DAMAGED;
    if (header < 0) {
        std::memcpy(destination, image + 4, static_cast<size_t>(-static_cast<int64_t>(header)));
        return header;
    }
    // Nothing to decode: the writer's empty image has no body to read.
    if (header == 0) return 0;
    // The body may be as long as an image of literals only.
    DecodeState s = BodyState(image + 4, (PackedMaxImageSize(header) - 4) / 4);
    size_t o = 0;
    const RunEnd end =
        DecodeSymbols<Sink::Flat, Until::Marker>(s, {destination, kZeroRing}, o, static_cast<size_t>(header));
    return end == RunEnd::Done ? header : PSE_DAMAGED;
}

int32_t PackedStream::UnpackBuffer(const unsigned char* image, size_t imageLength, unsigned char* destination,
                                   size_t capacity) {
    if (imageLength < 4) return PSE_DAMAGED;
    const int32_t header = static_cast<int32_t>(LoadU32(image));
    if (header == INT32_MIN) return PSE_DAMAGED;
    const int64_t total = header < 0 ? -static_cast<int64_t>(header) : header;
    if (static_cast<uint64_t>(total) > capacity) return PSE_BUFFER_TOO_SMALL;
    const int64_t bodyBytes = static_cast<int64_t>(imageLength) - 4;
    if (header < 0) {
        if (bodyBytes < total) return PSE_DAMAGED;
        std::memcpy(destination, image + 4, static_cast<size_t>(total));
        return static_cast<int32_t>(total);
    }
    DecodeState s = BodyState(image + 4, bodyBytes / 4);
    size_t o = 0;
    const RunEnd end =
        DecodeSymbols<Sink::Flat, Until::Count>(s, {destination, kZeroRing}, o, static_cast<size_t>(total));
    return end == RunEnd::Done ? static_cast<int32_t>(total) : PSE_DAMAGED;
}

// Streams one file's bytes into a packed image at the output's current
// position, through the packed stream object.
#ifndef ORVOBF_WRITER_IMAGE_WRITER_H
#define ORVOBF_WRITER_IMAGE_WRITER_H

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "PackedStream.h"

namespace bfw {

// Fills the buffer with up to `capacity` bytes of the source; 0 ends it.
// Returns SIZE_MAX on a read error.
using SourceReader = std::function<size_t(unsigned char* buffer, size_t capacity)>;

struct ImageResult {
    uint64_t imageSize = 0;  // the image's length
    uint64_t total = 0;      // the bytes the source gave
    int outputErrno = 0;     // after a failure: the output's error, 0 when it was not the output
};

// Writes the image at `imageStart` (the output's current position) and
// leaves the output just after it. `chunk` is the caller's scratch space
// (kept from file to file); the source is read in pieces of its size.
bool WritePackedImage(std::FILE* out, uint64_t imageStart, const SourceReader& source,
                      std::vector<unsigned char>& chunk, ImageResult* result, std::string* error,
                      PackLevel level = PACKED_LEVEL_CLASSIC);

}  // namespace bfw

#endif

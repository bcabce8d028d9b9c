// Streams bytes into a packed image at an output stream's position,
// through the packed stream object: the archive builder's packed entries
// and `bigfile pack`.
#ifndef ORVOBF_WRITER_IMAGE_WRITER_H
#define ORVOBF_WRITER_IMAGE_WRITER_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <vector>

#include <orvobf/packed_stream.h>

namespace orvobf::writer {

// Fills the buffer with up to `capacity` bytes of the source; 0 ends it.
// Returns SIZE_MAX on a read error.
using SourceReader = std::function<size_t(unsigned char* buffer, size_t capacity)>;

enum class ImageFault {
    None,
    SourceRead,  // the source reported a read error
    TooLarge,    // the source gave more than an image holds (2 GiB - 1 bytes)
    Output,      // writing or seeking the output failed: outputErrno
    Packer,      // the stream object failed: packerResult
};

struct ImageResult {
    uint64_t imageSize = 0;  // the image's length
    uint64_t total = 0;      // the bytes the source gave
    ImageFault fault = ImageFault::None;
    int outputErrno = 0;
    int32_t packerResult = 0;  // a PSE_* value
};

// Writes the image at `imageStart` (the output's current position) and
// leaves the output just after it. `chunk` is the caller's scratch space
// (kept from image to image); the source is read in pieces of its size.
// False with result->fault set when the image could not be written.
bool WritePackedImage(std::FILE* out, uint64_t imageStart, const SourceReader& source,
                      std::vector<unsigned char>& chunk, ImageResult* result,
                      PackLevel level = PACKED_LEVEL_CLASSIC);

}  // namespace orvobf::writer

#endif

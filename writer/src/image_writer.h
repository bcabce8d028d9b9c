// Streams one file's bytes into a packed image at the output's current
// position, through the packed stream object.
#ifndef ORVOBF_WRITER_IMAGE_WRITER_H
#define ORVOBF_WRITER_IMAGE_WRITER_H

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

namespace bfw {

// Fills the buffer with up to `capacity` bytes of the source; 0 ends it.
// Returns SIZE_MAX on a read error.
using SourceReader = std::function<size_t(unsigned char* buffer, size_t capacity)>;

// Writes the image at `imageStart` (the output's current position) and
// leaves the output just after it. *imageSize gets the image's length,
// *total the bytes the source gave.
bool WritePackedImage(std::FILE* out, uint64_t imageStart, const SourceReader& source,
                      uint64_t* imageSize, uint64_t* total, std::string* error);

}  // namespace bfw

#endif

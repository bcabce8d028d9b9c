// The one loop that feeds a packed stream: a source read in whole chunks,
// its image written to a medium (the archive file at the image's place,
// or memory for an image made ahead of its turn).
#ifndef ORVOBF_WRITER_IMAGE_FEED_H
#define ORVOBF_WRITER_IMAGE_FEED_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <orvobf/image_writer.h>
#include <orvobf/packed_stream.h>

namespace orvobf::writer {

// Where an image's bytes go. Each call says whether it worked; on failure
// errno says why.
class ImageMedium {
public:
    virtual ~ImageMedium() = default;
    // Writes `size` bytes at the position, which moves past them.
    virtual bool Put(const unsigned char* bytes, size_t size) = 0;
    // Moves the position to `offset` bytes after the image's first byte.
    virtual bool MoveTo(uint64_t offset) = 0;
};

// A stdio stream, the image starting at `start`.
class FileMedium final : public ImageMedium {
public:
    FileMedium(std::FILE* out, uint64_t start) : out_(out), start_(start) {}
    bool Put(const unsigned char* bytes, size_t size) override;
    bool MoveTo(uint64_t offset) override;

private:
    std::FILE* out_;
    uint64_t start_;
};

// A string that grows to hold the image (cut to the image's length by the
// caller: the header word is written last, over the first bytes).
class MemoryMedium final : public ImageMedium {
public:
    explicit MemoryMedium(std::string* image) : image_(image) {}
    bool Put(const unsigned char* bytes, size_t size) override;
    bool MoveTo(uint64_t offset) override;

private:
    std::string* image_;
    size_t at_ = 0;
};

// Packs what `source` gives into `medium` through `stream`, which is
// initialised with its level set; it is begun and ended here, so one stream
// serves image after image. The source is read in pieces of `chunk`'s size
// and fed in whole chunks, so that only a source under 17 bytes makes a
// stored image. Leaves the medium just after the image. False with
// result->fault set when the image could not be made.
bool FeedImage(PackedStream& stream, ImageMedium& medium, const SourceReader& source,
               std::vector<unsigned char>& chunk, ImageResult* result);

}  // namespace orvobf::writer

#endif

// The packed stream's media, and the one loop that feeds it whole chunks.
#include <orvobf/image_writer.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

#include <orvobf/packed_stream.h>
#include <orvobf/platform.h>
#include "image_feed.h"

namespace orvobf::writer {
namespace {

constexpr int32_t kBufferSize = 16384;

// The stream's callbacks over a medium, written from one buffer; the
// rewind for the header word is relative to the image's first byte.
struct Bridge {
    ImageMedium& medium;
    std::vector<unsigned char> buffer = std::vector<unsigned char>(kBufferSize);
    bool failed = false;
    int failedErrno = 0;

    void Failed() {
        if (!failed) failedErrno = errno ? errno : EIO;
        failed = true;
    }
    static unsigned char* Provide(int32_t size, void* user) {
        auto* b = static_cast<Bridge*>(user);
        errno = 0;
        if (size > 0 && !b->medium.Put(b->buffer.data(), static_cast<size_t>(size))) {
            b->Failed();
            return nullptr;
        }
        return b->buffer.data();
    }
    static unsigned char* Rewind(int32_t offset, void* user) {
        auto* b = static_cast<Bridge*>(user);
        errno = 0;
        if (!b->medium.MoveTo(static_cast<uint64_t>(offset))) b->Failed();
        return nullptr;
    }
};

}  // namespace

bool FileMedium::Put(const unsigned char* bytes, size_t size) { return std::fwrite(bytes, size, 1, out_) == 1; }

bool FileMedium::MoveTo(uint64_t offset) {
    return orvobf::platform::StreamSeek(out_, static_cast<int64_t>(start_ + offset), SEEK_SET) == 0;
}

bool MemoryMedium::Put(const unsigned char* bytes, size_t size) {
    if (image_->size() < at_ + size) image_->resize(at_ + size);
    std::memcpy(image_->data() + at_, bytes, size);
    at_ += size;
    return true;
}

bool MemoryMedium::MoveTo(uint64_t offset) {
    at_ = static_cast<size_t>(offset);
    return true;
}

bool FeedImage(PackedStream& stream, ImageMedium& medium, const SourceReader& source,
               std::vector<unsigned char>& chunk, ImageResult* result) {
    *result = ImageResult{};
    Bridge bridge{medium};
    const auto fail = [&](ImageFault fault) {
        result->fault = fault;
        return false;
    };
    // The output's own failures are told apart, so they are reported as the
    // output's and not as the source's.
    const auto outputFailed = [&](int errorNumber) {
        result->outputErrno = errorNumber;
        return fail(ImageFault::Output);
    };
    const auto packerFailed = [&](int32_t rc) {
        result->packerResult = rc;
        return fail(ImageFault::Packer);
    };
    int32_t rc = stream.SetCallbacks(&Bridge::Provide, &Bridge::Rewind, kBufferSize, &bridge);
    if (rc == 0) rc = stream.Begin(PS_MODE_WRITE);
    if (rc < 0) return packerFailed(rc);

    uint64_t taken = 0;
    for (;;) {
        size_t got = 0;
        while (got < chunk.size()) {
            const size_t n = source(chunk.data() + got, chunk.size() - got);
            if (n == SIZE_MAX) {
                stream.End();
                return fail(ImageFault::SourceRead);
            }
            if (n == 0) break;
            got += n;
        }
        if (got == 0) break;
        taken += got;
        if (taken > static_cast<uint64_t>(INT32_MAX)) {
            stream.End();
            return fail(ImageFault::TooLarge);
        }
        rc = stream.Write(chunk.data(), static_cast<int32_t>(got));
        if (rc < 0 || bridge.failed) {
            stream.End();
            return bridge.failed ? outputFailed(bridge.failedErrno) : packerFailed(rc);
        }
        if (got < chunk.size()) break;
    }
    const int32_t size = stream.End();
    if (bridge.failed) return outputFailed(bridge.failedErrno);
    if (size < 0) return packerFailed(size);
    // End leaves the medium after the header word. Its result is the
    // image's size for a packing writer (0 when it never got a byte: the
    // 4-byte empty image) and the total for a storing one (under 17 bytes).
    const uint64_t length = taken == 0 ? 4 : taken < PACKED_MAX_MATCH ? 4 + taken : static_cast<uint64_t>(size);
    errno = 0;
    if (!medium.MoveTo(length)) return outputFailed(errno ? errno : EIO);
    result->imageSize = length;
    result->total = taken;
    return true;
}

bool WritePackedImage(std::FILE* out, uint64_t imageStart, const SourceReader& source,
                      std::vector<unsigned char>& chunk, ImageResult* result, PackLevel level) {
    *result = ImageResult{};
    PackedStream stream;
    int32_t rc = stream.Init(PACKED_STREAM_VERSION);
    if (rc == 0) rc = stream.SetLevel(level);
    if (rc < 0) {
        result->fault = ImageFault::Packer;
        result->packerResult = rc;
        return false;
    }
    FileMedium medium(out, imageStart);
    return FeedImage(stream, medium, source, chunk, result);
}

}  // namespace orvobf::writer

// The packed stream's sink on a stdio stream, and the one loop that feeds
// it whole chunks.
#include <orvobf/image_writer.h>

#include <cerrno>
#include <cstdint>
#include <vector>

#include <orvobf/packed_stream.h>
#include <orvobf/platform.h>

namespace orvobf::writer {
namespace {

constexpr int32_t kBufferSize = 16384;

// The stream's medium: the archive file, written from one buffer; the
// rewind for the header word is relative to the image's first byte.
struct Sink {
    std::FILE* out;
    uint64_t imageStart;
    std::vector<unsigned char> buffer = std::vector<unsigned char>(kBufferSize);
    bool failed = false;
    int failedErrno = 0;

    void Failed() {
        if (!failed) failedErrno = errno ? errno : EIO;
        failed = true;
    }
    static unsigned char* Provide(int32_t size, void* user) {
        auto* s = static_cast<Sink*>(user);
        errno = 0;
        if (size > 0 && std::fwrite(s->buffer.data(), static_cast<size_t>(size), 1, s->out) != 1) {
            s->Failed();
            return nullptr;
        }
        return s->buffer.data();
    }
    static unsigned char* Rewind(int32_t offset, void* user) {
        auto* s = static_cast<Sink*>(user);
        errno = 0;
        if (orvobf::platform::StreamSeek(s->out, static_cast<int64_t>(s->imageStart) + offset, SEEK_SET) != 0)
            s->Failed();
        return nullptr;
    }
};

}  // namespace

bool WritePackedImage(std::FILE* out, uint64_t imageStart, const SourceReader& source,
                      std::vector<unsigned char>& chunk, ImageResult* result, PackLevel level) {
    *result = ImageResult{};
    Sink sink{out, imageStart};
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
    PackedStream stream;
    int32_t rc = stream.Init(PACKED_STREAM_VERSION);
    if (rc == 0) rc = stream.SetLevel(level);
    if (rc == 0) rc = stream.SetCallbacks(&Sink::Provide, &Sink::Rewind, kBufferSize, &sink);
    if (rc == 0) rc = stream.Begin(PS_MODE_WRITE);
    if (rc < 0) return packerFailed(rc);

    uint64_t taken = 0;
    for (;;) {
        // Whole chunks, so that only a file under 17 bytes makes a stored image.
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
        if (rc < 0 || sink.failed) {
            stream.End();
            return sink.failed ? outputFailed(sink.failedErrno) : packerFailed(rc);
        }
        if (got < chunk.size()) break;
    }
    const int32_t size = stream.End();
    if (sink.failed) return outputFailed(sink.failedErrno);
    if (size < 0) return packerFailed(size);
    // End leaves the output after the header word. Its result is the
    // image's size for a packing writer (0 when it never got a byte: the
    // 4-byte empty image) and the total for a storing one (under 17 bytes).
    const uint64_t length = taken == 0 ? 4 : taken < PACKED_MAX_MATCH ? 4 + taken : static_cast<uint64_t>(size);
    errno = 0;
    if (orvobf::platform::StreamSeek(out, static_cast<int64_t>(imageStart + length), SEEK_SET) != 0)
        return outputFailed(errno ? errno : EIO);
    result->imageSize = length;
    result->total = taken;
    return true;
}

}  // namespace orvobf::writer

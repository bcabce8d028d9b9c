#include "task_image.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "output_file.h"

namespace orvobf::writer {
namespace {

bool Fail(std::string* error, std::string message) {
    if (error) *error = std::move(message);
    return false;
}

}  // namespace

uint64_t ImageReservation(uint64_t size) {
    return static_cast<uint64_t>(PackedMaxImageSize(static_cast<int64_t>(std::min<uint64_t>(size, INT32_MAX))));
}

bool PackTaskImage(const PackTask& task, PackedStream& stream, ImageMedium& medium,
                   std::vector<unsigned char>& chunk, const std::string& output, uint64_t* length,
                   std::string* error) {
    SourceFile in;
    if (!task.contents && !in.Open(task.diskPath, task.stamp, error)) return false;
    size_t memoryTaken = 0;
    int readErrno = 0;
    const SourceReader source = [&](unsigned char* buffer, size_t capacity) -> size_t {
        if (task.contents) {
            const size_t n = std::min(capacity, task.contents->size() - memoryTaken);
            std::memcpy(buffer, task.contents->data() + memoryTaken, n);
            memoryTaken += n;
            return n;
        }
        const size_t n = in.Read(buffer, capacity);
        if (n == SIZE_MAX) readErrno = errno;
        return n;
    };
    ImageResult image;
    if (!FeedImage(stream, medium, source, chunk, &image)) {
        switch (image.fault) {
        case ImageFault::Output: return Fail(error, WriteFailure(output, image.outputErrno));
        case ImageFault::SourceRead:
            return Fail(error, readErrno ? "cannot read " + task.label + ": " + std::strerror(readErrno)
                                         : task.label + ": read error");
        case ImageFault::TooLarge: return Fail(error, task.label + ": larger than 2 GiB - 1 bytes, too large to pack");
        default: return Fail(error, task.label + ": packer: " + PackedResultText(image.packerResult));
        }
    }
    if (image.total != task.size) return Fail(error, task.label + " changed size while the archive was written");
    *length = image.imageSize;
    return true;
}

}  // namespace orvobf::writer

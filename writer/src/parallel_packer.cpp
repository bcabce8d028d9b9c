#include "parallel_packer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace orvobf::writer {
namespace {

constexpr int32_t kBufferSize = 16384;
constexpr size_t kChunk = 1 << 20;

// The stream's medium: a string. The rewind for the header word moves the
// write position back to the image's first bytes.
struct MemorySink {
    std::string* image;
    size_t at = 0;
    std::vector<unsigned char> buffer = std::vector<unsigned char>(kBufferSize);

    static unsigned char* Provide(int32_t size, void* user) {
        auto* s = static_cast<MemorySink*>(user);
        const size_t n = static_cast<size_t>(size > 0 ? size : 0);
        if (s->image->size() < s->at + n) s->image->resize(s->at + n);
        std::memcpy(s->image->data() + s->at, s->buffer.data(), n);
        s->at += n;
        return s->buffer.data();
    }
    static unsigned char* Rewind(int32_t offset, void* user) {
        static_cast<MemorySink*>(user)->at = static_cast<size_t>(offset);
        return nullptr;
    }
};

bool Failed(PackedImage* image, std::string message) {
    image->ok = false;
    image->error = std::move(message);
    image->bytes.clear();
    return false;
}

}  // namespace

uint64_t ImageReservation(uint64_t size) {
    return static_cast<uint64_t>(PackedMaxImageSize(static_cast<int64_t>(std::min<uint64_t>(size, INT32_MAX))));
}

void PackTaskImage(const PackTask& task, PackedStream& stream, std::vector<unsigned char>& chunk,
                   PackedImage* image) {
    *image = PackedImage{};
    SourceFile in;
    if (!task.contents && !in.Open(task.diskPath, task.stamp, &image->error)) return;
    image->bytes.reserve(ImageReservation(task.size));
    MemorySink sink{&image->bytes};
    int32_t rc = stream.SetCallbacks(&MemorySink::Provide, &MemorySink::Rewind, kBufferSize, &sink);
    if (rc == 0) rc = stream.Begin(PS_MODE_WRITE);
    if (rc < 0) {
        Failed(image, task.label + ": packer: " + PackedResultText(rc));
        return;
    }
    size_t memoryTaken = 0;
    uint64_t taken = 0;
    chunk.resize(kChunk);
    for (;;) {
        // Whole chunks, as the archive's own image writer feeds the stream,
        // so that only a file under 17 bytes makes a stored image.
        size_t got = 0;
        while (got < chunk.size()) {
            size_t n;
            if (task.contents) {
                n = std::min(chunk.size() - got, task.contents->size() - memoryTaken);
                std::memcpy(chunk.data() + got, task.contents->data() + memoryTaken, n);
                memoryTaken += n;
            } else {
                n = in.Read(chunk.data() + got, chunk.size() - got);
                if (n == SIZE_MAX) {
                    const int why = errno;
                    stream.End();
                    Failed(image, "cannot read " + task.label + ": " + std::strerror(why));
                    return;
                }
            }
            if (n == 0) break;
            got += n;
        }
        if (got == 0) break;
        taken += got;
        if (taken > static_cast<uint64_t>(INT32_MAX)) {
            stream.End();
            Failed(image, task.label + ": larger than 2 GiB - 1 bytes, too large to pack");
            return;
        }
        rc = stream.Write(chunk.data(), static_cast<int32_t>(got));
        if (rc < 0) {
            stream.End();
            Failed(image, task.label + ": packer: " + PackedResultText(rc));
            return;
        }
        if (got < chunk.size()) break;
    }
    const int32_t size = stream.End();
    if (size < 0) {
        Failed(image, task.label + ": packer: " + PackedResultText(size));
        return;
    }
    if (taken != task.size) {
        Failed(image, task.label + " changed size while the archive was written");
        return;
    }
    // End's result is the image's size for a packing writer (0 when it never
    // got a byte: the 4-byte empty image) and the total for a storing one.
    const uint64_t length = taken == 0 ? 4 : taken < PACKED_MAX_MATCH ? 4 + taken : static_cast<uint64_t>(size);
    if (length > image->bytes.size()) {
        Failed(image, task.label + ": packer: image shorter than its length");
        return;
    }
    image->bytes.resize(length);
    image->ok = true;
}

ParallelPacker::ParallelPacker(std::vector<PackTask> tasks, PackLevel level, unsigned threads, uint64_t bound)
    : tasks_(std::move(tasks)), images_(tasks_.size()), ready_(tasks_.size(), 0), level_(level), bound_(bound) {
    threads = std::max(1u, threads);
    for (unsigned i = 0; i < threads && i < tasks_.size(); ++i) workers_.emplace_back([this] { Work(); });
}

ParallelPacker::~ParallelPacker() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    for (std::thread& worker : workers_) worker.join();
}

void ParallelPacker::Work() {
    PackedStream stream;
    std::vector<unsigned char> chunk;
    int32_t rc = stream.Init(PACKED_STREAM_VERSION);
    if (rc == 0) rc = stream.SetLevel(level_);
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        // In order only: the task Take waits for is always started first,
        // and it always fits once everything before it was taken.
        changed_.wait(lock, [&] {
            return stop_ || next_ == tasks_.size() ||
                   held_ == 0 || held_ + ImageReservation(tasks_[next_].size) <= bound_;
        });
        if (stop_ || next_ == tasks_.size()) return;
        const size_t index = next_++;
        held_ += ImageReservation(tasks_[index].size);
        lock.unlock();
        PackedImage image;
        if (rc < 0) Failed(&image, tasks_[index].label + ": packer: " + PackedResultText(rc));
        else PackTaskImage(tasks_[index], stream, chunk, &image);
        lock.lock();
        images_[index] = std::move(image);
        ready_[index] = 1;
        changed_.notify_all();
    }
}

bool ParallelPacker::Take(const std::function<bool(const PackedImage&)>& use) {
    std::unique_lock<std::mutex> lock(mutex_);
    const size_t index = taken_++;
    changed_.wait(lock, [&] { return ready_[index] != 0; });
    lock.unlock();
    // Ready images are left alone by the workers.
    const bool result = use(images_[index]);
    { PackedImage spent = std::move(images_[index]); }  // freed before the room is given back
    lock.lock();
    held_ -= ImageReservation(tasks_[index].size);
    lock.unlock();
    changed_.notify_all();
    return result;
}

}  // namespace orvobf::writer

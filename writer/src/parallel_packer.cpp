#include "parallel_packer.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "image_feed.h"

namespace orvobf::writer {
namespace {
constexpr size_t kChunk = 1 << 20;  // the pieces sources are read in, as in the archive's turn

// A medium that stops taking bytes once the packer is being torn down, so
// that a failure in the archive's turn is not held up by a large image
// nobody will take.
class StoppableMedium final : public ImageMedium {
public:
    StoppableMedium(ImageMedium& inner, const std::atomic<bool>& stop) : inner_(inner), stop_(stop) {}
    bool Put(const unsigned char* bytes, size_t size) override {
        if (stop_.load(std::memory_order_relaxed)) {
            errno = ECANCELED;
            return false;
        }
        return inner_.Put(bytes, size);
    }
    bool MoveTo(uint64_t offset) override { return inner_.MoveTo(offset); }

private:
    ImageMedium& inner_;
    const std::atomic<bool>& stop_;
};
}  // namespace

ParallelPacker::ParallelPacker(std::vector<PackTask> tasks, PackLevel level, unsigned threads, uint64_t bound,
                               std::string archive)
    : tasks_(std::move(tasks)), images_(tasks_.size()), ready_(tasks_.size(), 0), level_(level), bound_(bound),
      spillBound_(std::max(1u, threads)), archive_(std::move(archive)) {
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

bool ParallelPacker::Spilled(size_t index) const { return ImageReservation(tasks_[index].size) > bound_; }

// In order only: the task Take waits for is always started first, and it
// always fits once everything before it was taken.
bool ParallelPacker::Fits(size_t index) const {
    if (Spilled(index)) return spills_ < spillBound_;
    return held_ == 0 || held_ + ImageReservation(tasks_[index].size) <= bound_;
}

void ParallelPacker::Work() {
    PackedStream stream;
    std::vector<unsigned char> chunk(kChunk);
    int32_t rc = stream.Init(PACKED_STREAM_VERSION);
    if (rc == 0) rc = stream.SetLevel(level_);
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return stop_ || next_ == tasks_.size() || Fits(next_); });
        if (stop_ || next_ == tasks_.size()) return;
        const size_t index = next_++;
        const bool spilled = Spilled(index);
        if (spilled) ++spills_;
        else held_ += ImageReservation(tasks_[index].size);
        lock.unlock();
        PackedImage image;
        if (rc < 0) image.error = tasks_[index].label + ": packer: " + PackedResultText(rc);
        else image = Pack(tasks_[index], spilled, stream, chunk);
        lock.lock();
        images_[index] = std::move(image);
        ready_[index] = 1;
        changed_.notify_all();
    }
}

PackedImage ParallelPacker::Pack(const PackTask& task, bool spilled, PackedStream& stream,
                                 std::vector<unsigned char>& chunk) {
    PackedImage image;
    if (spilled) {
        image.spill = CreateSpillFile(archive_, &image.error);
        if (!image.spill) return image;
        FileMedium file(image.spill.get(), 0);
        StoppableMedium medium(file, stop_);
        image.ok = PackTaskImage(task, stream, medium, chunk, archive_, &image.length, &image.error);
        // The tail still buffered is written now, so a full disk is this
        // task's failure, reported as the archive's.
        if (image.ok && (std::fflush(image.spill.get()) != 0 || std::ferror(image.spill.get()))) {
            image.ok = false;
            image.error = WriteFailure(archive_, errno);
        }
        if (!image.ok) image.spill.reset();
        return image;
    }
    // Images in memory: the output fails only when the image will never
    // be taken, so it is never named.
    image.bytes.reserve(ImageReservation(task.size));
    MemoryMedium memory(&image.bytes);
    StoppableMedium medium(memory, stop_);
    image.ok = PackTaskImage(task, stream, medium, chunk, task.label, &image.length, &image.error);
    if (image.ok && image.length > image.bytes.size()) {
        image.ok = false;
        image.error = task.label + ": packer: image shorter than its length";
    }
    image.bytes.resize(image.ok ? image.length : 0);
    return image;
}

bool ParallelPacker::Take(const std::function<bool(const PackedImage&)>& use) {
    std::unique_lock<std::mutex> lock(mutex_);
    const size_t index = taken_++;
    changed_.wait(lock, [&] { return ready_[index] != 0; });
    lock.unlock();
    // Ready images are left alone by the workers.
    const bool result = use(images_[index]);
    { PackedImage spent = std::move(images_[index]); }  // freed (and its disk) before the room is given back
    lock.lock();
    if (Spilled(index)) --spills_;
    else held_ -= ImageReservation(tasks_[index].size);
    lock.unlock();
    changed_.notify_all();
    return result;
}

}  // namespace orvobf::writer

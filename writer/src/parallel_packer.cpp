#include "parallel_packer.h"

#include <algorithm>

namespace orvobf::writer {
namespace {
constexpr size_t kChunk = 1 << 20;  // the pieces sources are read in, as in the archive's turn
}  // namespace

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
    std::vector<unsigned char> chunk(kChunk);
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
        if (rc < 0) {
            image.error = tasks_[index].label + ": packer: " + PackedResultText(rc);
        } else {
            // Images in memory: the output never fails, so it is never named.
            const PackTask& task = tasks_[index];
            image.bytes.reserve(ImageReservation(task.size));
            MemoryMedium medium(&image.bytes);
            uint64_t length = 0;
            image.ok = PackTaskImage(task, stream, medium, chunk, task.label, &length, &image.error);
            if (image.ok && length > image.bytes.size()) {
                image.ok = false;
                image.error = task.label + ": packer: image shorter than its length";
            }
            image.bytes.resize(image.ok ? length : 0);
        }
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

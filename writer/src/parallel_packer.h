// Packs files' images on worker threads, ahead of their turn, and hands
// them back in the order the files were given, so the archive's bytes do
// not depend on the number of threads. The images in memory waiting for
// their turn (or being made) never take more than a fixed number of bytes:
// a worker starts the next file only when its worst-case image fits in
// what is left. A file whose worst-case image alone exceeds that is packed
// into a spill file beside the archive instead, no more of them at a time
// than there are threads, so the disk they take is bounded too.
#ifndef ORVOBF_WRITER_PARALLEL_PACKER_H
#define ORVOBF_WRITER_PARALLEL_PACKER_H

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <orvobf/packed_stream.h>
#include "output_file.h"
#include "task_image.h"

namespace orvobf::writer {

struct PackedImage {
    bool ok = false;
    uint64_t length = 0;  // the image's length
    std::string bytes;    // the whole image, unless it was spilled
    SpillFile spill;      // or the image from its first byte, flushed
    std::string error;
};

class ParallelPacker {
public:
    // Spill files go beside `archive`, and failures to write them name it.
    ParallelPacker(std::vector<PackTask> tasks, PackLevel level, unsigned threads, uint64_t bound,
                   std::string archive);
    ~ParallelPacker();
    ParallelPacker(const ParallelPacker&) = delete;
    ParallelPacker& operator=(const ParallelPacker&) = delete;

    // Waits for the next task's image, in the tasks' order, and hands it
    // to `use`; it counts against the bounds until `use` returns. Returns
    // what `use` returns.
    bool Take(const std::function<bool(const PackedImage&)>& use);

private:
    void Work();
    bool Spilled(size_t index) const;
    bool Fits(size_t index) const;
    PackedImage Pack(const PackTask& task, bool spilled, PackedStream& stream, std::vector<unsigned char>& chunk);

    std::vector<PackTask> tasks_;
    std::vector<PackedImage> images_;
    std::vector<char> ready_;
    PackLevel level_;
    uint64_t bound_;
    size_t spillBound_;
    std::string archive_;
    std::mutex mutex_;
    std::condition_variable changed_;
    size_t next_ = 0;    // the next task a worker starts
    size_t taken_ = 0;   // the next task Take hands back
    uint64_t held_ = 0;  // reservations of in-memory tasks started and not yet taken
    size_t spills_ = 0;  // spilled tasks started and not yet taken
    std::atomic<bool> stop_{false};  // also cuts short the images being made
    std::vector<std::thread> workers_;
};

}  // namespace orvobf::writer

#endif

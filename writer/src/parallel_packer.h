// Packs files' images on worker threads, into memory, and hands them back
// in the order the files were given, so the archive's bytes do not depend
// on the number of threads. The images waiting for their turn (or being
// made) never take more than a fixed number of bytes: a worker starts the
// next file only when its worst-case image fits in what is left.
#ifndef ORVOBF_WRITER_PARALLEL_PACKER_H
#define ORVOBF_WRITER_PARALLEL_PACKER_H

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <orvobf/packed_stream.h>
#include "task_image.h"

namespace orvobf::writer {

struct PackedImage {
    bool ok = false;
    std::string bytes;  // the whole image
    std::string error;
};

class ParallelPacker {
public:
    // Every task's ImageReservation must be within `bound`.
    ParallelPacker(std::vector<PackTask> tasks, PackLevel level, unsigned threads, uint64_t bound);
    ~ParallelPacker();
    ParallelPacker(const ParallelPacker&) = delete;
    ParallelPacker& operator=(const ParallelPacker&) = delete;

    // Waits for the next task's image, in the tasks' order, and hands it
    // to `use`; its memory counts against the bound until `use` returns.
    // Returns what `use` returns.
    bool Take(const std::function<bool(const PackedImage&)>& use);

private:
    void Work();

    std::vector<PackTask> tasks_;
    std::vector<PackedImage> images_;
    std::vector<char> ready_;
    PackLevel level_;
    uint64_t bound_;
    std::mutex mutex_;
    std::condition_variable changed_;
    size_t next_ = 0;   // the next task a worker starts
    size_t taken_ = 0;  // the next task Take hands back
    uint64_t held_ = 0; // reservations of tasks started and not yet taken
    bool stop_ = false;
    std::vector<std::thread> workers_;
};

}  // namespace orvobf::writer

#endif

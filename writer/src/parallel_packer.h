// Packs files' images on worker threads, into memory, and hands them back
// in the order the files were given, so the archive's bytes do not depend
// on the number of threads. The images waiting for their turn (or being
// made) never take more than a fixed number of bytes: a worker starts the
// next file only when its worst-case image fits in what is left.
#ifndef ORVOBF_WRITER_PARALLEL_PACKER_H
#define ORVOBF_WRITER_PARALLEL_PACKER_H

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <orvobf/packed_stream.h>
#include "source_file.h"

namespace orvobf::writer {

// One file to pack: from memory (`contents`) or from disk (`diskPath`).
struct PackTask {
    const std::string* contents = nullptr;
    std::filesystem::path diskPath;
    SourceStamp stamp;
    uint64_t size = 0;
    std::string label;  // the file as messages name it
};

struct PackedImage {
    bool ok = false;
    std::string bytes;  // the whole image
    std::string error;
};

// Memory a file's image can take at most while it waits: the worst-case
// image. Files over the bound are packed elsewhere.
uint64_t ImageReservation(uint64_t size);

// Packs one task's image into `image` with `stream` (begun and ended here),
// reading through `chunk`. On failure image->error says why, naming the
// file by its label.
void PackTaskImage(const PackTask& task, PackedStream& stream, std::vector<unsigned char>& chunk,
                   PackedImage* image);

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

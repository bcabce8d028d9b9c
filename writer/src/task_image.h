// One file's packed image, from memory or from disk, whatever medium it
// goes to: the archive in the file's turn, or memory ahead of it. Failures
// name the file, the same way for both.
#ifndef ORVOBF_WRITER_TASK_IMAGE_H
#define ORVOBF_WRITER_TASK_IMAGE_H

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <orvobf/packed_stream.h>
#include "image_feed.h"
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

// Memory a file's image can take at most while it waits: the worst-case
// image.
uint64_t ImageReservation(uint64_t size);

// Packs the task's file into `medium` through `stream` (see FeedImage) and
// sets *length to the image's length. On failure *error says why, naming
// the file by its label, or `output` when writing the medium failed.
bool PackTaskImage(const PackTask& task, PackedStream& stream, ImageMedium& medium,
                   std::vector<unsigned char>& chunk, const std::string& output, uint64_t* length,
                   std::string* error);

}  // namespace orvobf::writer

#endif

// A disk file that goes into an archive. The scan opens it once, so that a
// file it cannot read is known before anything is written, and notes what
// it saw (a regular file, its size and identity); the copy opens the path
// again and reads only if the opened file is the one the scan saw. A file
// the scan reached by its own name is opened without following a link, so
// one swapped for a link or a device in between is refused instead of
// followed; one reached through a link is opened through it and known by
// its identity alone.
#ifndef ORVOBF_WRITER_SOURCE_FILE_H
#define ORVOBF_WRITER_SOURCE_FILE_H

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace orvobf::writer {

struct SourceStamp {
    uint64_t size = 0;
    uint64_t device = 0;  // identity where the system has one (0 elsewhere)
    uint64_t inode = 0;
    bool throughLink = false;  // the path's last component is a link to the file
};

// A disk path as messages show it (no control bytes reach the terminal).
std::string ShownPath(const std::filesystem::path& path);

// Fails with "PATH: <why>" unless the path names a regular file that can
// be opened for reading: the file itself, or with `throughLink` what the
// link there points to.
bool StampSource(const std::filesystem::path& path, bool throughLink, SourceStamp* stamp, std::string* error);

class SourceFile {
public:
    SourceFile() = default;
    ~SourceFile();
    SourceFile(const SourceFile&) = delete;
    SourceFile& operator=(const SourceFile&) = delete;

    // Opens the path and checks it against the scan's stamp.
    bool Open(const std::filesystem::path& path, const SourceStamp& seen, std::string* error);
    // Bytes read (0 at the end), or SIZE_MAX on a read error (errno set).
    size_t Read(void* buffer, size_t capacity);

private:
    int fd_ = -1;
};

}  // namespace orvobf::writer

#endif

// The Files the mount reads with, kept open from one read to the next.
// Reads come by path, several at once (the kernel's read-ahead runs beside
// the reader), and a File serves one read at a time. A packed entry
// decodes on forward from where its File stands and going back costs
// more, so a read borrows the File of its path that stands closest before
// where it starts (else the closest after, else a new one); when another
// read of the path is under way and ends just there, it waits for that
// File instead, so that a file read from start to end decodes straight on
// however its reads overlap.
#ifndef BIGFILE_TOOL_FILE_POOL_H
#define BIGFILE_TOOL_FILE_POOL_H

#include <condition_variable>
#include <cstdint>
#include <list>
#include <mutex>
#include <string>
#include <string_view>

#include <orvobf/orvobf.hpp>

namespace orvobf::tool {

class FilePool {
public:
    // Idle Files kept; beyond, the longest idle is closed.
    static constexpr size_t kIdleFiles = 64;

    struct Slot {
        std::string path;
        File file;          // not open in a new slot: the borrower opens it
        uint64_t until = 0;  // while borrowed: where the read ends
        bool busy = false;
    };

    // A slot of `path` for a read of [at, until), given back when the
    // Borrowed goes (a File that did not open is dropped then).
    struct Borrowed {
        Borrowed(FilePool& pool, std::string_view path, uint64_t at, uint64_t until)
            : pool(pool), slot(pool.Borrow(path, at, until)) {}
        ~Borrowed() { pool.Return(slot); }
        Borrowed(const Borrowed&) = delete;
        Borrowed& operator=(const Borrowed&) = delete;
        FilePool& pool;
        Slot* slot;
    };

private:
    Slot* Borrow(std::string_view path, uint64_t at, uint64_t until);
    void Return(Slot* slot) noexcept;

    std::mutex lock_;
    std::condition_variable returned_;
    std::list<Slot> slots_;  // the most recently returned first
};

}  // namespace orvobf::tool

#endif

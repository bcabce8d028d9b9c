// State of one open archive entry, and the handle table's checks.
#ifndef ORVOBF_OPEN_FILE_STATE_H
#define ORVOBF_OPEN_FILE_STATE_H

#include "ORVOBF.H"
#include "bigfile_internal.h"
#include "platform.h"

// Positions are absolute archive offsets in 64 bits: dataBase + offset +
// size reaches past 4 GiB, and nothing here may wrap.
struct OpenFileState {
    FileRecord* record;       // in the tree; not owned
    int64_t position;         // dataBase + offset + bytes consumed
    int64_t end;              // offset + size, relative to dataBase
    uint32_t eof;             // a read was cut short by the entry's end
    uint32_t mode;            // BF_MODE_BINARY; anything else is text
    void* packedFile;         // the packed adaptor; null for a stored entry
    int64_t packedStart;      // packed entries: absolute start of the image
    int64_t packedStreamPos;  // packed entries: adaptor stream position
};

namespace bfcore {

// Holds the object's lock for a scope; there may be no lock (before Init).
class LockGuard {
public:
    explicit LockGuard(BfLock* lock) : lock_(lock) {
        if (lock_) bfplat::LockEnter(lock_);
    }
    ~LockGuard() {
        if (lock_) bfplat::LockLeave(lock_);
    }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

private:
    BfLock* lock_;
};

inline constexpr uint32_t kKindDisk = 0;
inline constexpr uint32_t kKindArchive = 1;

// A handle that FileOpen handed out and that is still open; every handle
// operation checks it before it touches a slot.
inline bool IsOpenHandle(const BigFile& bf, FileHandle handle) {
    return bf.handles && handle > 0 && static_cast<uint32_t>(handle) < bf.handleCount &&
           bf.handles[handle] != nullptr;
}

inline OpenFileState* ArchiveState(const BigFile& bf, FileHandle handle) {
    return bf.handleKinds[handle] == kKindArchive ? static_cast<OpenFileState*>(bf.handles[handle])
                                                  : nullptr;
}

// Packed branches of the handle operations (file_io_packed.cpp), called
// under the lock. OpenPacked returns 0 or the error code, with its detail.
int32_t OpenPacked(BigFile& bf, OpenFileState* state, uint32_t mode, uint32_t* detail);
int ReadPacked(BigFile& bf, OpenFileState* state, void* buffer, uint32_t count, uint32_t* read);
int SeekPacked(BigFile& bf, OpenFileState* state, int64_t target);
void ClosePacked(BigFile& bf, OpenFileState* state);

}  // namespace bfcore

#endif

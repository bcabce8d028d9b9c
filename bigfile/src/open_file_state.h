// State of one open handle, and how a handle operation holds it.
#ifndef ORVOBF_OPEN_FILE_STATE_H
#define ORVOBF_OPEN_FILE_STATE_H

#include <atomic>

#include <orvobf/ORVOBF.H>
#include "bigfile_internal.h"
#include <orvobf/platform.h>

// Positions are absolute archive offsets in 64 bits: dataBase + offset +
// size reaches past 4 GiB, and nothing here may wrap.
//
// Every slot of the handle table holds one, a disk file's too. Every field
// below `lock` is read and written only while `lock` is held, so
// operations on one handle run one at a time while those on different
// handles run side by side. `references` counts the handle table's slot
// and each operation that found the state there: the state is freed when
// the last of them lets go, never while an operation waits for its lock.
struct OpenFileState {
    orvobf::platform::SlimLock lock{};
    std::atomic<uint32_t> references{1};
    uint32_t closed = 0;           // FileClose has run: the handle is gone
    FILE* disk = nullptr;          // a disk file's stream (kind 0), owned
    FileRecord* record = nullptr;  // archive entries: in the tree; not owned
    int64_t position = 0;          // dataBase + offset + bytes consumed
    int64_t end = 0;               // offset + size, relative to dataBase
    uint32_t eof = 0;              // a read was cut short by the entry's end
    uint32_t mode = 0;             // BF_MODE_BINARY; anything else is text
    void* packedFile = nullptr;    // the packed adaptor; null for a stored entry
    int64_t packedStart = 0;       // packed entries: absolute start of the image
};

namespace orvobf::core {

inline constexpr uint32_t kKindDisk = 0;
inline constexpr uint32_t kKindArchive = 1;

// A handle that FileOpen handed out and that is still open; every handle
// operation checks it before it touches a slot. Called under the lock.
inline bool IsOpenHandle(const BigFile& bf, FileHandle handle) {
    return bf.handles && handle > 0 && static_cast<uint32_t>(handle) < bf.handleCount &&
           bf.handles[handle] != nullptr;
}

// A new state (BFE_MEMORY when null), and the end of one reference to it.
OpenFileState* NewState();
void Release(OpenFileState* state);

// One handle, held for one operation. The handle is checked under the
// object's lock, its state referenced, the object's lock left and the
// handle's own lock taken: the operation works outside the object's lock.
// A handle closed while the operation waited counts as not open.
class HeldHandle {
public:
    HeldHandle(BigFile& bf, FileHandle handle);
    ~HeldHandle();
    HeldHandle(const HeldHandle&) = delete;
    HeldHandle& operator=(const HeldHandle&) = delete;

    explicit operator bool() const { return state_ != nullptr; }
    FILE* Disk() const { return state_->disk; }
    OpenFileState* State() const { return state_; }

private:
    OpenFileState* state_ = nullptr;
};

// Opens the archive entry whose record (in the loaded tree) the caller
// found: 1 with the new handle in *out; 0 with the error stored, or with
// no code when no slot is free. logName names the entry in the log.
int OpenRecord(BigFile& bf, FileRecord* record, uint32_t mode, FileHandle* out, const char* logName);

// Moves a held archive entry to `target`, an absolute archive position: 0
// with no code when it is outside the entry, 0 with the error stored when
// the packed stream cannot get there.
int SeekEntry(BigFile& bf, OpenFileState* state, int64_t target);

// Packed branches of the handle operations (file_io_packed.cpp), called
// with the handle held and without the object's lock. OpenPacked returns
// 0 or the error code, with its detail.
int32_t OpenPacked(BigFile& bf, OpenFileState* state, uint32_t mode, uint32_t* detail);
int ReadPacked(BigFile& bf, OpenFileState* state, void* buffer, uint32_t count, uint32_t* read);
int SeekPacked(BigFile& bf, OpenFileState* state, int64_t target);
void ClosePacked(OpenFileState* state);

// A read of the archive file failed: every later archive read fails with
// BFE_FILE_IO detail 0 until the next Open, as a stream's error indicator
// would make it.
inline void NoteArchiveFailure(BigFile& bf) {
    std::atomic_ref<uint32_t>(bf.archiveFailed).store(1, std::memory_order_relaxed);
}
inline bool ArchiveFailed(BigFile& bf) {
    return std::atomic_ref<uint32_t>(bf.archiveFailed).load(std::memory_order_relaxed) != 0;
}

}  // namespace orvobf::core

#endif

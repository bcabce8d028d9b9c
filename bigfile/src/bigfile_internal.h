// Helpers shared by the archive object's source files.
#ifndef ORVOBF_BIGFILE_INTERNAL_H
#define ORVOBF_BIGFILE_INTERNAL_H

#include <cstddef>

#include <orvobf/ORVOBF.H>
#include <orvobf/archive_format.h>
#include <orvobf/platform.h>

// The public header spells the format's values as the system names them.
static_assert(BF_ATTR_DIR == orvobf::format::kAttrDir && BF_ATTR_FILE == orvobf::format::kAttrFile);
static_assert(sizeof(FileRecord) == orvobf::format::kRecordSize);
static_assert(offsetof(FileRecord, size) == orvobf::format::kRecordSizeAt &&
              offsetof(FileRecord, packed) == orvobf::format::kRecordPackedAt &&
              offsetof(FileRecord, offset) == orvobf::format::kRecordOffsetAt);

namespace orvobf::core {

// Holds the object's lock for a scope; there may be no lock (before Init).
class LockGuard {
public:
    explicit LockGuard(BfLock* lock) : lock_(lock) {
        if (lock_) orvobf::platform::LockEnter(lock_);
    }
    ~LockGuard() {
        if (lock_) orvobf::platform::LockLeave(lock_);
    }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

private:
    BfLock* lock_;
};

// The first entry of `node`, in insertion order, of the namesakes of
// `name` that passes the kind test: all bits of `mask` (fileOnly: a file
// entry). Reads the tree only, so any thread may call it while the tree
// is loaded.
DirEntry* FindNamesake(const DirNode* node, const char* name, uint32_t mask, bool fileOnly);
// The entry of `node` named `name` that holds `payload`.
DirEntry* FindHolder(const DirNode* node, const char* name, const void* payload);

// An entry with the directory bit is a directory whatever else is set, so
// its payload is never taken for a record.
inline bool IsDirEntry(uint32_t attributes) { return (attributes & BF_ATTR_DIR) != 0; }
inline bool IsFileEntry(uint32_t attributes) {
    return (attributes & (BF_ATTR_DIR | BF_ATTR_FILE)) == BF_ATTR_FILE;
}

// Attributes as the kind test sees them: the file bit is dropped from a
// directory entry.
inline uint32_t KindBits(uint32_t attributes) {
    return IsDirEntry(attributes) ? (attributes & ~BF_ATTR_FILE) : attributes;
}

// Forgets what the calling thread's calls stored, so that GetCallError
// after the next call tells that call's error alone.
void ForgetCallError();

// While one lives, the signature check on this thread accepts another
// format version without its warning box (Open with BF_OPEN_QUIET).
class QuietSignatureCheck {
public:
    explicit QuietSignatureCheck(bool quiet);
    ~QuietSignatureCheck();
    QuietSignatureCheck(const QuietSignatureCheck&) = delete;
    QuietSignatureCheck& operator=(const QuietSignatureCheck&) = delete;

private:
    bool saved_;
};

}  // namespace orvobf::core

#endif

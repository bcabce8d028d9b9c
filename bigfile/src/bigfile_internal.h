// Helpers shared by the archive object's source files.
#ifndef ORVOBF_BIGFILE_INTERNAL_H
#define ORVOBF_BIGFILE_INTERNAL_H

#include <cstddef>

#include "ORVOBF.H"
#include "orvobf/archive_format.h"

// The public header spells the format's values as the system names them.
static_assert(BF_ATTR_DIR == orvobf::format::kAttrDir && BF_ATTR_FILE == orvobf::format::kAttrFile);
static_assert(sizeof(FileRecord) == orvobf::format::kRecordSize);
static_assert(offsetof(FileRecord, size) == orvobf::format::kRecordSizeAt &&
              offsetof(FileRecord, packed) == orvobf::format::kRecordPackedAt &&
              offsetof(FileRecord, offset) == orvobf::format::kRecordOffsetAt);

namespace bfcore {

// streamPos when nothing says where the archive stream stands, so the next
// stored read must seek. Entries may start at position 0 (a dataBase of 0
// with an offset of 0 shares the header's bytes), so 0 cannot mean that;
// no file position comes near this value.
inline constexpr uint64_t kStreamPosUnknown = UINT64_MAX;

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

}  // namespace bfcore

#endif

// Seek, tell, size and end-of-file of a handle.
#include <cstdio>

#include "ORVOBF.H"
#include "open_file_state.h"
#include "platform.h"

int BigFile::FileSeek(FileHandle handle, int32_t offset, int32_t origin) {
    bfcore::LockGuard guard(lock);
    if (!bfcore::IsOpenHandle(*this, handle)) {
        SetError(BFE_BAD_HANDLE, 0);
        return 0;
    }
    if (handleKinds[handle] == bfcore::kKindDisk) {
        if (origin < 0 || origin > 2) return 0;
        static const int kOrigins[] = {SEEK_SET, SEEK_CUR, SEEK_END};
        return bfplat::StreamSeek(static_cast<FILE*>(handles[handle]), offset, kOrigins[origin]) == 0;
    }
    OpenFileState* state = bfcore::ArchiveState(*this, handle);
    const int64_t start = int64_t{dataBase} + state->record->offset;
    int64_t target;
    switch (origin) {
        case 0: target = start + offset; break;
        case 1: target = state->position + offset; break;
        // From the end the offset counts backwards: 0 is the end.
        case 2: target = start + int64_t{state->record->size} - offset; break;
        default: target = start; break;
    }
    if (target < start || target > int64_t{dataBase} + state->end) return 0;
    if (state->packedFile) {
        if (!bfcore::SeekPacked(*this, state, target)) return 0;
    } else if (bfplat::StreamSeek(archiveStream, target, SEEK_SET) != 0) {
        return 0;
    }
    streamPos = bfcore::kStreamPosUnknown;
    state->position = target;
    state->eof = 0;
    return 1;
}

int32_t BigFile::FileTell(FileHandle handle) {
    bfcore::LockGuard guard(lock);
    if (!bfcore::IsOpenHandle(*this, handle)) {
        SetError(BFE_BAD_HANDLE, 0);
        return -1;
    }
    if (handleKinds[handle] == bfcore::kKindDisk)
        return static_cast<int32_t>(bfplat::StreamTell(static_cast<FILE*>(handles[handle])));
    const OpenFileState* state = bfcore::ArchiveState(*this, handle);
    return static_cast<int32_t>(state->position - state->record->offset - int64_t{dataBase});
}

int32_t BigFile::FileSize(FileHandle handle) {
    bfcore::LockGuard guard(lock);
    if (!bfcore::IsOpenHandle(*this, handle)) {
        SetError(BFE_BAD_HANDLE, 0);
        return -1;
    }
    if (handleKinds[handle] == bfcore::kKindDisk)
        return static_cast<int32_t>(bfplat::StreamLength(static_cast<FILE*>(handles[handle])));
    return static_cast<int32_t>(bfcore::ArchiveState(*this, handle)->record->size);
}

int BigFile::FileEof(FileHandle handle) {
    bfcore::LockGuard guard(lock);
    if (!bfcore::IsOpenHandle(*this, handle)) {
        SetError(BFE_BAD_HANDLE, 0);
        return 1;
    }
    if (handleKinds[handle] == bfcore::kKindDisk)
        return std::feof(static_cast<FILE*>(handles[handle])) ? 1 : 0;
    return bfcore::ArchiveState(*this, handle)->eof ? 1 : 0;
}

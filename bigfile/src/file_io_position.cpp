// Seek, tell, size and end-of-file of a handle.
#include <cstdio>

#include <orvobf/ORVOBF.H>
#include "open_file_state.h"
#include <orvobf/platform.h>

int BigFile::FileSeek(FileHandle handle, int32_t offset, int32_t origin) {
    orvobf::core::HeldHandle held(*this, handle);
    if (!held) {
        SetError(BFE_BAD_HANDLE, 0);
        return 0;
    }
    if (FILE* disk = held.Disk()) {
        if (origin < 0 || origin > 2) return 0;
        static const int kOrigins[] = {SEEK_SET, SEEK_CUR, SEEK_END};
        return orvobf::platform::StreamSeek(disk, offset, kOrigins[origin]) == 0;
    }
    OpenFileState* state = held.State();
    const int64_t start = int64_t{dataBase} + state->record->offset;
    int64_t target;
    switch (origin) {
        case 0: target = start + offset; break;
        case 1: target = state->position + offset; break;
        // From the end the offset counts backwards: 0 is the end.
        case 2: target = start + int64_t{state->record->size} - offset; break;
        default: target = start; break;
    }
    return orvobf::core::SeekEntry(*this, state, target);
}

int orvobf::core::SeekEntry(BigFile& bf, OpenFileState* state, int64_t target) {
    if (target < int64_t{bf.dataBase} + state->record->offset || target > int64_t{bf.dataBase} + state->end)
        return 0;
    // A stored entry's reads are positioned: nothing to move but its own
    // position.
    if (state->packedFile && !SeekPacked(bf, state, target)) return 0;
    state->position = target;
    state->eof = 0;
    return 1;
}

int32_t BigFile::FileTell(FileHandle handle) {
    orvobf::core::HeldHandle held(*this, handle);
    if (!held) {
        SetError(BFE_BAD_HANDLE, 0);
        return -1;
    }
    if (FILE* disk = held.Disk()) return static_cast<int32_t>(orvobf::platform::StreamTell(disk));
    const OpenFileState* state = held.State();
    return static_cast<int32_t>(state->position - state->record->offset - int64_t{dataBase});
}

int32_t BigFile::FileSize(FileHandle handle) {
    orvobf::core::HeldHandle held(*this, handle);
    if (!held) {
        SetError(BFE_BAD_HANDLE, 0);
        return -1;
    }
    if (FILE* disk = held.Disk()) return static_cast<int32_t>(orvobf::platform::StreamLength(disk));
    return static_cast<int32_t>(held.State()->record->size);
}

int BigFile::FileEof(FileHandle handle) {
    orvobf::core::HeldHandle held(*this, handle);
    if (!held) {
        SetError(BFE_BAD_HANDLE, 0);
        return 1;
    }
    if (FILE* disk = held.Disk()) return std::feof(disk) ? 1 : 0;
    return held.State()->eof ? 1 : 0;
}

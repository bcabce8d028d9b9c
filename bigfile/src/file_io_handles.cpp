// Handle table: finding a slot, opening entries and disk files, closing.
#include <cstdio>
#include <cstring>

#include "ORVOBF.H"
#include "open_file_state.h"
#include "platform.h"

namespace {
constexpr size_t kMaxLookupName = 259;  // base name + extension, as the lookup buffer holds
constexpr size_t kMaxDirPart = 255;

FILE* OpenDisk(const char* path, uint32_t mode) {
    return std::fopen(path, mode == BF_MODE_BINARY ? "rb" : "rt");
}

// The drive is dropped; the directory part runs to the last separator and
// the name (base name and extension) follows it.
void SplitLookupPath(const char* path, const char*& dirBegin, size_t& dirLength,
                     const char*& name) {
    if (path[0] != '\0' && path[1] == ':') path += 2;
    const char* lastSeparator = nullptr;
    for (const char* p = path; *p; ++p)
        if (*p == '/' || *p == '\\') lastSeparator = p;
    dirBegin = path;
    dirLength = lastSeparator ? static_cast<size_t>(lastSeparator - path + 1) : 0;
    name = lastSeparator ? lastSeparator + 1 : path;
}
}  // namespace

int32_t BigFile::FindFreeHandle() {
    if (!handles || handleCount < 2) return -1;
    for (uint32_t slot = 1; slot < handleCount; ++slot)
        if (!handles[slot]) return static_cast<int32_t>(slot);
    return -1;
}

int BigFile::FileOpen(const char* openPath, FileHandle* out, uint32_t mode) {
    if (!openPath) {
        SetError(BFE_BAD_PARAMETER, 1);
        return 0;
    }
    if (!out) {
        SetError(BFE_BAD_PARAMETER, 2);
        return 0;
    }
    if (!searchArchive || diskFirst) {
        FILE* disk = OpenDisk(openPath, mode);
        if (!disk && !searchArchive) {
            SetError(BFE_CANNOT_OPEN, 0);
            return 0;
        }
        if (disk) {
            // The slot is taken under the lock: opens from several threads
            // must never get the same one.
            bfcore::LockGuard guard(lock);
            const int32_t slot = FindFreeHandle();
            if (slot != -1) {
                handles[slot] = disk;
                handleKinds[slot] = bfcore::kKindDisk;
                *out = slot;
                return 1;
            }
            std::fclose(disk);
            if (!searchArchive) {
                *out = -1;
                return 0;
            }
        }
    }

    int32_t slot = -1;
    int32_t failCode = 0;
    uint32_t failDetail = 0;
    {
        bfcore::LockGuard guard(lock);
        *out = 0;
        const char* dirBegin;
        size_t dirLength;
        const char* name;
        SplitLookupPath(openPath, dirBegin, dirLength, name);
        if (std::strlen(name) > kMaxLookupName || dirLength > kMaxDirPart) {
            failCode = BFE_BAD_PARAMETER;  // cannot name an entry; see ORVOBF.H
            failDetail = 1;
        } else if (dirStackDepth + 2 > BF_DIR_STACK_SIZE) {
            failCode = BFE_DIR_STACK_FULL;  // the lookup needs two entries
        } else {
            PushDir();
            char dirPart[kMaxDirPart + 1];
            std::memcpy(dirPart, dirBegin, dirLength);
            dirPart[dirLength] = '\0';
            FileRecord* record = nullptr;
            if ((dirLength == 0 || ChangeDir(dirPart)) && (record = FindFile(name)) != nullptr &&
                (slot = FindFreeHandle()) != -1) {
                auto* state = static_cast<OpenFileState*>(bfplat::AllocZero(sizeof(OpenFileState)));
                if (!state) {
                    failCode = BFE_MEMORY;
                    slot = -1;
                } else {
                    state->record = record;
                    state->position = int64_t{dataBase} + record->offset;
                    state->end = int64_t{record->offset} + record->size;
                    state->mode = mode;
                    if (record->packed != 0) failCode = bfcore::OpenPacked(*this, state, mode, &failDetail);
                    if (failCode != 0) {
                        bfplat::Free(state);
                        slot = -1;
                    } else {
                        handles[slot] = state;
                        handleKinds[slot] = bfcore::kKindArchive;
                        streamPos = bfcore::kStreamPosUnknown;
                        *out = slot;
                    }
                }
            } else {
                slot = -1;  // not found or no slot: no error code
            }
            PopDir();
        }
    }
    if (failCode != 0) {
        SetError(failCode, failDetail);
        return 0;
    }
    if (slot == -1) return 0;
    Log("Opening file [%s] in mode %d handle %d\n", openPath, static_cast<int>(mode),
        static_cast<int>(slot));
    return 1;
}

int BigFile::FileClose(FileHandle handle) {
    FILE* disk = nullptr;
    {
        bfcore::LockGuard guard(lock);
        if (!bfcore::IsOpenHandle(*this, handle)) {
            SetError(BFE_BAD_HANDLE, 0);
            return 0;
        }
        if (handleKinds[handle] == bfcore::kKindDisk) {
            disk = static_cast<FILE*>(handles[handle]);
            handles[handle] = nullptr;
            handleKinds[handle] = bfcore::kKindArchive;
        }
    }
    if (disk) {
        std::fclose(disk);
        return 1;
    }
    Log("Closing file %d ", static_cast<int>(handle));
    bfcore::LockGuard guard(lock);
    if (!bfcore::IsOpenHandle(*this, handle)) return 1;  // closed meanwhile
    auto* state = static_cast<OpenFileState*>(handles[handle]);
    if (state->packedFile) bfcore::ClosePacked(*this, state);
    bfplat::Free(state);
    handles[handle] = nullptr;
    handleKinds[handle] = bfcore::kKindArchive;
    return 1;
}

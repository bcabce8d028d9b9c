// Handle table: finding a slot, opening entries and disk files, closing.
#include <cstdio>
#include <cstring>

#include <orvobf/ORVOBF.H>
#include "open_file_state.h"
#include <orvobf/platform.h>

namespace {
constexpr size_t kMaxLookupName = 259;  // base name + extension, as the lookup buffer holds
constexpr size_t kMaxDirPart = 255;

FILE* OpenDisk(const char* path, uint32_t mode) {
    return std::fopen(path, mode == BF_MODE_BINARY ? "rb" : "rt");
}

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// The drive is dropped; the directory part runs to the last separator and
// the name (base name and extension) follows it.
void SplitLookupPath(const char* path, const char*& dirBegin, size_t& dirLength, const char*& name) {
    if (path[0] != '\0' && path[1] == ':') path += 2;
    const char* lastSeparator = nullptr;
    for (const char* p = path; *p; ++p)
        if (IsSeparator(*p)) lastSeparator = p;
    dirBegin = path;
    dirLength = lastSeparator ? static_cast<size_t>(lastSeparator - path + 1) : 0;
    name = lastSeparator ? lastSeparator + 1 : path;
}

// The directory that a directory part (ending in its separator) names,
// from `from`, or from the root when it begins with a separator; null when
// a component is missing. The same walk as ChangeDir's, on a cursor of its
// own: the object's current directory and stack never move.
const DirNode* ResolveDirPart(const DirNode* root, const DirNode* from, const char* dirBegin, size_t dirLength) {
    const DirNode* node = from;
    char component[kMaxDirPart + 1];
    const char* const end = dirBegin + dirLength;
    for (const char* p = dirBegin; p < end;) {
        const char* stop = p;
        while (!IsSeparator(*stop)) ++stop;
        const size_t length = static_cast<size_t>(stop - p);
        if (p == dirBegin && length == 0) {
            node = root;
        } else {
            std::memcpy(component, p, length);
            component[length] = '\0';
            const DirEntry* entry = orvobf::core::FindNamesake(node, component, BF_ATTR_DIR, false);
            if (!entry) return nullptr;
            node = static_cast<const DirNode*>(entry->payload);
        }
        p = stop + 1;
    }
    return node;
}

int OpenEntry(BigFile& bf, const char* openPath, FileHandle* out, uint32_t mode, const DirNode* folder,
              bool needsStack) {
    if (!openPath) {
        bf.SetError(BFE_BAD_PARAMETER, 1);
        return 0;
    }
    if (!out) {
        bf.SetError(BFE_BAD_PARAMETER, 2);
        return 0;
    }
    if (!bf.searchArchive || bf.diskFirst) {
        FILE* disk = OpenDisk(openPath, mode);
        if (!disk && !bf.searchArchive) {
            bf.SetError(BFE_CANNOT_OPEN, 0);
            return 0;
        }
        if (disk) {
            OpenFileState* state = orvobf::core::NewState();
            if (!state) {
                std::fclose(disk);
                bf.SetError(BFE_MEMORY, 0);
                return 0;
            }
            state->disk = disk;
            int32_t slot;
            {
                // The slot is taken under the lock: opens from several
                // threads must never get the same one.
                orvobf::core::LockGuard guard(bf.lock);
                slot = bf.FindFreeHandle();
                if (slot != -1) {
                    bf.handles[slot] = state;
                    bf.handleKinds[slot] = orvobf::core::kKindDisk;
                    *out = slot;
                } else if (!bf.searchArchive) {
                    *out = -1;
                }
            }
            if (slot != -1) return 1;
            orvobf::core::Release(state);  // closes the stream
            if (!bf.searchArchive) return 0;
        }
    }

    // The lookup, under the lock: the tree is read where the current
    // directory of the moment says, and a slot must still be free.
    FileRecord* record = nullptr;
    int32_t failCode = 0;
    {
        orvobf::core::LockGuard guard(bf.lock);
        *out = 0;
        const char* dirBegin;
        size_t dirLength;
        const char* name;
        SplitLookupPath(openPath, dirBegin, dirLength, name);
        if (std::strlen(name) > kMaxLookupName || dirLength > kMaxDirPart) {
            failCode = BFE_BAD_PARAMETER;  // cannot name an entry; see ORVOBF.H
        } else if (needsStack && bf.dirStackDepth + 2 > BF_DIR_STACK_SIZE) {
            failCode = BFE_DIR_STACK_FULL;
        } else {
            const DirNode* start = folder ? folder : bf.current;
            const DirNode* dir = ResolveDirPart(&bf.root, start, dirBegin, dirLength);
            DirEntry* entry = dir ? orvobf::core::FindNamesake(dir, name, BF_ATTR_FILE, true) : nullptr;
            // Not found, or no slot free: no error code.
            if (entry && bf.FindFreeHandle() != -1) record = static_cast<FileRecord*>(entry->payload);
        }
    }
    if (failCode != 0) {
        bf.SetError(failCode, failCode == BFE_BAD_PARAMETER ? 1 : 0);
        return 0;
    }
    if (!record) return 0;

    return orvobf::core::OpenRecord(bf, record, mode, out, openPath);
}
}  // namespace

namespace orvobf::core {

int OpenRecord(BigFile& bf, FileRecord* record, uint32_t mode, FileHandle* out, const char* logName) {
    *out = 0;
    // The state, and for a packed entry its decoder, are made outside the
    // lock: other threads' reads go on meanwhile.
    OpenFileState* state = NewState();
    if (!state) {
        bf.SetError(BFE_MEMORY, 0);
        return 0;
    }
    state->record = record;
    state->position = int64_t{bf.dataBase} + record->offset;
    state->end = int64_t{record->offset} + record->size;
    state->mode = mode;
    if (record->packed != 0) {
        uint32_t detail = 0;
        const int32_t failCode = OpenPacked(bf, state, mode, &detail);
        if (failCode != 0) {
            Release(state);
            bf.SetError(failCode, detail);
            return 0;
        }
    }

    int32_t slot;
    {
        LockGuard guard(bf.lock);
        slot = bf.FindFreeHandle();
        if (slot != -1) {
            bf.handles[slot] = state;
            bf.handleKinds[slot] = kKindArchive;
            *out = slot;
        }
    }
    if (slot == -1) {
        // No slot free (FileOpen looked, but another thread may have taken
        // the last one meanwhile): no error code.
        Release(state);
        return 0;
    }
    bf.Log("Opening file [%s] in mode %d handle %d\n", logName, static_cast<int>(mode), static_cast<int>(slot));
    return 1;
}

}  // namespace orvobf::core

int32_t BigFile::FindFreeHandle() {
    orvobf::core::LockGuard guard(lock);
    if (!handles || handleCount < 2) return -1;
    for (uint32_t slot = 1; slot < handleCount; ++slot)
        if (!handles[slot]) return static_cast<int32_t>(slot);
    return -1;
}

// FileOpen keeps the system's check of the directory stack: its lookup
// once needed two free entries there, and at a depth above 254 it still
// fails with BFE_DIR_STACK_FULL at the same step, although it no longer
// uses the stack.
int BigFile::FileOpen(const char* openPath, FileHandle* out, uint32_t mode) {
    return OpenEntry(*this, openPath, out, mode, nullptr, true);
}

int BigFile::FileOpenIn(const char* openPath, FileHandle* out, uint32_t mode, const DirNode* folder) {
    return OpenEntry(*this, openPath, out, mode, folder, false);
}

int BigFile::FileClose(FileHandle handle) {
    orvobf::core::HeldHandle held(*this, handle);
    if (!held) {
        SetError(BFE_BAD_HANDLE, 0);
        return 0;
    }
    OpenFileState* state = held.State();
    if (!state->disk) Log("Closing file %d ", static_cast<int>(handle));
    {
        orvobf::core::LockGuard guard(lock);
        handles[handle] = nullptr;
        handleKinds[handle] = orvobf::core::kKindArchive;
    }
    // Operations waiting for this handle find it closed; the state goes
    // with the last of them.
    state->closed = 1;
    if (state->disk) {
        std::fclose(state->disk);
        state->disk = nullptr;
    }
    orvobf::core::ClosePacked(state);
    orvobf::core::Release(state);  // the slot's reference
    return 1;
}

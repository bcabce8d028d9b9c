// The in-memory directory tree: sorted insertion, lookups and freeing.
#include <cstring>

#include <orvobf/ORVOBF.H>
#include "bigfile_internal.h"
#include <orvobf/archive_format.h>
#include <orvobf/platform.h>

namespace {
using orvobf::format::CompareNames;

// The first index whose name compares >= (strictlyAfter: >) the given one.
uint32_t Bound(const DirNode* node, const char* name, bool strictlyAfter) {
    uint32_t low = 0, high = node->count;
    while (low < high) {
        const uint32_t mid = low + (high - low) / 2;
        const int c = CompareNames(node->entries[mid].name, name);
        if (c < 0 || (strictlyAfter && c == 0)) {
            low = mid + 1;
        } else {
            high = mid;
        }
    }
    return low;
}

}  // namespace

namespace orvobf::core {
// Namesakes of the other kind are stepped over on both sides of wherever
// the search lands.
DirEntry* FindNamesake(const DirNode* node, const char* name, uint32_t mask, bool fileOnly) {
    if (node->count == 0) return nullptr;
    // In-order loading appends past the last name: nothing to search.
    if (CompareNames(node->entries[node->count - 1].name, name) < 0) return nullptr;
    for (uint32_t i = Bound(node, name, false); i < node->count; ++i) {
        DirEntry& entry = node->entries[i];
        if (CompareNames(entry.name, name) != 0) break;
        const bool passes = fileOnly ? orvobf::core::IsFileEntry(entry.attributes)
                                     : (orvobf::core::KindBits(entry.attributes) & mask) == mask;
        if (passes) return &entry;
    }
    return nullptr;
}

DirEntry* FindHolder(const DirNode* node, const char* name, const void* payload) {
    for (uint32_t i = Bound(node, name, false); i < node->count && CompareNames(node->entries[i].name, name) == 0; ++i)
        if (node->entries[i].payload == payload) return &node->entries[i];
    return nullptr;
}
}  // namespace orvobf::core

int32_t BigFileCore::FindInsertIndex(const char* name) {
    if (!name) {
        SetError(BFE_BAD_PARAMETER, 1);
        return -1;
    }
    const DirNode* node = current;
    // Archives usually list names in order: appending is checked first.
    if (node->count == 0 || CompareNames(node->entries[node->count - 1].name, name) <= 0)
        return static_cast<int32_t>(node->count);
    return static_cast<int32_t>(Bound(node, name, true));
}

void* BigFileCore::FindEntry(const char* name, uint32_t mask) {
    if (!name) {
        SetError(BFE_BAD_PARAMETER, 1);
        return nullptr;
    }
    orvobf::core::LockGuard guard(lock);
    DirEntry* entry = orvobf::core::FindNamesake(current, name, mask, false);
    return entry ? entry->payload : nullptr;
}

FileRecord* BigFileCore::FindFile(const char* name) {
    if (!name) {
        SetError(BFE_BAD_PARAMETER, 1);
        return nullptr;
    }
    orvobf::core::LockGuard guard(lock);
    DirEntry* entry = orvobf::core::FindNamesake(current, name, BF_ATTR_FILE, true);
    return entry ? static_cast<FileRecord*>(entry->payload) : nullptr;
}

int BigFileCore::AddEntry(const char* name, uint32_t attributes, const FileRecord* record,
                          void** out) {
    if (!name) {
        SetError(BFE_BAD_PARAMETER, 1);
        return 0;
    }
    if (out) *out = nullptr;
    const bool isDir = orvobf::core::IsDirEntry(attributes);
    // Only the kind decides what counts as the same entry; other attribute
    // bits neither block a merge nor let a second file of one name in.
    const uint32_t kindMask = isDir ? BF_ATTR_DIR : (attributes & BF_ATTR_FILE);
    if (DirEntry* existing = orvobf::core::FindNamesake(current, name, kindMask, false)) {
        if (!isDir) return 0;
        if (out) *out = existing->payload;
        return 1;
    }

    void* payload;
    if (isDir) {
        auto* child = static_cast<DirNode*>(orvobf::platform::Alloc(sizeof(DirNode)));
        if (!child) {
            SetError(BFE_MEMORY, 0);
            return 0;
        }
        child->count = 0;
        child->entries = nullptr;
        child->parent = current;
        child->capacity = 0;
        payload = child;
    } else {
        auto* copy = static_cast<FileRecord*>(orvobf::platform::Alloc(sizeof(FileRecord)));
        if (!copy) {
            SetError(BFE_MEMORY, 1);
            return 0;
        }
        if (record) {
            *copy = *record;
        } else {
            *copy = FileRecord{0, 0, 0};
        }
        payload = copy;
    }

    const size_t nameLength = std::strlen(name);
    char* nameCopy = static_cast<char*>(orvobf::platform::Alloc(nameLength + 1));
    DirNode* node = current;
    if (nameCopy && node->count == node->capacity) {
        const uint32_t grown = node->capacity < 4 ? 4
                               : node->capacity > UINT32_MAX / 2 ? UINT32_MAX
                                                                 : node->capacity * 2;
        void* array = grown > node->count
                          ? orvobf::platform::Realloc(node->entries, static_cast<size_t>(grown) * sizeof(DirEntry))
                          : nullptr;
        if (array) {
            node->entries = static_cast<DirEntry*>(array);
            node->capacity = grown;
        } else {
            orvobf::platform::Free(nameCopy);
            nameCopy = nullptr;
        }
    }
    if (!nameCopy) {
        orvobf::platform::Free(payload);
        SetError(BFE_MEMORY, 2);
        return 0;
    }
    std::memcpy(nameCopy, name, nameLength + 1);

    const uint32_t index = static_cast<uint32_t>(FindInsertIndex(name));
    if (index < node->count)
        std::memmove(&node->entries[index + 1], &node->entries[index],
                     static_cast<size_t>(node->count - index) * sizeof(DirEntry));
    node->entries[index] = DirEntry{nameCopy, attributes, 0, payload};
    ++node->count;
    if (out) *out = payload;
    return 1;
}

// Post-order without recursion: a tree as deep as memory allows is freed
// without exhausting the call stack. Parent links lead back up; the count
// of each node serves as its progress mark.
int BigFileCore::FreeDirNode(DirNode* node) {
    if (!node) {
        SetError(BFE_BAD_PARAMETER, 1);
        return 0;
    }
    DirNode* at = node;
    for (;;) {
        if (at->count > 0) {
            DirEntry& entry = at->entries[at->count - 1];
            if (orvobf::core::IsDirEntry(entry.attributes)) {
                auto* child = static_cast<DirNode*>(entry.payload);
                if (child && child->entries) {
                    at = child;
                    continue;
                }
            }
            orvobf::platform::Free(entry.name);
            orvobf::platform::Free(entry.payload);
            entry.name = nullptr;
            entry.payload = nullptr;
            --at->count;
            continue;
        }
        orvobf::platform::Free(at->entries);
        at->entries = nullptr;
        at->capacity = 0;
        if (at == node) break;
        at = at->parent;
    }
    return 1;
}

int BigFileCore::SetCurrentDir(DirNode* node) {
    if (!node) {
        SetError(BFE_BAD_PARAMETER, 1);
        return 0;
    }
    orvobf::core::LockGuard guard(lock);
    current = node;
    return 1;
}

int BigFileCore::CheckArgument(const void* pointer, int32_t) {
    if (!pointer) {
        SetError(BFE_BAD_PARAMETER, 1);
        return 0;
    }
    return 1;
}

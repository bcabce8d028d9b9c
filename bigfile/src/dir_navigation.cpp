// Navigation: the directory stack, paths, and enumeration.
#include <cstring>

#include <orvobf/ORVOBF.H>
#include "bigfile_internal.h"
#include <orvobf/archive_format.h>
#include <orvobf/platform.h>

// Every change of the current directory or the stack is made under the
// lock, so FileOpen on another thread reads them whole, never half moved.
int BigFileCore::PushDir() {
    orvobf::core::LockGuard guard(lock);
    if (dirStackDepth >= BF_DIR_STACK_SIZE) {
        SetError(BFE_DIR_STACK_FULL, 0);
        return 0;
    }
    dirStack[dirStackDepth++] = current;
    return 1;
}

int BigFileCore::PopDir() {
    orvobf::core::LockGuard guard(lock);
    if (dirStackDepth == 0) {
        SetError(BFE_DIR_STACK_EMPTY, 0);
        return 0;
    }
    current = dirStack[--dirStackDepth];
    return 1;
}

int BigFileCore::DropDir() {
    orvobf::core::LockGuard guard(lock);
    if (dirStackDepth == 0) {
        SetError(BFE_DIR_STACK_EMPTY, 0);
        return 0;
    }
    --dirStackDepth;
    return 1;
}

// On failure the components made so far are freed and *list is null again,
// so the caller has nothing to release.
int BigFileCore::SplitPath(int32_t* count, char*** list, const char* text) {
    if (!count) {
        SetError(BFE_BAD_PARAMETER, 1);
        return 0;
    }
    if (!list) {
        SetError(BFE_BAD_PARAMETER, 2);
        return 0;
    }
    if (!text) {
        SetError(BFE_BAD_PARAMETER, 3);
        return 0;
    }
    int32_t made = 0;
    const char* start = text;
    for (const char* p = text;; ++p) {
        const bool separator = orvobf::format::IsPathSeparator(*p);
        if (!separator && *p != '\0') continue;
        const size_t length = static_cast<size_t>(p - start);
        if (separator || length > 0) {
            void* grown = orvobf::platform::Realloc(*list, (static_cast<size_t>(made) + 1) * sizeof(char*));
            char* component = grown ? static_cast<char*>(orvobf::platform::Alloc(length + 1)) : nullptr;
            if (grown) *list = static_cast<char**>(grown);
            if (!component) {
                for (int32_t i = 0; i < made; ++i) orvobf::platform::Free((*list)[i]);
                orvobf::platform::Free(*list);
                *list = nullptr;
                SetError(BFE_MEMORY, 0);
                return 0;
            }
            std::memcpy(component, start, length);
            component[length] = '\0';
            (*list)[made++] = component;
        }
        if (*p == '\0') break;
        start = p + 1;
    }
    *count = made;
    return 1;
}

int BigFileCore::FreeSplitPath(int32_t count, char** list) {
    if (!list) {
        SetError(BFE_BAD_PARAMETER, 2);
        return 0;
    }
    for (int32_t i = 0; i < count; ++i) orvobf::platform::Free(list[i]);
    orvobf::platform::Free(list);
    return 1;
}

int BigFileCore::EnterDir(const char* name) {
    if (!name) {
        SetError(BFE_BAD_PARAMETER, 1);
        return 0;
    }
    orvobf::core::LockGuard guard(lock);
    auto* node = static_cast<DirNode*>(FindEntry(name, BF_ATTR_DIR));
    if (!node) return 0;
    current = node;
    return 1;
}

int BigFileCore::ChangeDir(const char* text) {
    if (!text) {
        SetError(BFE_BAD_PARAMETER, 1);
        return 0;
    }
    // The whole walk under the lock: no other thread sees a directory
    // half way along the path.
    orvobf::core::LockGuard guard(lock);
    // Needs one stack entry of its own; never borrow one of the caller's.
    if (!PushDir()) return 0;
    int32_t count = 0;
    char** list = nullptr;
    if (!SplitPath(&count, &list, text)) {
        PopDir();
        return 0;
    }
    int32_t first = 0;
    if (count > 0 && list[0][0] == '\0') {
        current = &root;
        first = 1;
    }
    for (int32_t i = first; i < count; ++i) {
        if (!EnterDir(list[i])) {
            FreeSplitPath(count, list);
            PopDir();
            return 0;
        }
    }
    DropDir();
    if (list) FreeSplitPath(count, list);
    return 1;
}

int BigFileCore::FindFirst(FindData* cursor) {
    if (!cursor) {
        SetError(BFE_BAD_PARAMETER, 1);
        return 0;
    }
    orvobf::core::LockGuard guard(lock);
    cursor->node = current;
    cursor->index = 0;
    if (current->count == 0) {
        SetError(BFE_NO_MORE_ENTRIES, 0);
        return 0;
    }
    DirEntry* entry = &current->entries[0];
    cursor->entry = entry;
    cursor->record =
        orvobf::core::IsFileEntry(entry->attributes) ? static_cast<FileRecord*>(entry->payload) : nullptr;
    cursor->index = 1;
    return 1;
}

// Follows the cursor's own node and leaves the current directory alone, so
// no stack entry is needed.
int BigFileCore::FindNext(FindData* cursor) {
    if (!cursor) {
        SetError(BFE_BAD_PARAMETER, 1);
        return 0;
    }
    orvobf::core::LockGuard guard(lock);
    if (dirStackDepth >= BF_DIR_STACK_SIZE) {
        SetError(BFE_DIR_STACK_FULL, 0);
        return 0;
    }
    const DirNode* node = cursor->node;
    if (!node || cursor->index >= node->count) {
        SetError(BFE_NO_MORE_ENTRIES, 0);
        return 0;
    }
    DirEntry* entry = &node->entries[cursor->index];
    cursor->entry = entry;
    cursor->record =
        orvobf::core::IsFileEntry(entry->attributes) ? static_cast<FileRecord*>(entry->payload) : nullptr;
    ++cursor->index;
    return 1;
}

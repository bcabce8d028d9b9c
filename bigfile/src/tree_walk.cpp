// BigFileWalker: the whole tree in pre-order, from its own heap stack.
#include <cstring>

#include <orvobf/ORVOBF.H>
#include "bigfile_internal.h"
#include <orvobf/platform.h>

// One directory being walked: the next entry to hand out, and the length
// of the path text that its entries' names follow.
struct BigFileWalker::Level {
    DirNode* node;
    uint32_t next;
    size_t prefix;
};

BigFileWalker::BigFileWalker(BigFileCore& core, DirNode* start)
    : bf(core),
      top(start),
      levels(nullptr),
      depth(0),
      levelCapacity(0),
      path(nullptr),
      pathCapacity(0),
      started(0),
      failed(0),
      entered(0) {}

BigFileWalker::~BigFileWalker() {
    orvobf::platform::Free(levels);
    orvobf::platform::Free(path);
}

// Room for `levelCount` levels and a path of `pathBytes` bytes, NUL included.
bool BigFileWalker::Reserve(size_t levelCount, size_t pathBytes) {
    if (levelCount > levelCapacity) {
        const size_t grown = levelCount < 2 * levelCapacity ? 2 * levelCapacity : levelCount + 15;
        if (grown > SIZE_MAX / sizeof(Level)) return false;
        void* more = orvobf::platform::Realloc(levels, grown * sizeof(Level));
        if (!more) return false;
        levels = static_cast<Level*>(more);
        levelCapacity = grown;
    }
    if (pathBytes > pathCapacity) {
        const size_t grown = pathBytes < 2 * pathCapacity ? 2 * pathCapacity : pathBytes + 255;
        void* more = orvobf::platform::Realloc(path, grown);
        if (!more) return false;
        path = static_cast<char*>(more);
        pathCapacity = grown;
    }
    return true;
}

int BigFileWalker::Next(WalkEntry* out) {
    if (!out) {
        bf.SetError(BFE_BAD_PARAMETER, 1);
        return 0;
    }
    entered = 0;
    if (failed) {
        bf.SetError(BFE_MEMORY, 5);
        return 0;
    }
    if (!started) {
        started = 1;
        if (!Reserve(1, 1)) {
            failed = 1;
            bf.SetError(BFE_MEMORY, 5);
            return 0;
        }
        levels[0] = Level{top ? top : bf.GetRootDir(), 0, 0};
        depth = 1;
    }
    while (depth > 0 && levels[depth - 1].next >= levels[depth - 1].node->count) --depth;
    if (depth == 0) {
        bf.SetError(BFE_NO_MORE_ENTRIES, 0);
        return 0;
    }

    const Level level = levels[depth - 1];
    DirEntry* entry = &level.node->entries[level.next];
    const size_t nameLength = std::strlen(entry->name);
    const bool isDir = orvobf::core::IsDirEntry(entry->attributes);
    // A directory's own path, with the separator its entries will need.
    if (nameLength > SIZE_MAX - level.prefix - 2 ||
        !Reserve(depth + (isDir ? 1 : 0), level.prefix + nameLength + 2)) {
        failed = 1;
        depth = 0;
        bf.SetError(BFE_MEMORY, 5);
        return 0;
    }
    ++levels[depth - 1].next;
    // The text before `prefix` is the parent's own path, kept since the
    // parent was handed out: only its separator is written again.
    if (level.prefix > 0) path[level.prefix - 1] = '/';
    std::memcpy(path + level.prefix, entry->name, nameLength);
    path[level.prefix + nameLength] = '\0';

    out->path = path;
    out->name = entry->name;
    out->depth = static_cast<uint32_t>(depth - 1);
    out->entry = entry;
    out->parent = level.node;
    if (isDir) {
        out->kind = BF_KIND_DIR;
        out->record = nullptr;
        levels[depth++] = Level{static_cast<DirNode*>(entry->payload), 0, level.prefix + nameLength + 1};
        entered = 1;
    } else {
        out->kind = orvobf::core::IsFileEntry(entry->attributes) ? BF_KIND_FILE : BF_KIND_NEITHER;
        out->record = static_cast<const FileRecord*>(entry->payload);
    }
    return 1;
}

void BigFileWalker::SkipChildren() {
    if (!entered) return;
    entered = 0;
    --depth;
}

#include "extract_engine.h"

#include <cstdio>
#include <vector>

#include "orvobf/name_rules.h"
#include "platform.h"

namespace bfx {

namespace {
struct Message {
    const char* text;
    const char* caption;
};
constexpr Message kMessages[] = {
    {"File not found...", "WARNING"},
    {"Cannot open output file", "ERROR"},
    {"Cannot allocate read buffer", "ERROR"},
    {"Read Error", "WARNING"},
    {"Write error", "WARNING"},
    {"Unsafe name skipped", "WARNING"},
    {"Cannot create directory", "ERROR"},
    {"Cannot return to the parent directory", "ERROR"},
};
}  // namespace

const char* ProblemText(Problem problem) { return kMessages[static_cast<int>(problem)].text; }
const char* ProblemCaption(Problem problem) { return kMessages[static_cast<int>(problem)].caption; }

bool IsSafeName(const char* name) {
    return name && orvobf::CheckExtractableName(name) == orvobf::NameFault::None;
}

uint64_t CountFiles(const DirNode& top) {
    uint64_t files = 0;
    std::vector<const DirNode*> pending{&top};
    while (!pending.empty()) {
        const DirNode* node = pending.back();
        pending.pop_back();
        for (uint32_t i = 0; i < node->count; ++i) {
            const DirEntry& entry = node->entries[i];
            if (!(entry.attributes & BF_ATTR_DIR)) ++files;
            else if (entry.payload) pending.push_back(static_cast<const DirNode*>(entry.payload));
        }
    }
    return files;
}

std::string Engine::PathOf(const char* name) const {
    return path_.empty() ? std::string(name) : path_ + "/" + name;
}

void Engine::Report(Problem problem, const char* name) {
    ++problems_;
    reporter_.Report(problem, PathOf(name));
}

// Depth first, each folder made before its contents, entries in the order
// the directory holds them. One cursor per level on a stack of our own: the
// depth is bounded by memory, not by the call stack or the directory stack.
void Engine::ExtractTree() {
    DirNode* const start = bf_.current;
    const size_t basePath = path_.size();
    struct Level {
        FindData cursor;
        size_t parentPath;  // length of path_ one level up
        bool started;
    };
    std::vector<Level> levels;
    levels.push_back(Level{FindData{0, start, nullptr, nullptr}, basePath, false});
    while (!levels.empty()) {
        Level& level = levels.back();
        bf_.SetCurrentDir(level.cursor.node);
        const int more = level.started ? bf_.FindNext(&level.cursor) : bf_.FindFirst(&level.cursor);
        level.started = true;
        if (!more) {
            const size_t parentPath = level.parentPath;
            levels.pop_back();
            if (levels.empty()) break;
            reporter_.DirectoryDone(path_);
            if (!disk_.Leave()) {
                ++problems_;
                reporter_.Report(Problem::CannotLeaveDir, path_);
                break;
            }
            path_.resize(parentPath);
            continue;
        }
        const DirEntry& entry = *level.cursor.entry;
        if (!IsSafeName(entry.name)) {
            Report(Problem::UnsafeName, entry.name);
            continue;
        }
        if (!(entry.attributes & BF_ATTR_DIR)) {
            ExtractFile(entry.name);
            continue;
        }
        auto* child = static_cast<DirNode*>(entry.payload);
        if (!child || !disk_.Enter(entry.name)) {
            Report(Problem::CannotMakeDir, entry.name);
            continue;
        }
        const size_t parentPath = path_.size();
        path_ = PathOf(entry.name);
        levels.push_back(Level{FindData{0, child, nullptr, nullptr}, parentPath, false});
    }
    path_.resize(basePath);
    bf_.SetCurrentDir(start);
}

void Engine::Settle(PendingFile& file, const char* name) {
    if (partial_ == PartialFiles::Keep && disk_.Publish(file, name)) return;
    disk_.Discard(file);
}

void Engine::ExtractFile(const char* name) {
    FileHandle handle = 0;
    if (!bf_.FileOpen(name, &handle, BF_MODE_BINARY)) {
        Report(Problem::NotFound, name);
        return;
    }
    const std::string path = PathOf(name);
    reporter_.FileStarting(path);
    PendingFile file;
    if (!disk_.Create(file)) {
        bf_.FileClose(handle);
        Report(Problem::CannotCreate, name);
        return;
    }
    auto* buffer = static_cast<unsigned char*>(bfplat::Alloc(kCopyChunk));
    if (!buffer) {
        DiskTree::Close(file);
        bf_.FileClose(handle);
        Settle(file, name);
        Report(Problem::NoBuffer, name);
        return;
    }
    uint64_t total = 0;
    Problem failure = Problem::NotFound;
    bool failed = false;
    while (!bf_.FileEof(handle)) {
        uint32_t count = 0;
        // A failed read is a failure whatever the end flag says: a packed
        // read sets it before it decodes. A short count is fine only where
        // the entry ends.
        const bool read = bf_.FileRead(handle, buffer, kCopyChunk, &count) != 0;
        if (!read || (count != kCopyChunk && !bf_.FileEof(handle))) {
            failure = Problem::ReadError;
            failed = true;
            break;
        }
        if (count > 0) {
            if (std::fwrite(buffer, count, 1, file.stream) != 1) {
                failure = Problem::WriteError;
                failed = true;
                break;
            }
            reporter_.ChunkWritten(count);
            total += count;
        }
    }
    // Disk file, buffer, archive handle: always in this order, before any
    // message is shown.
    const bool closed = DiskTree::Close(file);
    bfplat::Free(buffer);
    bf_.FileClose(handle);
    if (!failed && !closed) {
        failure = Problem::WriteError;
        failed = true;
    }
    if (failed) {
        Settle(file, name);
        Report(failure, name);
        return;
    }
    if (!disk_.Publish(file, name)) {
        disk_.Discard(file);
        Report(Problem::CannotCreate, name);
        return;
    }
    reporter_.FileDone(path, total);
}

}  // namespace bfx

#include "extract_engine.h"

#include <cstdio>
#include <vector>

#include "ordered_jobs.h"
#include <orvobf/name_rules.h>
#include <orvobf/platform.h>

namespace orvobf::engine {

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

uint64_t CountFiles(BigFileCore& bf, DirNode* top, uint64_t* bytes) {
    uint64_t files = 0;
    BigFileWalker walker(bf, top);
    WalkEntry entry{};
    while (walker.Next(&entry)) {
        if (entry.kind == BF_KIND_DIR) continue;
        ++files;
        if (bytes && entry.record) *bytes += entry.record->size;
    }
    return files;
}

std::string Engine::PathOf(const char* name) const {
    return path_.empty() ? std::string(name) : path_ + "/" + name;
}

// Depth first, each folder made before its contents, entries in the order
// the directory holds them. The walk and the folders are this thread's;
// each file is a job of its own, copied here or on a worker, and whatever
// is reported goes out in walk order.
void Engine::ExtractTree(DirNode* top) {
    DirNode* const start = top ? top : bf_.GetCurrentDir();
    const unsigned workers = DiskTree::kFoldersOutliveTheWalk ? workers_ : 1;
    OrderedJobs jobs(counted_, workers);
    std::vector<std::string> entered;  // report paths of the folders entered, innermost last
    // Back out of folders until `depth` are entered; false when the tree
    // is lost on the way.
    const auto leaveTo = [&](size_t depth) {
        while (entered.size() > depth) {
            const std::string path = entered.back();
            jobs.Now([&path](Reporter& to) { to.DirectoryDone(path); });
            if (!disk_.Leave()) {
                jobs.Now([&path](Reporter& to) { to.Report(Problem::CannotLeaveDir, path); });
                return false;
            }
            entered.pop_back();
        }
        return true;
    };

    BigFileWalker walker(bf_, start);
    WalkEntry entry{};
    bool lost = false;
    while (walker.Next(&entry)) {
        if (!leaveTo(entry.depth)) {
            lost = true;
            break;
        }
        std::string path = PathOf(entry.path);
        if (!IsSafeName(entry.name)) {
            jobs.Now([&path](Reporter& to) { to.Report(Problem::UnsafeName, path); });
            walker.SkipChildren();
            continue;
        }
        if (entry.kind != BF_KIND_DIR) {
            const DirNode* parent = entry.parent;
            const char* name = entry.name;
            Folder folder = disk_.Here();
            jobs.Add([this, parent, name, path, folder](Reporter& to) {
                FileHandle handle = 0;
                if (!bf_.FileOpenIn(name, &handle, BF_MODE_BINARY, parent)) {
                    to.Report(Problem::NotFound, path);
                    return;
                }
                Copy(handle, name, path, folder, to);
            });
            continue;
        }
        if (!disk_.Enter(entry.name)) {
            jobs.Now([&path](Reporter& to) { to.Report(Problem::CannotMakeDir, path); });
            walker.SkipChildren();
            continue;
        }
        entered.push_back(std::move(path));
    }
    if (!lost) leaveTo(0);
    jobs.Finish();
}

void Engine::Settle(PendingFile& file, const char* name) {
    if (partial_ == PartialFiles::Keep && disk_.Publish(file, name)) return;
    disk_.Discard(file);
}

void Engine::ExtractFile(const char* name, const DirNode* folder) {
    FileHandle handle = 0;
    const int opened = folder ? bf_.FileOpenIn(name, &handle, BF_MODE_BINARY, folder)
                              : bf_.FileOpen(name, &handle, BF_MODE_BINARY);
    if (!opened) {
        counted_.Report(Problem::NotFound, PathOf(name));
        return;
    }
    Copy(handle, name, PathOf(name), disk_.Here(), counted_);
}

void Engine::Copy(FileHandle handle, const char* name, const std::string& path, const Folder& folder, Reporter& to) {
    to.FileStarting(path);
    PendingFile file;
    if (!disk_.CreateIn(folder, file)) {
        bf_.FileClose(handle);
        to.Report(Problem::CannotCreate, path);
        return;
    }
    auto* buffer = static_cast<unsigned char*>(orvobf::platform::Alloc(kCopyChunk));
    if (!buffer) {
        DiskTree::Close(file);
        bf_.FileClose(handle);
        Settle(file, name);
        to.Report(Problem::NoBuffer, path);
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
            to.ChunkWritten(count);
            total += count;
        }
    }
    // Disk file, buffer, archive handle: always in this order, before any
    // message is shown.
    const bool closed = DiskTree::Close(file);
    orvobf::platform::Free(buffer);
    bf_.FileClose(handle);
    if (!failed && !closed) {
        failure = Problem::WriteError;
        failed = true;
    }
    if (failed) {
        Settle(file, name);
        to.Report(failure, path);
        return;
    }
    if (!disk_.Publish(file, name)) {
        disk_.Discard(file);
        to.Report(Problem::CannotCreate, path);
        return;
    }
    to.FileDone(path, total);
}

}  // namespace orvobf::engine

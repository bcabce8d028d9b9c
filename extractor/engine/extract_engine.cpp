#include "extract_engine.h"

#include <cstdio>
#include <cstring>

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
    {"Cannot enter directory", "WARNING"},
    {"Directory nesting too deep", "WARNING"},
};

// ChangeDir and FindNext each need one stack entry while they run and
// FileOpen two; a level being walked holds one.
constexpr uint32_t kStackReserve = 3;
}  // namespace

const char* ProblemText(Problem problem) { return kMessages[static_cast<int>(problem)].text; }
const char* ProblemCaption(Problem problem) { return kMessages[static_cast<int>(problem)].caption; }

bool IsSafeName(const char* name) {
    return name && orvobf::CheckExtractableName(name) == orvobf::NameFault::None;
}

std::string Engine::PathOf(const char* name) const {
    return path_.empty() ? std::string(name) : path_ + "/" + name;
}

void Engine::Report(Problem problem, const char* name) {
    ++problems_;
    reporter_.Report(problem, PathOf(name ? name : ""));
}

void Engine::ExtractTree() {
    FindData cursor{};
    for (int more = bf_.FindFirst(&cursor); more; more = bf_.FindNext(&cursor)) {
        const char* name = cursor.entry->name;
        if (!IsSafeName(name)) {
            Report(Problem::UnsafeName, name);
            continue;
        }
        if (!(cursor.entry->attributes & BF_ATTR_DIR)) {
            ExtractFile(name);
            continue;
        }
        if (bf_.dirStackDepth + kStackReserve > BF_DIR_STACK_SIZE) {
            Report(Problem::TooDeep, name);
            continue;
        }
        bf_.PushDir();
        if (!bf_.ChangeDir(name)) {
            bf_.PopDir();
            Report(Problem::CannotEnterEntry, name);
            continue;
        }
        // The disk directory must really be entered, or the walk would
        // write this subtree into the wrong place and step out of ours.
        if (!MakeDirectory(name) || !EnterDirectory(name)) {
            bf_.PopDir();
            Report(Problem::CannotMakeDir, name);
            continue;
        }
        const size_t saved = path_.size();
        path_ = PathOf(name);
        ExtractTree();
        reporter_.DirectoryDone(path_);
        path_.resize(saved);
        LeaveDirectory();
        bf_.PopDir();
    }
}

void Engine::ExtractFile(const char* name) {
    FileHandle handle = 0;
    if (!bf_.FileOpen(name, &handle, BF_MODE_BINARY)) {
        Report(Problem::NotFound, name);
        return;
    }
    const std::string path = PathOf(name);
    reporter_.FileStarting(path);
    FILE* out = OpenOutputFile(name);
    if (!out) {
        bf_.FileClose(handle);
        Report(Problem::CannotCreate, name);
        return;
    }
    auto* buffer = static_cast<unsigned char*>(bfplat::Alloc(kCopyChunk));
    if (!buffer) {
        std::fclose(out);
        bf_.FileClose(handle);
        Report(Problem::NoBuffer, name);
        return;
    }
    uint64_t total = 0;
    Problem failure = Problem::NotFound;
    bool failed = false;
    while (!bf_.FileEof(handle)) {
        uint32_t count = 0;
        if (!bf_.FileRead(handle, buffer, kCopyChunk, &count)) count = 0;
        // A short count is fine only where the entry ends; a read the
        // archive cut short does not set the end.
        if (count != kCopyChunk && !bf_.FileEof(handle)) {
            failure = Problem::ReadError;
            failed = true;
            break;
        }
        if (count > 0) {
            if (std::fwrite(buffer, count, 1, out) != 1) {
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
    const bool closed = std::fclose(out) == 0;
    bfplat::Free(buffer);
    bf_.FileClose(handle);
    if (!failed && !closed) {
        failure = Problem::WriteError;
        failed = true;
    }
    if (failed) {
        Report(failure, name);
        return;
    }
    reporter_.FileDone(path, total);
}

}  // namespace bfx

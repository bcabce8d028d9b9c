// The one extraction walk: recreates an archive directory's tree in a
// folder of a disk tree, file by file in 1 MiB chunks, the files on one
// thread or on several. The extractor tool and `bigfile extract` differ
// only in how they report, in what they do with a file whose copy failed
// part way, and in how many threads copy.
#ifndef ORVOBF_EXTRACT_ENGINE_H
#define ORVOBF_EXTRACT_ENGINE_H

#include <cstdint>
#include <string>

#include <orvobf/ORVOBF.H>
#include "disk_tree.h"

namespace orvobf::engine {

constexpr uint32_t kCopyChunk = 1048576;

enum class Problem {
    NotFound,        // "File not found..." / "WARNING"
    CannotCreate,    // "Cannot open output file" / "ERROR"
    NoBuffer,        // "Cannot allocate read buffer" / "ERROR"
    ReadError,       // "Read Error" / "WARNING"
    WriteError,      // "Write error" / "WARNING"
    UnsafeName,      // a name this system must not create
    CannotMakeDir,   // a disk folder that cannot be made or entered
    CannotLeaveDir,  // the walk cannot step back out of a folder: it stops
};

// The fixed text and caption of each problem's message box.
const char* ProblemText(Problem problem);
const char* ProblemCaption(Problem problem);

// What becomes of a file whose copy failed part way (it is reported
// either way).
enum class PartialFiles {
    Discard,  // its name keeps what stood there before
    Keep,     // it takes its name, cut where the copy stopped
};

class Reporter {
public:
    virtual ~Reporter() = default;
    // `path` is the entry's path from the walk's start, '/'-separated.
    virtual void FileStarting(const std::string& path) { (void)path; }
    virtual void ChunkWritten(uint32_t bytes) { (void)bytes; }
    virtual void FileDone(const std::string& path, uint64_t bytes) {
        (void)path;
        (void)bytes;
    }
    virtual void DirectoryDone(const std::string& path) { (void)path; }
    virtual void Report(Problem problem, const std::string& path) = 0;
};

// Names that extraction may create on this system (the shared name rules).
bool IsSafeName(const char* name);

// The entries that are not directories below `top` (the root when null),
// at any depth: what the tree really holds, whatever the archive's header
// claims. With `bytes`, their sizes are added to *bytes.
uint64_t CountFiles(BigFileCore& bf, DirNode* top = nullptr, uint64_t* bytes = nullptr);

class Engine {
public:
    // With `workers` above 1 (where the disk tree lets files be made in
    // folders the walk has left) that many threads copy whole files while
    // the calling thread walks and makes the folders; the reporter still
    // hears everything in walk order, one call at a time, exactly as from
    // one thread.
    Engine(BigFile& archive, Reporter& reporter, DiskTree& disk, PartialFiles partial = PartialFiles::Discard,
           unsigned workers = 1)
        : bf_(archive), reporter_(reporter), disk_(disk), partial_(partial), workers_(workers), counted_(*this) {}
    // Extracts the archive directory `top` (the current directory when
    // null) into the disk tree's current folder. Walks the loaded tree with
    // its own cursor (BigFileWalker), so no nesting depth is too deep and
    // the current directory and directory stack never move.
    void ExtractTree(DirNode* top = nullptr);
    // Extracts the file `name` of the archive directory `folder` (of the
    // current directory, looked up as FileOpen does, when null) into the
    // disk tree's current folder. Each file is written under a temporary
    // name and renamed over `name` once it is complete.
    void ExtractFile(const char* name, const DirNode* folder = nullptr);
    // Path prefix for reports (the directory the walk starts in).
    void SetBasePath(std::string base) { path_ = std::move(base); }
    uint32_t problems() const { return problems_; }

private:
    // The reporter, counting the problems it hears.
    class Counting : public Reporter {
    public:
        explicit Counting(Engine& engine) : engine_(engine) {}
        void FileStarting(const std::string& path) override { engine_.reporter_.FileStarting(path); }
        void ChunkWritten(uint32_t bytes) override { engine_.reporter_.ChunkWritten(bytes); }
        void FileDone(const std::string& path, uint64_t bytes) override { engine_.reporter_.FileDone(path, bytes); }
        void DirectoryDone(const std::string& path) override { engine_.reporter_.DirectoryDone(path); }
        void Report(Problem problem, const std::string& path) override {
            ++engine_.problems_;
            engine_.reporter_.Report(problem, path);
        }

    private:
        Engine& engine_;
    };

    std::string PathOf(const char* name) const;
    // Copies the opened `handle` into `name` of `folder`, reporting to `to`;
    // the handle is closed. Any thread may run it.
    void Copy(FileHandle handle, const char* name, const std::string& path, const Folder& folder, Reporter& to);
    // A file whose copy failed: kept under its name or removed.
    void Settle(PendingFile& file, const char* name);

    BigFile& bf_;
    Reporter& reporter_;
    DiskTree& disk_;
    PartialFiles partial_;
    unsigned workers_;
    Counting counted_;
    std::string path_;
    uint32_t problems_ = 0;
};

}  // namespace orvobf::engine

#endif

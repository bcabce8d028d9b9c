// The one extraction walk: recreates an archive directory's tree in a
// folder of a disk tree, file by file in 1 MiB chunks. The extractor tool
// and `bigfile extract` differ only in how they report and in what they do
// with a file whose copy failed part way.
#ifndef ORVOBF_EXTRACT_ENGINE_H
#define ORVOBF_EXTRACT_ENGINE_H

#include <cstdint>
#include <string>

#include "ORVOBF.H"
#include "disk_tree.h"

namespace bfx {

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

// The file entries below `node`, at any depth: what the tree really holds,
// whatever the archive's header claims.
uint64_t CountFiles(const DirNode& node);

class Engine {
public:
    Engine(BigFile& archive, Reporter& reporter, DiskTree& disk, PartialFiles partial = PartialFiles::Discard)
        : bf_(archive), reporter_(reporter), disk_(disk), partial_(partial) {}
    // Extracts the archive's current directory into the disk tree's current
    // folder. Walks the loaded tree itself, so no nesting depth is too deep
    // for the archive's directory stack; the current directory is the same
    // afterwards.
    void ExtractTree();
    // Extracts the file `name` of the archive's current directory into the
    // disk tree's current folder. Each file is written under a temporary
    // name and renamed over `name` once it is complete.
    void ExtractFile(const char* name);
    // Path prefix for reports (the directory the walk starts in).
    void SetBasePath(std::string base) { path_ = std::move(base); }
    uint32_t problems() const { return problems_; }

private:
    void Report(Problem problem, const char* name);
    std::string PathOf(const char* name) const;
    // A file whose copy failed: kept under its name or removed.
    void Settle(PendingFile& file, const char* name);

    BigFile& bf_;
    Reporter& reporter_;
    DiskTree& disk_;
    PartialFiles partial_;
    std::string path_;
    uint32_t problems_ = 0;
};

}  // namespace bfx

#endif

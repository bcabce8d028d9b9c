// The one extraction walk: recreates the archive's current directory in
// the process's working directory, file by file in 1 MiB chunks. The
// extractor tool and `bigfile extract` differ only in how they report.
#ifndef ORVOBF_EXTRACT_ENGINE_H
#define ORVOBF_EXTRACT_ENGINE_H

#include <cstdint>
#include <cstdio>
#include <string>

#include "ORVOBF.H"

namespace bfx {

constexpr uint32_t kCopyChunk = 1048576;

enum class Problem {
    NotFound,         // "File not found..." / "WARNING"
    CannotCreate,     // "Cannot open output file" / "ERROR"
    NoBuffer,         // "Cannot allocate read buffer" / "ERROR"
    ReadError,        // "Read Error" / "WARNING"
    WriteError,       // "Write error" / "WARNING"
    UnsafeName,       // a name that could leave the extraction root
    CannotMakeDir,    // a disk directory that cannot be created or entered
    CannotEnterEntry, // an archive directory that ChangeDir cannot enter
    TooDeep,          // nesting beyond what the directory stack allows
};

// The fixed text and caption of each problem's message box.
const char* ProblemText(Problem problem);
const char* ProblemCaption(Problem problem);

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

// Working-directory helpers over the system's own calls.
bool EnterDirectory(const char* name);  // refuses links on systems that have them
bool MakeDirectory(const char* name);   // true when it exists as a directory afterwards
bool LeaveDirectory();                  // ".."
// Creates or truncates `name` for binary writing ("wb").
std::FILE* OpenOutputFile(const char* name);

class Engine {
public:
    Engine(BigFile& archive, Reporter& reporter) : bf_(archive), reporter_(reporter) {}
    // Extracts the archive's current directory into the working directory.
    void ExtractTree();
    // Extracts the file `name` of the archive's current directory.
    void ExtractFile(const char* name);
    // Path prefix for reports (the directory the walk starts in).
    void SetBasePath(std::string base) { path_ = std::move(base); }
    uint32_t problems() const { return problems_; }

private:
    void Report(Problem problem, const char* name);
    std::string PathOf(const char* name) const;

    BigFile& bf_;
    Reporter& reporter_;
    std::string path_;
    uint32_t problems_ = 0;
};

}  // namespace bfx

#endif

// Writing Orvo big files.
//
// Two layers:
//  - RawArchive emits header, directory blocks, records and data exactly as
//    told, valid or not: fixtures for readers, including hostile ones.
//  - ArchiveBuilder collects a tree of directories and files (from memory
//    or from a disk folder) and writes a valid archive: header at 0,
//    the whole directory at 32 in pre-order, the data area after it. It
//    streams file contents from disk, writes to a new temporary file of its
//    own beside the destination and renames it only when everything was
//    written and flushed, so a failed write never leaves a half archive (or
//    its temporary file) behind.
//
// Nothing throws; failures return false and put a message in *error.
#ifndef ORVOBF_ARCHIVE_WRITER_H
#define ORVOBF_ARCHIVE_WRITER_H

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <orvobf/packed_stream.h>
#include <orvobf/archive_format.h>
#include <orvobf/name_rules.h>

namespace orvobf::writer {

// Longest entry name the builder accepts, in bytes.
inline constexpr size_t kMaxNameLength = orvobf::kMaxNameLength;
// Largest file an archive holds, in bytes: readers report sizes and
// positions inside a file as signed 32-bit numbers.
inline constexpr uint64_t kMaxFileSize = 0x7FFFFFFF;
// Farthest into the data area a file can start: the records' 32-bit offset.
inline constexpr uint64_t kMaxFileOffset = 0xFFFFFFFF;

// Low-level byte emitter. Values are written little-endian as given; no
// check is made, so any layout (or damage) can be produced.
class RawArchive {
public:
    // The signature is cut or padded with NULs to its 16 bytes.
    RawArchive& Header(uint32_t dirCount, uint32_t fileCount, uint32_t dirOffset,
                       uint32_t dataBase, std::string_view signature = orvobf::format::kSignature);
    RawArchive& U32(uint32_t value);
    RawArchive& Bytes(std::string_view bytes);
    // A directory block's entry count.
    RawArchive& Block(uint32_t count);
    // An entry: nameLength, name, attributes (its block must follow).
    RawArchive& Entry(std::string_view name, uint32_t attributes);
    RawArchive& Dir(std::string_view name, uint32_t attributes = orvobf::format::kAttrDir) {
        return Entry(name, attributes);
    }
    // `levels` directories named `name`, each the only entry of the one
    // above; the innermost block must follow.
    RawArchive& Nested(uint32_t levels, std::string_view name) {
        for (uint32_t i = 0; i < levels; ++i) Block(1).Dir(name);
        return *this;
    }
    // A file entry with its record.
    RawArchive& File(std::string_view name, uint32_t size, uint32_t offset, uint32_t packed = 0,
                     uint32_t attributes = orvobf::format::kAttrFile);
    // Overwrites 4 bytes at `at` (for offsets known only later).
    RawArchive& PatchU32(size_t at, uint32_t value);
    // The header's dataBase: the end of what is written so far.
    RawArchive& DataBaseHere() { return PatchU32(orvobf::format::kDataBaseAt, static_cast<uint32_t>(size())); }

    size_t size() const { return bytes_.size(); }
    const std::string& bytes() const { return bytes_; }
    bool WriteTo(const std::string& path, std::string* error) const;

private:
    std::string bytes_;
};

// Why a name cannot stand in an archive, or empty when it can: the reader
// must be able to look it up and an extractor must be able to create it.
std::string CheckName(std::string_view name);

// How a file's bytes go into the archive: as they are, as a packed image,
// or packed only when the image is smaller than the bytes themselves.
// Default stands for the builder's own setting at the time of the Add.
enum class Packing { Default, Store, Pack, PackIfSmaller };

// How AddFolder treats what it meets in a disk folder.
struct FolderOptions {
    // A symbolic link stands for what it points to, wherever that is: a
    // file's bytes, a folder's tree. Off: every link is left out, noted.
    bool followLinks = true;
    // A name the archive cannot hold beside the others (one the name rules
    // refuse, or one that differs from another of its folder only in case)
    // is left out, noted, and the first in name order kept. Off: such names
    // make AddFolder fail.
    bool skipConflicts = false;
};

// Something AddFolder met and did not add, by consequence.
struct FolderIssue {
    enum class Kind {
        Skipped,  // cannot be archived (unreadable, a FIFO, socket or device,
                  // a dangling link, a link loop): left out
        Refused,  // makes the folder unusable: a name the archive cannot
                  // hold, a file too large for the format, an unreadable DIR
        Note,     // left out as the options ask
    };
    Kind kind;
    std::string text;  // "DISK PATH: why"
};

class ArchiveBuilder {
public:
    ArchiveBuilder();
    ~ArchiveBuilder();
    ArchiveBuilder(const ArchiveBuilder&) = delete;
    ArchiveBuilder& operator=(const ArchiveBuilder&) = delete;

    // Paths inside the archive use '/' between components; missing parent
    // directories are made. A name that breaks CheckName, or that is already
    // taken in its directory (in the reader's order, either kind), fails.
    bool AddDirectory(std::string_view archivePath, std::string* error);
    bool AddFile(std::string_view archivePath, std::string contents, std::string* error,
                 Packing packing = Packing::Default);
    // Disk files are streamed when the archive is written, packed or not.
    bool AddDiskFile(std::string_view archivePath, const std::string& diskPath,
                     std::string* error, Packing packing = Packing::Default);
    // The packing of files added from now on without one of their own
    // (AddFolder's included); Store at first.
    void SetDefaultPacking(Packing packing);
    // Adds a disk folder's contents under `archivePath` ("" for the root),
    // recursively: directories and regular files, and what links point to
    // (see FolderOptions); nothing outside the folder is read unless a link
    // points there. Every entry is looked at (a regular file is opened once,
    // to know it can be read), and `issues` gets a line for each one not
    // added, in the walk's order: folders in name order, byte by byte.
    // Returns false when any issue is Refused; the tree then keeps what was
    // accepted, and is not meant to be written.
    bool AddFolder(std::string_view archivePath, const std::string& diskFolder, const FolderOptions& options,
                   std::vector<FolderIssue>* issues);
    // The same with the default options, failing on any issue at all:
    // *error then holds every issue's text, one line each.
    bool AddFolder(std::string_view archivePath, const std::string& diskFolder,
                   std::string* error);

    // The packer's level for the files packed at Write; classic at first,
    // the level whose images are the system's own bytes.
    void SetPackLevel(PackLevel level);
    // Threads that pack files at Write: 0 for one per core, 1 to pack each
    // in turn on the calling thread. Every count writes the same bytes.
    void SetPackThreads(unsigned threads);
    // Packed images made ahead of their turn are held in memory: never more
    // than this many bytes of them (counting each at its worst-case size).
    // A file whose image could exceed it alone is packed ahead into a
    // temporary file beside the archive instead (no more of those at once
    // than threads, each gone when copied in or when Write fails), or in
    // its turn, straight into the archive, with one thread.
    void SetPackMemory(uint64_t bytes);
    static constexpr uint64_t kDefaultPackMemory = uint64_t{64} << 20;
    // Files whose path inside the archive passes the test are stored at
    // Write, whatever packing they were added with.
    void SetStoreFilter(std::function<bool(const std::string& archivePath)> store);
    // Called on the calling thread after each file's data was written.
    struct Progress {
        uint64_t filesDone, filesTotal;
        uint64_t bytesDone, bytesTotal;  // the files' own sizes
    };
    void SetProgress(std::function<void(const Progress&)> progress);

    uint32_t FileCount() const;
    uint32_t DirCount() const;

    // Every entry with its path inside the archive, parents before their
    // contents, each directory's entries in the reader's order.
    using EntryVisitor = std::function<void(const std::string& path, std::string_view name, bool isDir)>;
    void VisitEntries(const EntryVisitor& visit) const;

    // Writes the archive. Every size and position must fit the format's
    // 32-bit fields (kMaxFileSize, kMaxFileOffset); a tree that does not is
    // refused before anything is written, naming the first file that does
    // not fit (where packed images make the positions known only as they
    // are written, the check is made then, and the archive is not left
    // behind). A disk file is archived only if it is still the regular
    // file that was added (not swapped for a link, nor another file, the
    // same size).
    bool Write(const std::string& path, std::string* error);
    // The size and position check that Write makes first, on its own: false,
    // with the first file that does not fit in *error, for a tree Write
    // would refuse.
    bool Fits(std::string* error);

    struct Node;

private:
    std::unique_ptr<Node> root_;
    Packing defaultPacking_ = Packing::Store;
    PackLevel level_ = PACKED_LEVEL_CLASSIC;
    unsigned threads_ = 1;
    uint64_t packMemory_ = kDefaultPackMemory;
    std::function<bool(const std::string&)> store_;
    std::function<void(const Progress&)> progress_;
};

}  // namespace orvobf::writer

#endif

// What the C++ interface's source files share: the archive object behind an
// Archive, errors, paths, and the lookups of archive and disk-folder layers
// that report nothing (Layers asks every layer; a miss is no failure).
#ifndef ORVOBF_CXX_INTERNAL_H
#define ORVOBF_CXX_INTERNAL_H

#include <cstdint>
#include <filesystem>
#include <new>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include <orvobf/ORVOBF.H>
#include <orvobf/orvobf.hpp>

namespace orvobf::detail {

// Files open at once per archive: one handle-table slot each.
inline constexpr uint32_t kHandleSlots = 4096;

struct ArchiveState {
    ArchiveState() : bf(kHandleSlots) {}
    BigFile bf;
    std::string path;
    std::string formatVersion;
    bool versionDiffers = false;
};

// An error of `kind`; its message names `path`, the system's `reason` and
// the library's own text, each where given.
std::error_code MakeError(errc kind, std::string_view path = {}, std::string_view reason = {},
                          std::string_view libraryText = {}) noexcept;
// The system's text for an errno value; empty for 0.
std::string SystemReason(int error);
// The error the calling thread's last call on `bf` stored, as an
// error_code about `path`. `fallback` stands for a call that failed
// without storing a code.
std::error_code LibraryError(BigFile& bf, errc fallback, std::string_view path);

// Runs `body`; running out of memory inside it is an errc::out_of_memory
// failure, not an exception.
template <class Body>
auto Guarded(std::error_code& ec, Body&& body) -> decltype(body()) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    ec = MakeError(errc::out_of_memory);
    return decltype(body()){};
}

// The components of a path; nullopt when it holds a NUL byte (no name
// does).
std::optional<std::vector<std::string_view>> SplitPath(std::string_view path);
// `parent` and `name` joined by '/'.
std::string JoinPath(std::string_view parent, std::string_view name);

// --- Archive layers -------------------------------------------------------
// The folder at `parts` (the root for none), its path as stored in
// *stored; null when there is none.
const DirNode* ArchiveFolder(ArchiveState& archive, std::span<const std::string_view> parts, std::string* stored);
// The entry at `parts`, a folder before a file of the same name.
std::optional<Entry> ArchiveStat(ArchiveState& archive, std::span<const std::string_view> parts, uint32_t layer);
// The file at `parts`, its path as stored in *stored; null when there is
// none, with *isDir telling whether a folder stands there.
FileRecord* ArchiveFileRecord(ArchiveState& archive, std::span<const std::string_view> parts, std::string* stored,
                              bool* isDir);
// The entries of a folder node whose path is `stored`.
void ArchiveEntries(const DirNode* node, const std::string& stored, uint32_t layer, std::vector<Entry>& out);
// Reads a record found in `archive`'s tree whole.
std::vector<std::byte> ReadArchiveFile(ArchiveState& archive, FileRecord* record, const std::string& path,
                                       std::error_code& ec);

// --- Disk-folder layers ---------------------------------------------------
enum class DiskKind { none, file, dir };
struct DiskFound {
    DiskKind kind = DiskKind::none;
    std::filesystem::path where;  // on disk
    std::string path;             // as the folder spells it, from its root
    std::uint64_t size = 0;
};
// What stands at `parts` below the folder `root`: an exact match of each
// name first, else the first that equals it without regard to ASCII case.
DiskFound DiskLookup(const std::string& root, std::span<const std::string_view> parts);
// The files and folders of the disk folder `found`, as Entries of `layer`
// in the archive's name order; false with *ec set when it cannot be read.
bool DiskEntries(const DiskFound& found, uint32_t layer, std::vector<Entry>& out, std::error_code& ec);
Entry DiskEntry(const DiskFound& found, uint32_t layer);

// Makes Files (cxx_file.cpp).
struct FileAccess {
    // A record found in `archive`'s tree, at `path`.
    static File OpenArchive(const std::shared_ptr<ArchiveState>& archive, FileRecord* record, std::string path,
                            std::error_code& ec);
    static File OpenDisk(const DiskFound& found, std::error_code& ec);
};

}  // namespace orvobf::detail

#endif

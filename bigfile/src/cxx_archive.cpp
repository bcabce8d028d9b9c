// Archive: an archive object of its own per open archive, looked up by path
// on the loaded tree (which nothing changes while it is open), never through
// the object's current folder or its error state.
#include <cerrno>
#include <filesystem>

#include <orvobf/ORVOBF.H>
#include <orvobf/archive_format.h>
#include <orvobf/orvobf.hpp>
#include <orvobf/platform.h>
#include "bigfile_internal.h"
#include "cxx_internal.h"

namespace orvobf {
namespace detail {
namespace {

// A name as the tree's lookups take it: NUL-terminated.
const DirEntry* FindIn(const DirNode* node, std::string_view name, bool file) {
    const std::string key(name);
    return file ? core::FindNamesake(node, key.c_str(), BF_ATTR_FILE, true)
                : core::FindNamesake(node, key.c_str(), BF_ATTR_DIR, false);
}

Entry MakeEntry(const DirEntry& entry, std::string path, uint32_t layer) {
    Entry out;
    out.name = entry.name;
    out.path = std::move(path);
    out.layer = layer;
    out.is_dir = core::IsDirEntry(entry.attributes);
    out.name_cut = entry.nameCut != 0;
    if (!out.is_dir) {
        const auto* record = static_cast<const FileRecord*>(entry.payload);
        out.size = record->size;
        out.packed = record->packed != 0;
        // A packed field below an image's smallest length only says "packed".
        out.packed_size = !out.packed ? out.size : record->packed >= 4 ? record->packed : 0;
    }
    return out;
}

// Open, stat and list only see folders and files: an entry of neither kind
// can be neither entered nor opened.
bool Listed(const DirEntry& entry) {
    return core::IsDirEntry(entry.attributes) || core::IsFileEntry(entry.attributes);
}

// The components of `path` on an open archive; nullopt with *ec set when
// the archive is not open or the path cannot name anything.
std::optional<std::vector<std::string_view>> Parts(const ArchiveState* state, std::string_view path,
                                                   std::error_code& ec) {
    auto parts = SplitPath(path);
    if (!state || !parts) {
        ec = MakeError(state ? errc::invalid_argument : errc::not_open, path);
        return std::nullopt;
    }
    return parts;
}

// The folder at `parts`, or null with *ec telling why.
const DirNode* FolderOrError(ArchiveState& state, std::span<const std::string_view> parts, std::string_view path,
                             std::string* stored, std::error_code& ec) {
    const DirNode* node = ArchiveFolder(state, parts, stored);
    if (!node) ec = MakeError(ArchiveStat(state, parts, 0) ? errc::not_a_directory : errc::not_found, path);
    return node;
}

// The file at `parts`, or null with *ec telling why.
FileRecord* FileOrError(ArchiveState& state, std::span<const std::string_view> parts, std::string_view path,
                        std::string* stored, std::error_code& ec) {
    bool isDir = false;
    FileRecord* record = ArchiveFileRecord(state, parts, stored, &isDir);
    if (!record) ec = MakeError(isDir ? errc::is_a_directory : errc::not_found, path);
    return record;
}

std::error_code OpenError(BigFile& bf, const std::string& path, int systemError) {
    uint32_t detail = 0;
    const int32_t code = bf.GetCallError(&detail);
    // A folder fails to open on some systems and only at its first read on
    // others: the same failure either way.
    std::error_code ignored;
    if (std::filesystem::is_directory(path, ignored))
        return MakeError(errc::cannot_open, path, SystemReason(EISDIR), bf.GetErrorText(code, detail));
    if (code == BFE_CANNOT_OPEN)
        return MakeError(errc::cannot_open, path, SystemReason(systemError), bf.GetErrorText(code, detail));
    if (code == BFE_FILE_IO || code == BFE_INVALID_BIGFILE)
        return MakeError(errc::invalid_archive, path, {}, bf.GetErrorText(code, detail));
    return LibraryError(bf, errc::cannot_open, path);
}

}  // namespace

std::optional<std::vector<std::string_view>> SplitPath(std::string_view path) {
    if (path.find('\0') != std::string_view::npos) return std::nullopt;
    return format::PathComponents(path);
}

std::string JoinPath(std::string_view parent, std::string_view name) {
    std::string path;
    path.reserve(parent.size() + 1 + name.size());
    path.append(parent);
    if (!parent.empty()) path.push_back('/');
    path.append(name);
    return path;
}

const DirNode* ArchiveFolder(ArchiveState& archive, std::span<const std::string_view> parts, std::string* stored) {
    const DirNode* node = archive.bf.GetRootDir();
    stored->clear();
    for (std::string_view part : parts) {
        const DirEntry* entry = FindIn(node, part, false);
        if (!entry) return nullptr;
        node = static_cast<const DirNode*>(entry->payload);
        if (!stored->empty()) stored->push_back('/');
        stored->append(entry->name);
    }
    return node;
}

std::optional<Entry> ArchiveStat(ArchiveState& archive, std::span<const std::string_view> parts, uint32_t layer) {
    if (parts.empty()) {
        Entry root;
        root.is_dir = true;
        root.layer = layer;
        return root;
    }
    std::string stored;
    const DirNode* folder = ArchiveFolder(archive, parts.first(parts.size() - 1), &stored);
    if (!folder) return std::nullopt;
    const DirEntry* entry = FindIn(folder, parts.back(), false);
    if (!entry) entry = FindIn(folder, parts.back(), true);
    if (!entry) return std::nullopt;
    return MakeEntry(*entry, JoinPath(stored, entry->name), layer);
}

FileRecord* ArchiveFileRecord(ArchiveState& archive, std::span<const std::string_view> parts, std::string* stored,
                              bool* isDir) {
    *isDir = parts.empty();
    if (parts.empty()) return nullptr;
    const DirNode* folder = ArchiveFolder(archive, parts.first(parts.size() - 1), stored);
    if (!folder) return nullptr;
    if (const DirEntry* entry = FindIn(folder, parts.back(), true)) {
        *stored = JoinPath(*stored, entry->name);
        return static_cast<FileRecord*>(entry->payload);
    }
    *isDir = FindIn(folder, parts.back(), false) != nullptr;
    return nullptr;
}

void ArchiveEntries(const DirNode* node, const std::string& stored, uint32_t layer, std::vector<Entry>& out) {
    out.reserve(out.size() + node->count);
    for (uint32_t i = 0; i < node->count; ++i) {
        const DirEntry& entry = node->entries[i];
        if (Listed(entry)) out.push_back(MakeEntry(entry, JoinPath(stored, entry.name), layer));
    }
}

}  // namespace detail

Archive Archive::open(std::string_view path, std::error_code& ec) {
    ec.clear();
    return detail::Guarded(ec, [&]() -> Archive {
        if (path.find('\0') != std::string_view::npos) {
            ec = detail::MakeError(errc::invalid_argument, path);
            return {};
        }
        auto state = std::make_shared<detail::ArchiveState>();
        state->path.assign(path);
        BigFile& bf = state->bf;
        core::ForgetCallError();
        if (!bf.Init(BIGFILE_HEADER_VERSION)) {
            ec = detail::LibraryError(bf, errc::out_of_memory, path);
            return {};
        }
        errno = 0;
        if (!bf.Open(state->path.c_str(), BF_OPEN_QUIET)) {
            ec = detail::OpenError(bf, state->path, errno);
            return {};
        }
        // The signature's version, which the quiet open accepted unseen.
        char signature[format::kSignatureSize] = {};
        bool failed = false;
        platform::StreamReadAt(bf.GetArchiveStream(), signature, sizeof signature, 0, &failed);
        const std::string_view version(signature + format::kFormatVersionAt, format::kFormatVersion.size());
        state->formatVersion.assign(version.substr(0, version.find('\0')));
        state->versionDiffers = format::CompareNames(version, format::kFormatVersion) != 0;
        Archive archive;
        archive.state_ = std::move(state);
        return archive;
    });
}

const std::string& Archive::path() const noexcept {
    static const std::string none;
    return state_ ? state_->path : none;
}

std::string Archive::format_version() const { return state_ ? state_->formatVersion : std::string(); }
bool Archive::format_version_differs() const noexcept { return state_ && state_->versionDiffers; }
std::uint32_t Archive::dir_count() const noexcept { return state_ ? state_->bf.GetDirCount() : 0; }
std::uint32_t Archive::file_count() const noexcept { return state_ ? state_->bf.GetFileCount() : 0; }

std::optional<Entry> Archive::stat(std::string_view path, std::error_code& ec) const {
    ec.clear();
    return detail::Guarded(ec, [&]() -> std::optional<Entry> {
        const auto parts = detail::Parts(state_.get(), path, ec);
        if (!parts) return std::nullopt;
        std::optional<Entry> entry = detail::ArchiveStat(*state_, *parts, 0);
        if (!entry) ec = detail::MakeError(errc::not_found, path);
        return entry;
    });
}

std::vector<Entry> Archive::list(std::string_view dir, std::error_code& ec) const {
    ec.clear();
    return detail::Guarded(ec, [&]() -> std::vector<Entry> {
        const auto parts = detail::Parts(state_.get(), dir, ec);
        std::string stored;
        const DirNode* node = parts ? detail::FolderOrError(*state_, *parts, dir, &stored, ec) : nullptr;
        if (!node) return {};
        std::vector<Entry> entries;
        detail::ArchiveEntries(node, stored, 0, entries);
        return entries;
    });
}

void Archive::walk(std::string_view dir, const walk_visitor& visit, std::error_code& ec) const {
    ec.clear();
    detail::Guarded(ec, [&]() -> bool {
        if (!visit) {
            ec = detail::MakeError(errc::invalid_argument, dir);
            return false;
        }
        const auto parts = detail::Parts(state_.get(), dir, ec);
        std::string stored;
        const DirNode* node = parts ? detail::FolderOrError(*state_, *parts, dir, &stored, ec) : nullptr;
        if (!node) return false;
        // The walker keeps its own heap stack: no depth of nesting stops it.
        BigFileWalker walker(state_->bf, const_cast<DirNode*>(node));
        WalkEntry step;
        while (walker.Next(&step)) {
            if (!detail::Listed(*step.entry)) continue;
            const walk_action action = visit(detail::MakeEntry(*step.entry, detail::JoinPath(stored, step.path), 0));
            if (action == walk_action::stop) return true;
            if (action == walk_action::skip_children) walker.SkipChildren();
        }
        if (walker.Failed()) ec = detail::MakeError(errc::out_of_memory, dir);
        return true;
    });
}

File Archive::open_file(std::string_view path, std::error_code& ec) const {
    ec.clear();
    return detail::Guarded(ec, [&]() -> File {
        const auto parts = detail::Parts(state_.get(), path, ec);
        std::string stored;
        FileRecord* record = parts ? detail::FileOrError(*state_, *parts, path, &stored, ec) : nullptr;
        if (!record) return {};
        return detail::FileAccess::OpenArchive(state_, record, std::move(stored), ec);
    });
}

std::vector<std::byte> Archive::read_all(std::string_view path, std::error_code& ec) const {
    ec.clear();
    return detail::Guarded(ec, [&]() -> std::vector<std::byte> {
        const auto parts = detail::Parts(state_.get(), path, ec);
        std::string stored;
        FileRecord* record = parts ? detail::FileOrError(*state_, *parts, path, &stored, ec) : nullptr;
        if (!record) return {};
        return detail::ReadArchiveFile(*state_, record, stored, ec);
    });
}

}  // namespace orvobf

// Disk folders as layers: looked up and listed with the archive's name
// rules (ASCII case folded), on any system's file names.
#include <algorithm>
#include <filesystem>

#include <orvobf/archive_format.h>
#include <orvobf/orvobf.hpp>
#include "cxx_internal.h"

namespace orvobf::detail {
namespace {
namespace fs = std::filesystem;

// What stands at `where`; a link is nothing unless `follow` (the layer's
// own folder may be one).
DiskKind KindAt(const fs::path& where, bool follow = false) {
    std::error_code ec;
    const fs::file_status status = follow ? fs::status(where, ec) : fs::symlink_status(where, ec);
    if (ec) return DiskKind::none;
    if (fs::is_directory(status)) return DiskKind::dir;
    // Pipes, devices and sockets are no files to read: a read could block.
    return fs::is_regular_file(status) ? DiskKind::file : DiskKind::none;
}

// A component that names one entry of its folder and nothing else: not
// ".", "..", a drive or a root.
bool PlainName(std::string_view name) {
    if (name == "." || name == "..") return false;
    const fs::path path{std::string(name)};
    return !path.has_root_path() && path.filename() == path;
}

// Byte order among names that fold to the same: the lookup's choice.
bool NameBefore(const std::string& a, const std::string& b) {
    const int c = format::CompareNames(std::string_view(a), std::string_view(b));
    return c != 0 ? c < 0 : a < b;
}

}  // namespace

DiskFound DiskLookup(const std::string& root, std::span<const std::string_view> parts) {
    DiskFound found;
    found.where = fs::path(root);
    found.kind = KindAt(found.where, true) == DiskKind::dir ? DiskKind::dir : DiskKind::none;
    for (std::string_view part : parts) {
        if (found.kind != DiskKind::dir || !PlainName(part)) return {};
        std::string name(part);
        fs::path next = found.where / name;
        DiskKind kind = KindAt(next);
        if (kind == DiskKind::none) {
            // Another spelling of the name: the first in byte order.
            std::error_code ec;
            std::string best;
            for (fs::directory_iterator it(found.where, ec), end; !ec && it != end; it.increment(ec)) {
                std::string candidate = it->path().filename().string();
                if (format::CompareNames(std::string_view(candidate), part) != 0) continue;
                if (KindAt(it->path()) == DiskKind::none) continue;
                if (best.empty() || candidate < best) best = std::move(candidate);
            }
            if (best.empty()) return {};
            name = std::move(best);
            next = found.where / name;
            kind = KindAt(next);
        }
        found.where = std::move(next);
        found.kind = kind;
        found.path = JoinPath(found.path, name);
    }
    if (found.kind == DiskKind::file) {
        std::error_code ec;
        const auto size = fs::file_size(found.where, ec);
        found.size = ec ? 0 : size;
    }
    return found;
}

Entry DiskEntry(const DiskFound& found, uint32_t layer) {
    Entry entry;
    const size_t slash = found.path.rfind('/');
    entry.name = slash == std::string::npos ? found.path : found.path.substr(slash + 1);
    entry.path = found.path;
    entry.is_dir = found.kind == DiskKind::dir;
    entry.size = entry.packed_size = found.size;
    entry.layer = layer;
    return entry;
}

bool DiskEntries(const DiskFound& found, uint32_t layer, std::vector<Entry>& out, std::error_code& ec) {
    std::error_code failure;
    std::vector<std::string> names;
    for (fs::directory_iterator it(found.where, failure), end; !failure && it != end; it.increment(failure)) {
        std::string name = it->path().filename().string();
        // A name with a separator could never be looked up again.
        if (name.find_first_of("/\\") != std::string::npos) continue;
        names.push_back(std::move(name));
    }
    if (failure) {
        ec = MakeError(errc::io_error, found.path.empty() ? found.where.string() : found.path,
                       failure.message());
        return false;
    }
    std::sort(names.begin(), names.end(), NameBefore);
    for (const std::string& name : names) {
        DiskFound child;
        child.where = found.where / name;
        child.kind = KindAt(child.where);
        if (child.kind == DiskKind::none) continue;
        child.path = JoinPath(found.path, name);
        if (child.kind == DiskKind::file) {
            std::error_code sizeError;
            const auto size = fs::file_size(child.where, sizeError);
            child.size = sizeError ? 0 : size;
        }
        out.push_back(DiskEntry(child, layer));
    }
    return true;
}

}  // namespace orvobf::detail

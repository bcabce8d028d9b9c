// Layers: archives and disk folders stacked; every lookup asks the layers
// from the last down, and a miss in a layer is no failure.
#include <algorithm>
#include <filesystem>

#include <orvobf/archive_format.h>
#include <orvobf/orvobf.hpp>
#include "cxx_internal.h"

namespace orvobf {

void Layers::add_archive(Archive archive, std::error_code& ec) {
    ec.clear();
    if (!archive.is_open()) {
        ec = detail::MakeError(errc::not_open);
        return;
    }
    detail::Guarded(ec, [&] {
        layers_.push_back(Layer{std::move(archive.state_), {}});
        return true;
    });
}

void Layers::add_archive(std::string_view path, std::error_code& ec) {
    Archive archive = Archive::open(path, ec);
    if (!ec) add_archive(std::move(archive), ec);
}

void Layers::add_folder(std::string_view path, std::error_code& ec) {
    ec.clear();
    detail::Guarded(ec, [&] {
        if (path.find('\0') != std::string_view::npos) {
            ec = detail::MakeError(errc::invalid_argument, path);
            return false;
        }
        std::error_code failure;
        // Absolute: a later change of the working folder moves no layer.
        const std::filesystem::path folder = std::filesystem::absolute(std::string(path), failure);
        const auto status = std::filesystem::status(folder, failure);
        if (!std::filesystem::is_directory(status)) {
            ec = detail::MakeError(std::filesystem::exists(status) ? errc::not_a_directory : errc::not_found, path,
                                   failure ? failure.message() : std::string());
            return false;
        }
        layers_.push_back(Layer{nullptr, folder.string()});
        return true;
    });
}

std::optional<Entry> Layers::stat(std::string_view path, std::error_code& ec) const {
    ec.clear();
    return detail::Guarded(ec, [&]() -> std::optional<Entry> {
        const auto parts = detail::SplitPath(path);
        if (!parts) {
            ec = detail::MakeError(errc::invalid_argument, path);
            return std::nullopt;
        }
        if (parts->empty()) {
            Entry root;
            root.is_dir = true;
            return root;
        }
        for (auto i = static_cast<uint32_t>(layers_.size()); i-- > 0;) {
            const Layer& layer = layers_[i];
            if (layer.archive) {
                if (auto entry = detail::ArchiveStat(*layer.archive, *parts, i)) return entry;
            } else {
                const detail::DiskFound found = detail::DiskLookup(layer.folder, *parts);
                if (found.kind != detail::DiskKind::none) return detail::DiskEntry(found, i);
            }
        }
        ec = detail::MakeError(errc::not_found, path);
        return std::nullopt;
    });
}

std::vector<Entry> Layers::merged(std::span<const std::string_view> parts, std::string_view shown,
                                  std::error_code& ec) const {
    std::vector<Entry> all;
    std::string folderPath;
    bool folder = parts.empty(), file = false;
    for (uint32_t i = 0; i < layers_.size(); ++i) {
        const Layer& layer = layers_[i];
        if (layer.archive) {
            std::string stored;
            if (const DirNode* node = detail::ArchiveFolder(*layer.archive, parts, &stored)) {
                folder = true;
                folderPath = std::move(stored);
                detail::ArchiveEntries(node, folderPath, i, all);
            } else {
                file = file || detail::ArchiveStat(*layer.archive, parts, i).has_value();
            }
        } else {
            const detail::DiskFound found = detail::DiskLookup(layer.folder, parts);
            if (found.kind == detail::DiskKind::dir) {
                folder = true;
                folderPath = found.path;
                if (!detail::DiskEntries(found, i, all, ec)) return {};
            } else {
                file = file || found.kind == detail::DiskKind::file;
            }
        }
    }
    if (!folder) {
        ec = detail::MakeError(file ? errc::not_a_directory : errc::not_found, shown);
        return {};
    }
    // One entry per name: the last layer's, and in that layer a folder
    // before a file; the folder's path as its last layer spells it.
    std::stable_sort(all.begin(), all.end(), [](const Entry& a, const Entry& b) {
        return format::CompareNames(std::string_view(a.name), std::string_view(b.name)) < 0;
    });
    std::vector<Entry> out;
    for (auto group = all.begin(); group != all.end();) {
        auto winner = group, next = group + 1;
        for (; next != all.end() && format::CompareNames(std::string_view(next->name), group->name) == 0; ++next)
            if (next->layer > winner->layer || (next->layer == winner->layer && next->is_dir && !winner->is_dir))
                winner = next;
        winner->path = detail::JoinPath(folderPath, winner->name);
        out.push_back(std::move(*winner));
        group = next;
    }
    return out;
}

std::vector<Entry> Layers::list(std::string_view dir, std::error_code& ec) const {
    ec.clear();
    return detail::Guarded(ec, [&]() -> std::vector<Entry> {
        const auto parts = detail::SplitPath(dir);
        if (!parts) {
            ec = detail::MakeError(errc::invalid_argument, dir);
            return {};
        }
        return merged(*parts, dir, ec);
    });
}

void Layers::walk(std::string_view dir, const walk_visitor& visit, std::error_code& ec) const {
    ec.clear();
    detail::Guarded(ec, [&] {
        const auto parts = detail::SplitPath(dir);
        if (!parts || !visit) {
            ec = detail::MakeError(errc::invalid_argument, dir);
            return false;
        }
        // Folders still to finish, on the heap: no depth of nesting stops it.
        struct Level {
            std::vector<Entry> entries;
            size_t next = 0;
        };
        std::vector<Level> levels;
        levels.push_back(Level{merged(*parts, dir, ec)});
        while (!ec && !levels.empty()) {
            Level& top = levels.back();
            if (top.next == top.entries.size()) {
                levels.pop_back();
                continue;
            }
            const Entry entry = std::move(top.entries[top.next++]);
            const walk_action action = visit(entry);
            if (action == walk_action::stop) break;
            if (entry.is_dir && action != walk_action::skip_children)
                levels.push_back(Level{merged(*detail::SplitPath(entry.path), entry.path, ec)});
        }
        return true;
    });
}

File Layers::open_file(std::string_view path, std::error_code& ec) const {
    ec.clear();
    return detail::Guarded(ec, [&]() -> File {
        const auto parts = detail::SplitPath(path);
        if (!parts) {
            ec = detail::MakeError(errc::invalid_argument, path);
            return {};
        }
        bool folder = parts->empty();
        for (auto i = static_cast<uint32_t>(layers_.size()); i-- > 0 && !parts->empty();) {
            const Layer& layer = layers_[i];
            if (layer.archive) {
                std::string stored;
                bool isDir = false;
                if (FileRecord* record = detail::ArchiveFileRecord(*layer.archive, *parts, &stored, &isDir))
                    return detail::FileAccess::OpenArchive(layer.archive, record, std::move(stored), ec);
                folder = folder || isDir;
            } else {
                const detail::DiskFound found = detail::DiskLookup(layer.folder, *parts);
                if (found.kind == detail::DiskKind::file) return detail::FileAccess::OpenDisk(found, ec);
                folder = folder || found.kind == detail::DiskKind::dir;
            }
        }
        ec = detail::MakeError(folder ? errc::is_a_directory : errc::not_found, path);
        return {};
    });
}

std::vector<std::byte> Layers::read_all(std::string_view path, std::error_code& ec) const {
    ec.clear();
    return detail::Guarded(ec, [&]() -> std::vector<std::byte> {
        File file = open_file(path, ec);
        if (ec) return {};
        if (file.size() > std::vector<std::byte>().max_size()) {
            ec = detail::MakeError(errc::out_of_memory, path);
            return {};
        }
        std::vector<std::byte> bytes(static_cast<size_t>(file.size()));
        bytes.resize(file.read(bytes, ec));
        if (ec) return {};
        return bytes;
    });
}

}  // namespace orvobf

#include "archive_path.h"

#include <string_view>

#include "extract_engine.h"
#include <orvobf/archive_format.h>

namespace orvobf::tool {

namespace {
// The entry of `node` that holds `payload`: its name as the archive stores
// it, whatever case the user typed.
const DirEntry* EntryOf(const DirNode* node, const void* payload) {
    for (uint32_t i = 0; i < node->count; ++i)
        if (node->entries[i].payload == payload) return &node->entries[i];
    return nullptr;
}
}  // namespace

DirNode* ArchivePath::Folder() const {
    if (entries.empty()) return parent;
    const DirEntry* last = entries.back();
    return last->attributes & BF_ATTR_DIR ? static_cast<DirNode*>(last->payload) : nullptr;
}

std::string ArchivePath::Spelled() const {
    std::string path;
    for (const DirEntry* entry : entries) path += (path.empty() ? "" : "/") + std::string(entry->name);
    return path;
}

ArchivePath Locate(BigFile& bf, const std::string& path) {
    ArchivePath target{path, {}, bf.GetRootDir(), false, true};
    std::vector<std::string> parts;
    for (std::string_view part : format::PathComponents(path)) parts.emplace_back(part);
    for (size_t i = 0; i < parts.size(); ++i) {
        if (!engine::IsSafeName(parts[i].c_str())) {
            target.safe = false;
            return target;
        }
        DirNode* node = target.entries.empty() ? bf.GetRootDir() : target.Folder();
        if (!node) return target;  // a file is no folder to look into
        bf.SetCurrentDir(node);
        const void* payload = i + 1 == parts.size() ? bf.FindFile(parts[i].c_str()) : nullptr;
        if (!payload) payload = bf.FindEntry(parts[i].c_str(), BF_ATTR_DIR);
        const DirEntry* entry = payload ? EntryOf(node, payload) : nullptr;
        if (!entry) return target;
        target.parent = node;
        target.entries.push_back(entry);
    }
    target.found = true;
    return target;
}

}  // namespace orvobf::tool

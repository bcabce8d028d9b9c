// The archive builder's tree: directories and files as they are added,
// from memory or from disk, and the checks every added name goes through.
#ifndef ORVOBF_WRITER_BUILDER_TREE_H
#define ORVOBF_WRITER_BUILDER_TREE_H

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <orvobf/archive_writer.h>
#include "source_file.h"

namespace orvobf::writer {

struct ArchiveBuilder::Node {
    std::string name;
    bool isDir = false;
    std::vector<std::unique_ptr<Node>> children;  // in the reader's order once Write sorted them
    std::string contents;  // file from memory
    std::filesystem::path diskPath;  // from disk (a file's contents empty then)
    SourceStamp stamp;  // the disk file as the scan saw it
    uint64_t size = 0;
    uint64_t offset = 0;  // relative to the data area, set by Write
    Packing packing = Packing::Store;
    uint32_t packed = 0;  // the record's packed field: the image's length, or 0
};

using TreeNode = ArchiveBuilder::Node;

// The child of that name in the reader's comparison (case folded), or null.
TreeNode* FindChild(TreeNode* dir, std::string_view name);

// An archive path as messages quote it.
std::string Quoted(std::string_view archivePath);
// An entry as messages name it: its disk path, or its quoted name.
std::string Label(const TreeNode* node);

// Why an entry named `name` cannot stand beside `taken` in one directory.
std::string SameNameFault(std::string_view name, const TreeNode* taken);

// Adds `node` at `archivePath`, making missing parent directories. A
// refused name, or one already taken (either kind), fails with
// "label: why" and leaves the tree as it was.
bool AddNode(TreeNode* root, std::string_view archivePath, std::unique_ptr<TreeNode> node,
             const std::string& label, std::string* error);

// The directory at `archivePath` ("" for the root), made with its missing
// parents; null with *error when a name is refused or a file stands there.
TreeNode* DirectoryAt(TreeNode* root, std::string_view archivePath, std::string* error);

}  // namespace orvobf::writer

#endif

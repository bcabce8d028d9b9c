#include "builder_tree.h"

#include <orvobf/archive_format.h>
#include <orvobf/name_rules.h>

namespace orvobf::writer {
namespace {

namespace fmt = orvobf::format;

// The builder's paths use '/' alone: a '\\' stays inside its name, where
// the name rules refuse it, so no name of a disk folder is split.
constexpr bool IsBuilderSeparator(char c) { return c == '/'; }

// Walks to the parent directory of the last component, making missing
// directories, and checks every name. Returns the parent, or null with
// *why telling what is wrong.
TreeNode* ParentFor(TreeNode* root, std::string_view archivePath, std::string& leaf, std::string* why) {
    const auto parts = fmt::PathComponents(archivePath, IsBuilderSeparator);
    if (parts.empty()) {
        *why = "empty archive path";
        return nullptr;
    }
    // Everything is checked before anything is made, so a refused path
    // leaves the tree as it was.
    for (size_t i = 0; i < parts.size(); ++i) {
        const std::string fault = CheckName(parts[i]);
        if (fault.empty()) continue;
        // The last name is the one the caller's label ends with.
        *why = i + 1 == parts.size() ? fault : Quoted(parts[i]) + ": " + fault;
        return nullptr;
    }
    TreeNode* dir = root;
    size_t made = 0;  // components that already exist as directories
    for (; made + 1 < parts.size(); ++made) {
        TreeNode* next = FindChild(dir, parts[made]);
        if (!next) break;
        if (!next->isDir) {
            *why = Quoted(next->name) + " is a file";
            return nullptr;
        }
        dir = next;
    }
    leaf = std::string(parts.back());
    if (made + 1 == parts.size()) {
        if (TreeNode* taken = FindChild(dir, leaf)) {
            *why = SameNameFault(leaf, taken);
            return nullptr;
        }
    }
    for (; made + 1 < parts.size(); ++made) {
        auto node = std::make_unique<TreeNode>();
        node->name = std::string(parts[made]);
        node->isDir = true;
        TreeNode* next = node.get();
        dir->children.push_back(std::move(node));
        dir = next;
    }
    return dir;
}

}  // namespace

TreeNode* FindChild(TreeNode* dir, std::string_view name) {
    for (auto& child : dir->children)
        if (fmt::CompareNames(child->name, name) == 0) return child.get();
    return nullptr;
}

std::string Quoted(std::string_view archivePath) { return "'" + orvobf::PrintableName(archivePath) + "'"; }

std::string Label(const TreeNode* node) {
    return node->diskPath.empty() ? Quoted(node->name) : ShownPath(node->diskPath);
}

std::string SameNameFault(std::string_view name, const TreeNode* taken) {
    if (name == taken->name) return "same name as " + Label(taken);
    return "differs from " + Label(taken) + " only in case (names are compared without regard to case)";
}

bool AddNode(TreeNode* root, std::string_view archivePath, std::unique_ptr<TreeNode> node,
             const std::string& label, std::string* error) {
    std::string why;
    TreeNode* parent = ParentFor(root, archivePath, node->name, &why);
    if (!parent) {
        if (error) *error = label + ": " + why;
        return false;
    }
    parent->children.push_back(std::move(node));
    return true;
}

TreeNode* DirectoryAt(TreeNode* root, std::string_view archivePath, std::string* error) {
    TreeNode* dir = root;
    for (const auto part : fmt::PathComponents(archivePath, IsBuilderSeparator)) {
        dir = FindChild(dir, part);
        if (!dir || !dir->isDir) break;
    }
    if (dir && dir->isDir) return dir;  // there already (the root for "")
    auto node = std::make_unique<TreeNode>();
    node->isDir = true;
    TreeNode* made = node.get();
    return AddNode(root, archivePath, std::move(node), Quoted(archivePath), error) ? made : nullptr;
}

}  // namespace orvobf::writer

// Adding a disk folder: the one walk of the disk for an archive. Each
// folder is listed before it is added, its entries taken in byte order of
// their names; a link stands for what it points to unless the options say
// otherwise; whatever cannot go in is noted by its disk path and the walk
// goes on, so that one run names every problem.
#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include <orvobf/archive_format.h>
#include <orvobf/archive_writer.h>
#include <orvobf/name_rules.h>
#include "builder_tree.h"
#include "source_file.h"

namespace orvobf::writer {
namespace {

namespace fs = std::filesystem;
using Kind = FolderIssue::Kind;

struct ReaderOrder {
    bool operator()(std::string_view a, std::string_view b) const { return orvobf::format::CompareNames(a, b) < 0; }
};

// A folder's entries, sorted, or false with *why when it cannot be listed.
bool List(const fs::path& folder, std::vector<fs::directory_entry>* entries, std::string* why) {
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) entries->push_back(*it);
    if (ec) {
        *why = ShownPath(folder) + ": " + ec.message();
        return false;
    }
    std::sort(entries->begin(), entries->end());
    return true;
}

class FolderWalk {
public:
    FolderWalk(const FolderOptions& options, Packing packing, std::vector<FolderIssue>& issues)
        : options_(options), packing_(packing), issues_(issues) {}

    // Adds the entries of `folder` (listed already) to `dir`; `dir` may be
    // a directory outside the tree, walked only to name what is in it.
    void Walk(TreeNode* dir, const fs::path& folder, const std::vector<fs::directory_entry>& entries) {
        ancestors_.push_back(folder);
        std::map<std::string_view, TreeNode*, ReaderOrder> taken;
        for (auto& child : dir->children) taken.emplace(child->name, child.get());
        for (const fs::directory_entry& entry : entries) Visit(dir, taken, entry);
        ancestors_.pop_back();
    }

private:
    void Issue(Kind kind, std::string text) { issues_.push_back({kind, std::move(text)}); }
    void Conflict(std::string text) { Issue(options_.skipConflicts ? Kind::Note : Kind::Refused, std::move(text)); }

    // Why a link cannot be followed, in words.
    static std::string LinkFault(const fs::path& link, const std::error_code& ec) {
        if (ec == std::errc::too_many_symbolic_link_levels) return "a symbolic link loop";
        std::error_code ignored;
        const std::string target = "'" + orvobf::PrintableName(fs::read_symlink(link, ignored).string()) + "'";
        if (ec == std::errc::no_such_file_or_directory || ec == std::errc::not_a_directory)
            return "a symbolic link to " + target + ", which does not exist";
        return "a symbolic link to " + target + ": " + ec.message();
    }

    // A link to one of the folders being walked would walk it again, and
    // again.
    bool LoopsBack(const fs::path& target) const {
        std::error_code ec;
        for (const fs::path& folder : ancestors_)
            if (fs::equivalent(target, folder, ec)) return true;
        return false;
    }

    // Puts `node` into `dir` under `name`; null, noted, when the name is
    // refused or taken.
    TreeNode* Place(TreeNode* dir, std::map<std::string_view, TreeNode*, ReaderOrder>& taken,
                    std::unique_ptr<TreeNode> node) {
        const std::string shown = ShownPath(node->diskPath);
        if (const std::string fault = CheckName(node->name); !fault.empty()) {
            Conflict(shown + ": " + fault);
            return nullptr;
        }
        if (const auto it = taken.find(node->name); it != taken.end()) {
            Conflict(shown + ": " + SameNameFault(node->name, it->second));
            return nullptr;
        }
        TreeNode* placed = node.get();
        dir->children.push_back(std::move(node));
        taken.emplace(placed->name, placed);
        return placed;
    }

    void Visit(TreeNode* dir, std::map<std::string_view, TreeNode*, ReaderOrder>& taken,
               const fs::directory_entry& entry) {
        const fs::path& path = entry.path();
        const std::string shown = ShownPath(path);
        std::error_code ec;
        fs::file_status status = entry.symlink_status(ec);
        if (ec) return Issue(Kind::Skipped, shown + ": " + ec.message());
        const bool link = fs::is_symlink(status);
        if (link) {
            if (!options_.followLinks) return Issue(Kind::Note, shown + ": a symbolic link");
            status = fs::status(path, ec);
            if (ec) return Issue(Kind::Skipped, shown + ": " + LinkFault(path, ec));
        }
        auto node = std::make_unique<TreeNode>();
        node->name = path.filename().string();
        node->diskPath = path;
        if (!fs::is_directory(status)) {
            std::string why;
            if (!StampSource(path, link, &node->stamp, &why)) return Issue(Kind::Skipped, why);
            if (node->stamp.size > kMaxFileSize)
                return Issue(Kind::Refused, shown + ": " + std::to_string(node->stamp.size) +
                                                " bytes, more than the " + std::to_string(kMaxFileSize) +
                                                " a file in an archive can hold");
            node->size = node->stamp.size;
            node->packing = packing_;
            Place(dir, taken, std::move(node));
            return;
        }
        if (link && LoopsBack(path)) {
            std::error_code ignored;
            return Issue(Kind::Skipped, shown + ": a symbolic link to '" +
                                            orvobf::PrintableName(fs::read_symlink(path, ignored).string()) +
                                            "', a folder it is in (a loop)");
        }
        std::vector<fs::directory_entry> entries;
        std::string why;
        if (!List(path, &entries, &why)) return Issue(Kind::Skipped, why);
        node->isDir = true;
        TreeNode* placed = Place(dir, taken, std::move(node));
        if (placed) return Walk(placed, path, entries);
        // Refused: what is inside is still looked at, so that one run names
        // every problem, unless it is left out as the options ask.
        if (options_.skipConflicts) return;
        TreeNode outside;
        outside.isDir = true;
        Walk(&outside, path, entries);
    }

    const FolderOptions& options_;
    Packing packing_;
    std::vector<FolderIssue>& issues_;
    std::vector<fs::path> ancestors_;  // the folders being walked, outermost first
};

}  // namespace

bool ArchiveBuilder::AddFolder(std::string_view archivePath, const std::string& diskFolder,
                               const FolderOptions& options, std::vector<FolderIssue>* issues) {
    std::vector<FolderIssue> own;
    std::vector<FolderIssue>& found = issues ? *issues : own;
    const size_t first = found.size();
    const fs::path folder(diskFolder);
    std::error_code ec;
    std::vector<fs::directory_entry> entries;
    std::string why;
    // The folder named is taken as it is reached, a link or not.
    if (!fs::is_directory(fs::status(folder, ec))) {
        found.push_back({FolderIssue::Kind::Refused, ShownPath(folder) + ": not a directory"});
    } else if (!List(folder, &entries, &why)) {
        found.push_back({FolderIssue::Kind::Refused, why});
    } else if (TreeNode* dir = DirectoryAt(root_.get(), archivePath, &why); !dir) {
        found.push_back({FolderIssue::Kind::Refused, why});
    } else {
        FolderWalk(options, defaultPacking_, found).Walk(dir, folder, entries);
    }
    return std::none_of(found.begin() + static_cast<std::ptrdiff_t>(first), found.end(),
                        [](const FolderIssue& issue) { return issue.kind == FolderIssue::Kind::Refused; });
}

}  // namespace orvobf::writer

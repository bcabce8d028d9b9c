// The disk side of an extraction: the folder being written into and the
// files made in it. On POSIX every folder of the walk is held open and each
// name is resolved from its folder's descriptor, so the walk never changes
// the process's working directory, and a folder that is moved or replaced
// by a link while it is being written cannot lead anything outside the
// root. On Windows the walk changes the working directory, as the tool
// always did, and checks every change.
//
// Files may be made, published and discarded from several threads at once
// (POSIX), each in the folder it was created in, even after the walk has
// left that folder; entering and leaving folders is the walk's own thread's.
#ifndef ORVOBF_DISK_TREE_H
#define ORVOBF_DISK_TREE_H

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace orvobf::engine {

// A folder of the tree, held open while anything refers to it (POSIX: its
// descriptor). On Windows the working directory is the folder, and this
// is empty.
struct FolderHandle;
using Folder = std::shared_ptr<const FolderHandle>;

// A file being written under a temporary name in a folder of the tree. It
// takes its real name only when it is published.
struct PendingFile {
    std::FILE* stream = nullptr;
    std::string tempName;
    Folder folder;  // where it was created
};

class DiskTree {
public:
    DiskTree() = default;
    ~DiskTree();
    DiskTree(const DiskTree&) = delete;
    DiskTree& operator=(const DiskTree&) = delete;

    // Starts at the folder `path`. Links on the way to it are followed:
    // whoever named the folder chose them.
    bool OpenRoot(const std::string& path);
    // Starts at the parent of the folder `path`: the path, then "..".
    bool OpenParentOf(const std::string& path);
    // Makes the folder `name` in the current folder unless it exists, and
    // makes it current. A link is never entered.
    bool Enter(const char* name);
    // Makes the folder that Enter left current again. When that fails the
    // tree is lost: nothing is made or written any more.
    bool Leave();
    bool lost() const { return lost_; }

    // Files can be made in folders the walk has left (Here), so several
    // threads may write while one walks.
    static constexpr bool kFoldersOutliveTheWalk =
#ifdef _WIN32
        false;
#else
        true;
#endif
    // The current folder, for files made in it later.
    Folder Here() const;

    // A new, empty file under a fresh temporary name in the current folder
    // (in `folder`): nothing that exists is ever opened for writing.
    bool Create(PendingFile& file) { return CreateIn(Here(), file); }
    bool CreateIn(const Folder& folder, PendingFile& file);
    // Closes the stream; false when buffered bytes could not be written.
    static bool Close(PendingFile& file);
    // Renames the closed file over `name` in its folder, replacing a file
    // or link that stands there; nothing is written through it.
    bool Publish(PendingFile& file, const char* name);
    // Removes the closed file.
    void Discard(PendingFile& file);

private:
    std::string NextTempName();

    std::atomic<bool> lost_{false};
    std::atomic<unsigned long> tempCount_{0};
#ifdef _WIN32
    size_t depth_ = 0;  // folders entered below the start
    bool open_ = false;
#else
    std::vector<Folder> folders_;  // the start first, the current folder last
#endif
};

}  // namespace orvobf::engine

#endif

// The disk tree over directory descriptors: each name is resolved from the
// descriptor of the folder it belongs to, so the walk never depends on the
// process's working directory nor on a path that could change under it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "disk_tree.h"

namespace orvobf::engine {

// One folder's descriptor, closed with the last reference to it.
struct FolderHandle {
    explicit FolderHandle(int descriptor) : fd(descriptor) {}
    ~FolderHandle() { close(fd); }
    FolderHandle(const FolderHandle&) = delete;
    FolderHandle& operator=(const FolderHandle&) = delete;
    const int fd;
};

namespace {
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
constexpr int kTempAttempts = 100;

Folder Hold(int fd) { return std::make_shared<const FolderHandle>(fd); }
}  // namespace

DiskTree::~DiskTree() = default;

bool DiskTree::OpenRoot(const std::string& path) {
    if (!folders_.empty() || lost_) return false;
    const int fd = open(path.c_str(), kFolderFlags);
    if (fd < 0) return false;
    folders_.push_back(Hold(fd));
    return true;
}

bool DiskTree::OpenParentOf(const std::string& path) {
    if (!folders_.empty() || lost_ || path.empty()) return false;
    const int folder = open(path.c_str(), kFolderFlags);
    if (folder < 0) return false;
    const int parent = openat(folder, "..", kFolderFlags);
    close(folder);
    if (parent < 0) return false;
    folders_.push_back(Hold(parent));
    return true;
}

bool DiskTree::Enter(const char* name) {
    if (folders_.empty() || lost_) return false;
    const int here = folders_.back()->fd;
    if (mkdirat(here, name, 0777) != 0 && errno != EEXIST) return false;
    const int fd = openat(here, name, kFolderFlags | O_NOFOLLOW);
    if (fd < 0) return false;
    folders_.push_back(Hold(fd));
    return true;
}

bool DiskTree::Leave() {
    if (folders_.size() < 2) {
        lost_ = true;
        return false;
    }
    folders_.pop_back();
    return true;
}

Folder DiskTree::Here() const { return folders_.empty() ? nullptr : folders_.back(); }

bool DiskTree::CreateIn(const Folder& folder, PendingFile& file) {
    if (!folder || lost_) return false;
    for (int attempt = 0; attempt < kTempAttempts; ++attempt) {
        std::string name = NextTempName();
        const int fd = openat(folder->fd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return false;
        }
        file.stream = fdopen(fd, "wb");
        if (!file.stream) {
            close(fd);
            unlinkat(folder->fd, name.c_str(), 0);
            return false;
        }
        file.tempName = std::move(name);
        file.folder = folder;
        return true;
    }
    return false;
}

bool DiskTree::Publish(PendingFile& file, const char* name) {
    return file.folder && renameat(file.folder->fd, file.tempName.c_str(), file.folder->fd, name) == 0;
}

void DiskTree::Discard(PendingFile& file) {
    if (file.folder) unlinkat(file.folder->fd, file.tempName.c_str(), 0);
}

}  // namespace orvobf::engine

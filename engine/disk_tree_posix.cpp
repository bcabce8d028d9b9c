// The disk tree over directory descriptors: each name is resolved from the
// descriptor of the folder it belongs to, so the walk never depends on the
// process's working directory nor on a path that could change under it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "disk_tree.h"

namespace bfx {

namespace {
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
constexpr int kTempAttempts = 100;
}  // namespace

DiskTree::~DiskTree() {
    for (int fd : folders_) close(fd);
}

bool DiskTree::OpenRoot(const std::string& path) {
    if (!folders_.empty() || lost_) return false;
    const int fd = open(path.c_str(), kFolderFlags);
    if (fd < 0) return false;
    folders_.push_back(fd);
    return true;
}

bool DiskTree::OpenParentOf(const std::string& path) {
    if (!folders_.empty() || lost_ || path.empty()) return false;
    const int folder = open(path.c_str(), kFolderFlags);
    if (folder < 0) return false;
    const int parent = openat(folder, "..", kFolderFlags);
    close(folder);
    if (parent < 0) return false;
    folders_.push_back(parent);
    return true;
}

bool DiskTree::Enter(const char* name) {
    if (folders_.empty() || lost_) return false;
    if (mkdirat(folders_.back(), name, 0777) != 0 && errno != EEXIST) return false;
    const int fd = openat(folders_.back(), name, kFolderFlags | O_NOFOLLOW);
    if (fd < 0) return false;
    folders_.push_back(fd);
    return true;
}

bool DiskTree::Leave() {
    if (folders_.size() < 2) {
        lost_ = true;
        return false;
    }
    close(folders_.back());
    folders_.pop_back();
    return true;
}

bool DiskTree::Create(PendingFile& file) {
    if (folders_.empty() || lost_) return false;
    for (int attempt = 0; attempt < kTempAttempts; ++attempt) {
        std::string name = NextTempName();
        const int fd = openat(folders_.back(), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return false;
        }
        file.stream = fdopen(fd, "wb");
        if (!file.stream) {
            close(fd);
            unlinkat(folders_.back(), name.c_str(), 0);
            return false;
        }
        file.tempName = std::move(name);
        return true;
    }
    return false;
}

bool DiskTree::Publish(PendingFile& file, const char* name) {
    return !folders_.empty() && renameat(folders_.back(), file.tempName.c_str(), folders_.back(), name) == 0;
}

void DiskTree::Discard(PendingFile& file) {
    if (!folders_.empty()) unlinkat(folders_.back(), file.tempName.c_str(), 0);
}

}  // namespace bfx

// The disk tree as the tool always walked on Windows: the working directory
// follows the walk. Every change is checked; once one fails the tree is
// lost and nothing more is made or written.
#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>

#include "disk_tree.h"

namespace orvobf::engine {

namespace {
constexpr int kTempAttempts = 100;

bool IsFolder(const char* name) {
    struct _stat st;
    return _stat(name, &st) == 0 && (st.st_mode & _S_IFDIR);
}
}  // namespace

DiskTree::~DiskTree() = default;

bool DiskTree::OpenRoot(const std::string& path) {
    if (open_ || lost_) return false;
    open_ = _chdir(path.c_str()) == 0;
    return open_;
}

bool DiskTree::OpenParentOf(const std::string& path) {
    if (open_ || lost_ || path.empty()) return false;
    if (_chdir(path.c_str()) != 0) return false;
    if (_chdir("..") != 0) {
        lost_ = true;
        return false;
    }
    open_ = true;
    return true;
}

bool DiskTree::Enter(const char* name) {
    if (!open_ || lost_) return false;
    if (_mkdir(name) != 0 && !IsFolder(name)) return false;
    if (_chdir(name) != 0) return false;
    ++depth_;
    return true;
}

bool DiskTree::Leave() {
    if (depth_ == 0 || _chdir("..") != 0) {
        lost_ = true;
        return false;
    }
    --depth_;
    return true;
}

// The working directory is the folder: nothing to hold.
Folder DiskTree::Here() const { return nullptr; }

bool DiskTree::CreateIn(const Folder&, PendingFile& file) {
    if (!open_ || lost_) return false;
    for (int attempt = 0; attempt < kTempAttempts; ++attempt) {
        std::string name = NextTempName();
        const int fd = _open(name.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return false;
        }
        file.stream = _fdopen(fd, "wb");
        if (!file.stream) {
            _close(fd);
            _unlink(name.c_str());
            return false;
        }
        file.tempName = std::move(name);
        return true;
    }
    return false;
}

bool DiskTree::Publish(PendingFile& file, const char* name) {
    return open_ && !lost_ && MoveFileExA(file.tempName.c_str(), name, MOVEFILE_REPLACE_EXISTING) != 0;
}

void DiskTree::Discard(PendingFile& file) {
    if (open_ && !lost_) _unlink(file.tempName.c_str());
}

}  // namespace orvobf::engine

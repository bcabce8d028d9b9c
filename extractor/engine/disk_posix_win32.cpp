// The working-directory operations the walk needs, over each system's own
// calls. On POSIX a name that is a symbolic link is never entered or
// written through, so an existing link cannot lead outside the root.
#include <cstdio>

#include "extract_engine.h"

#ifdef _WIN32
#include <direct.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace bfx {

#ifdef _WIN32
bool EnterDirectory(const char* name) { return _chdir(name) == 0; }
bool MakeDirectory(const char* name) {
    if (_mkdir(name) == 0) return true;
    struct _stat st;
    return _stat(name, &st) == 0 && (st.st_mode & _S_IFDIR);
}
bool LeaveDirectory() { return _chdir("..") == 0; }
FILE* OpenOutputFile(const char* name) { return std::fopen(name, "wb"); }
#else
bool EnterDirectory(const char* name) {
    struct stat st;
    if (lstat(name, &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    return chdir(name) == 0;
}
bool MakeDirectory(const char* name) {
    if (mkdir(name, 0777) == 0) return true;
    struct stat st;
    return lstat(name, &st) == 0 && S_ISDIR(st.st_mode);
}
bool LeaveDirectory() { return chdir("..") == 0; }
FILE* OpenOutputFile(const char* name) {
    // Create or truncate, but never through a link.
    const int fd = open(name, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW, 0666);
    if (fd < 0) return nullptr;
    FILE* out = fdopen(fd, "wb");
    if (!out) close(fd);
    return out;
}
#endif

}  // namespace bfx

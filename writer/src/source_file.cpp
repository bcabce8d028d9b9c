#include "source_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include <orvobf/name_rules.h>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace orvobf::writer {
namespace {

constexpr const char* kNotScanned = ", no longer the regular file that was scanned";

bool Fail(std::string* error, const std::filesystem::path& path, const std::string& why) {
    if (error) *error = ShownPath(path) + ": " + why;
    return false;
}

#ifdef _WIN32
// Opens the path: the link or junction itself unless `follow`.
HANDLE OpenPath(const std::filesystem::path& path, DWORD access, bool follow) {
    return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT) | FILE_FLAG_BACKUP_SEMANTICS,
                       nullptr);
}

// Stamps a regular file and returns null; or says what else the handle is.
const char* Describe(HANDLE handle, SourceStamp* stamp) {
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info))
        return "a device";
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return "a link";
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return "a directory";
    stamp->size = (uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    stamp->device = info.dwVolumeSerialNumber;
    stamp->inode = (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    return nullptr;
}
#else
// Stamps a regular file and returns null; or says what else it is.
const char* Describe(const struct stat& st, SourceStamp* stamp) {
    if (S_ISLNK(st.st_mode)) return "a symbolic link";
    if (S_ISDIR(st.st_mode)) return "a directory";
    if (S_ISFIFO(st.st_mode)) return "a FIFO";
    if (S_ISSOCK(st.st_mode)) return "a socket";
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return "a device";
    if (!S_ISREG(st.st_mode)) return "not a regular file";
    stamp->size = static_cast<uint64_t>(st.st_size);
    stamp->device = static_cast<uint64_t>(st.st_dev);
    stamp->inode = static_cast<uint64_t>(st.st_ino);
    return nullptr;
}
#endif

// The opened file against the scan: kind first, then identity, then size.
bool Matches(const std::filesystem::path& path, const char* kind, const SourceStamp& now,
             const SourceStamp& seen, std::string* error) {
    if (kind) return Fail(error, path, std::string("is now ") + kind + kNotScanned);
    if (now.device != seen.device || now.inode != seen.inode)
        return Fail(error, path, "was replaced by another file after it was scanned");
    if (now.size != seen.size) return Fail(error, path, "changed size after it was scanned");
    return true;
}

}  // namespace

std::string ShownPath(const std::filesystem::path& path) {
#ifdef _WIN32
    return path.string();  // no control bytes there, and '\' is the separator
#else
    return orvobf::PrintableName(path.string());
#endif
}

bool StampSource(const std::filesystem::path& path, bool throughLink, SourceStamp* stamp, std::string* error) {
    stamp->throughLink = throughLink;
#ifdef _WIN32
    const HANDLE handle = OpenPath(path, FILE_READ_ATTRIBUTES, throughLink);
    if (handle == INVALID_HANDLE_VALUE) return Fail(error, path, "cannot be opened");
    const char* kind = Describe(handle, stamp);
    CloseHandle(handle);
#else
    // The kind first: opening a device can have effects of its own.
    struct stat st;
    if ((throughLink ? stat(path.c_str(), &st) : lstat(path.c_str(), &st)) != 0)
        return Fail(error, path, std::strerror(errno));
    const char* kind = Describe(st, stamp);
#endif
    if (kind) return Fail(error, path, std::string(kind) + ", not a regular file");
    SourceFile probe;
    return probe.Open(path, *stamp, error);
}

SourceFile::~SourceFile() {
#ifdef _WIN32
    if (fd_ >= 0) _close(fd_);
#else
    if (fd_ >= 0) close(fd_);
#endif
}

bool SourceFile::Open(const std::filesystem::path& path, const SourceStamp& seen, std::string* error) {
    SourceStamp now;
#ifdef _WIN32
    const HANDLE handle = OpenPath(path, GENERIC_READ, seen.throughLink);
    if (handle == INVALID_HANDLE_VALUE) return Fail(error, path, "cannot be opened");
    if (!Matches(path, Describe(handle, &now), now, seen, error)) {
        CloseHandle(handle);
        return false;
    }
    fd_ = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
    if (fd_ < 0) {
        CloseHandle(handle);
        return Fail(error, path, "cannot be opened");
    }
    return true;
#else
    // A FIFO swapped in does not block the open.
    fd_ = open(path.c_str(), O_RDONLY | (seen.throughLink ? 0 : O_NOFOLLOW) | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        if (!seen.throughLink && (errno == ELOOP || errno == EMLINK))
            return Fail(error, path, std::string("is now a symbolic link") + kNotScanned);
        return Fail(error, path, std::strerror(errno));
    }
    struct stat st;
    if (fstat(fd_, &st) != 0) return Fail(error, path, std::strerror(errno));
    return Matches(path, Describe(st, &now), now, seen, error);
#endif
}

size_t SourceFile::Read(void* buffer, size_t capacity) {
    if (capacity > INT_MAX) capacity = INT_MAX;
    for (;;) {
#ifdef _WIN32
        const int n = _read(fd_, buffer, static_cast<unsigned>(capacity));
#else
        const ssize_t n = read(fd_, buffer, capacity);
#endif
        if (n >= 0) return static_cast<size_t>(n);
        if (errno != EINTR) return SIZE_MAX;
    }
}

}  // namespace orvobf::writer

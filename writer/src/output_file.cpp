#include "output_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace orvobf::writer {
namespace {
namespace fs = std::filesystem;

// A destination name near the system's limit leaves room for the suffix.
constexpr size_t kMaxStemBytes = 200;
constexpr int kAttempts = 64;
// The directory and header go out in one piece at the end, most often
// from this buffer when the archive is flushed.
constexpr size_t kStreamBuffer = 1 << 16;

// A spill file is opened for reading back too; where an open file can
// lose its name at once it does, elsewhere it goes when it is closed.
int OpenExclusive(const std::string& path, bool spill) {
#ifdef _WIN32
    const int access = spill ? _O_RDWR | _O_TEMPORARY | _O_SHORT_LIVED : _O_WRONLY;
    return _open(path.c_str(), access | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
#else
    const int fd = open(path.c_str(), (spill ? O_RDWR : O_WRONLY) | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0 && spill && unlink(path.c_str()) != 0) {
        const int saved = errno;
        close(fd);
        errno = saved;
        return -1;
    }
    return fd;
#endif
}

std::FILE* StreamOn(int fd, bool spill) {
#ifdef _WIN32
    return _fdopen(fd, spill ? "w+b" : "wb");
#else
    return fdopen(fd, spill ? "w+b" : "wb");
#endif
}

void CloseDescriptor(int fd) {
#ifdef _WIN32
    _close(fd);
#else
    close(fd);
#endif
}

int Truncate(std::FILE* stream, uint64_t length) {
#ifdef _WIN32
    return _chsize_s(_fileno(stream), static_cast<__int64>(length)) == 0 ? 0 : -1;
#else
    return ftruncate(fileno(stream), static_cast<off_t>(length));
#endif
}

// A new file named after the destination with a random part and
// `suffix`, in the destination's folder; its name goes to *path.
std::FILE* CreateBeside(const std::string& destination, const char* suffix, bool spill, std::string* path,
                        std::string* error) {
    const fs::path dest(destination);
    std::string stem = dest.filename().string();
    if (stem.size() > kMaxStemBytes) stem.resize(kMaxStemBytes);
    const std::string folder = destination.substr(0, destination.size() - dest.filename().string().size());
    std::random_device device;
    std::mt19937_64 rng((uint64_t{device()} << 32) ^ device() ^
                        static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    int lastErrno = 0;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        std::string unique;
        for (int i = 0; i < 8; ++i) unique += kDigits[rng() % 36];
        const std::string candidate = folder + stem + "." + unique + "." + suffix;
        const int fd = OpenExclusive(candidate, spill);
        if (fd < 0) {
            lastErrno = errno;
            if (lastErrno == EEXIST) continue;
            break;
        }
        std::FILE* stream = StreamOn(fd, spill);
        if (!stream) {
            lastErrno = errno;
            CloseDescriptor(fd);
            if (!spill) std::remove(candidate.c_str());
            break;
        }
        *path = candidate;
        return stream;
    }
    if (error)
        *error = "cannot create a temporary file beside " + destination + ": " + std::strerror(lastErrno);
    return nullptr;
}

}  // namespace

std::string WriteFailure(const std::string& path, int savedErrno) {
    return "cannot write " + path + ": " + (savedErrno ? std::strerror(savedErrno) : "write error");
}

OutputFile::~OutputFile() { Discard(); }

bool OutputFile::Create(const std::string& destination, std::string* error) {
    Discard();
    destination_ = destination;
    stream_ = CreateBeside(destination, "partial", false, &temp_, error);
    if (!stream_) return false;
    buffer_.resize(kStreamBuffer);  // a null buffer would keep the system's size
    std::setvbuf(stream_, buffer_.data(), _IOFBF, buffer_.size());
    return true;
}

SpillFile CreateSpillFile(const std::string& destination, std::string* error) {
    std::string unused;
    return SpillFile(CreateBeside(destination, "spill", true, &unused, error));
}

bool OutputFile::Commit(uint64_t length, std::string* error) {
    auto fail = [&](std::string message) {
        if (error) *error = std::move(message);
        Discard();
        return false;
    };
    if (!stream_) return fail("cannot write " + destination_ + ": not open");
    if (std::fflush(stream_) != 0 || std::ferror(stream_)) return fail(WriteFailure(destination_, errno));
    // A stored copy written over a longer packed image leaves its tail.
    if (Truncate(stream_, length) != 0) return fail(WriteFailure(destination_, errno));
    std::FILE* stream = stream_;
    stream_ = nullptr;
    if (std::fclose(stream) != 0) return fail(WriteFailure(destination_, errno));
    std::error_code ec;
    fs::rename(temp_, destination_, ec);  // replaces an existing archive
    if (ec) return fail("cannot rename " + temp_ + " to " + destination_ + ": " + ec.message());
    temp_.clear();
    return true;
}

void OutputFile::Discard() {
    if (stream_) std::fclose(stream_);
    stream_ = nullptr;
    if (!temp_.empty()) std::remove(temp_.c_str());
    temp_.clear();
}

}  // namespace orvobf::writer

// POSIX backend of the platform layer.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <mutex>
#include <new>

#include "ORVOBF.H"
#include "platform.h"

struct BfLock {
    std::recursive_mutex mutex;
};

namespace bfplat {

BfLock* LockCreate() {
    void* memory = Alloc(sizeof(BfLock));
    return memory ? new (memory) BfLock : nullptr;
}

void LockDestroy(BfLock* lock) {
    if (!lock) return;
    lock->~BfLock();
    Free(lock);
}

void LockEnter(BfLock* lock) { lock->mutex.lock(); }
void LockLeave(BfLock* lock) { lock->mutex.unlock(); }

// Without a desktop the box is the caption and the text on standard error;
// it is "dismissed" at once.
int SystemMessageBox(void*, const char* text, const char* caption, unsigned) {
    std::fprintf(stderr, "[%s] %s\n", caption ? caption : "", text ? text : "");
    std::fflush(stderr);
    return 1;  // IDOK
}

uint32_t TimeMs() {
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<uint32_t>(static_cast<uint64_t>(ms));
}

int FormatV(char* buffer, const char* format, va_list args) {
    // wsprintfA writes at most 1024 characters, terminator included.
    const int n = std::vsnprintf(buffer, 1024, format, args);
    if (n < 0) {
        buffer[0] = '\0';
        return 0;
    }
    return n > 1023 ? 1023 : n;
}

int Format(char* buffer, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int n = FormatV(buffer, format, args);
    va_end(args);
    return n;
}

int64_t StreamTell(FILE* stream) { return static_cast<int64_t>(ftello(stream)); }

int StreamSeek(FILE* stream, int64_t offset, int origin) {
    return fseeko(stream, static_cast<off_t>(offset), origin) == 0 ? 0 : -1;
}

int64_t StreamLength(FILE* stream) {
    struct stat st;
    if (fstat(fileno(stream), &st) != 0) return -1;
    return static_cast<int64_t>(st.st_size);
}

// POSIX stdio does not translate; text reads are translated by the file layer.
void StreamSetMode(FILE*, uint32_t) {}

FILE* StreamDuplicate(FILE* stream, bool forWriting) {
    const int fd = dup(fileno(stream));
    if (fd < 0) return nullptr;
    // "r+b" reads and writes at the current position; unlike "a+b" on POSIX
    // it does not force every write to the end of the file.
    FILE* copy = fdopen(fd, forWriting ? "r+b" : "rb");
    if (!copy) close(fd);
    return copy;
}

}  // namespace bfplat

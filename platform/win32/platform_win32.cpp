// Win32 backend of the platform layer: the real system calls.
#include <atomic>
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <mmsystem.h>

#include <cstdio>

#include <orvobf/platform.h>
#include <orvobf/platform_test_hooks.h>

struct BfLock {
    CRITICAL_SECTION section;
};

namespace orvobf::platform {

BfLock* LockCreate() {
    auto* lock = static_cast<BfLock*>(Alloc(sizeof(BfLock)));
    if (lock) InitializeCriticalSection(&lock->section);
    return lock;
}

void LockDestroy(BfLock* lock) {
    if (!lock) return;
    DeleteCriticalSection(&lock->section);
    Free(lock);
}

void LockEnter(BfLock* lock) { EnterCriticalSection(&lock->section); }
void LockLeave(BfLock* lock) { LeaveCriticalSection(&lock->section); }

// SRWLOCK is one pointer, all zero when unlocked (SRWLOCK_INIT).
static_assert(sizeof(SlimLock) == sizeof(SRWLOCK), "a slim lock is an SRWLOCK");
void SlimLockEnter(SlimLock* lock) { AcquireSRWLockExclusive(reinterpret_cast<PSRWLOCK>(lock)); }
void SlimLockLeave(SlimLock* lock) { ReleaseSRWLockExclusive(reinterpret_cast<PSRWLOCK>(lock)); }

int SystemMessageBox(void* owner, const char* text, const char* caption, unsigned style) {
    return MessageBoxA(static_cast<HWND>(owner), text, caption, style);
}

uint32_t TimeMs() { return static_cast<uint32_t>(timeGetTime()); }

int FormatV(char* buffer, const char* format, va_list args) {
    return wvsprintfA(buffer, format, args);
}

int Format(char* buffer, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int n = FormatV(buffer, format, args);
    va_end(args);
    return n;
}

int64_t StreamTell(FILE* stream) { return _ftelli64(stream); }

namespace {
std::atomic<uint64_t> g_seeks{0};
}

uint64_t StreamSeekCount() { return g_seeks.load(std::memory_order_relaxed); }

int StreamSeek(FILE* stream, int64_t offset, int origin) {
    g_seeks.fetch_add(1, std::memory_order_relaxed);
    return _fseeki64(stream, offset, origin) == 0 ? 0 : -1;
}

// The CRT's no-lock variants are not in every runtime MinGW links
// against; the per-call lock stays.
size_t StreamRead(FILE* stream, void* buffer, size_t count, bool* failed) {
    const size_t got = std::fread(buffer, 1, count, stream);
    *failed = std::ferror(stream) != 0;
    return got;
}

// A positioned ReadFile on the descriptor's handle; on a handle opened for
// synchronous access the end of the file comes back as ERROR_HANDLE_EOF.
size_t StreamReadAt(FILE* stream, void* buffer, size_t count, int64_t offset, bool* failed) {
    *failed = false;
    const HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    if (file == INVALID_HANDLE_VALUE || offset < 0) {
        *failed = true;
        return 0;
    }
    auto* out = static_cast<unsigned char*>(buffer);
    size_t done = 0;
    while (done < count) {
        const DWORD piece = static_cast<DWORD>(count - done < (size_t{1} << 30) ? count - done : size_t{1} << 30);
        const uint64_t where = static_cast<uint64_t>(offset) + done;
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(where);
        at.OffsetHigh = static_cast<DWORD>(where >> 32);
        DWORD got = 0;
        if (!ReadFile(file, out + done, piece, &got, &at)) {
            if (GetLastError() != ERROR_HANDLE_EOF) *failed = true;
            break;
        }
        if (got == 0) break;
        done += got;
    }
    return done;
}

int64_t StreamLength(FILE* stream) { return _filelengthi64(_fileno(stream)); }

int StreamDescriptor(FILE* stream) { return _fileno(stream); }

void StreamSetMode(FILE* stream, uint32_t mode) {
    _setmode(_fileno(stream), mode == kStreamBinary ? _O_BINARY : _O_TEXT);
}

FILE* StreamDuplicate(FILE* stream, bool forWriting) {
    const int fd = _dup(_fileno(stream));
    if (fd < 0) return nullptr;
    // On a duplicated descriptor the Windows runtime's "a+b" reads and
    // writes at the current position without forcing appends.
    FILE* copy = _fdopen(fd, forWriting ? "a+b" : "rb");
    if (!copy) _close(fd);
    return copy;
}

}  // namespace orvobf::platform

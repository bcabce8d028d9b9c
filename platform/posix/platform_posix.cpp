// POSIX backend of the platform layer.
#include <atomic>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <new>

#include <orvobf/platform.h>
#include <orvobf/platform_test_hooks.h>

// Re-entrant lock: one compare-exchange to take it and one exchange to
// give it back when nobody waits (a small read takes it once), sleeping in
// atomic wait when it is contended. state: 0 free, 1 held, 2 held with
// waiters. owner and depth are only written by the thread holding it.
struct BfLock {
    std::atomic<int> state{0};
    std::atomic<const void*> owner{nullptr};
    unsigned depth = 0;
};

namespace {
const void* ThisThread() {
    static thread_local char token;
    return &token;
}
}  // namespace

namespace orvobf::platform {

BfLock* LockCreate() {
    void* memory = Alloc(sizeof(BfLock));
    return memory ? new (memory) BfLock : nullptr;
}

void LockDestroy(BfLock* lock) {
    if (!lock) return;
    lock->~BfLock();
    Free(lock);
}

void LockEnter(BfLock* lock) {
    const void* self = ThisThread();
    if (lock->owner.load(std::memory_order_relaxed) == self) {
        ++lock->depth;
        return;
    }
    int expected = 0;
    if (!lock->state.compare_exchange_strong(expected, 1, std::memory_order_acquire)) {
        while (lock->state.exchange(2, std::memory_order_acquire) != 0) lock->state.wait(2);
    }
    lock->owner.store(self, std::memory_order_relaxed);
    lock->depth = 1;
}

void LockLeave(BfLock* lock) {
    if (--lock->depth != 0) return;
    lock->owner.store(nullptr, std::memory_order_relaxed);
    if (lock->state.exchange(0, std::memory_order_release) == 2) lock->state.notify_one();
}

void SlimLockEnter(SlimLock* lock) {
    std::atomic_ref<uint32_t> state(lock->state);
    uint32_t expected = 0;
    if (state.compare_exchange_strong(expected, 1, std::memory_order_acquire)) return;
    while (state.exchange(2, std::memory_order_acquire) != 0) state.wait(2);
}

void SlimLockLeave(SlimLock* lock) {
    std::atomic_ref<uint32_t> state(lock->state);
    if (state.exchange(0, std::memory_order_release) == 2) state.notify_one();
}

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

namespace {
std::atomic<uint64_t> g_seeks{0};
}

uint64_t StreamSeekCount() { return g_seeks.load(std::memory_order_relaxed); }

int StreamSeek(FILE* stream, int64_t offset, int origin) {
    g_seeks.fetch_add(1, std::memory_order_relaxed);
    return fseeko(stream, static_cast<off_t>(offset), origin) == 0 ? 0 : -1;
}

size_t StreamRead(FILE* stream, void* buffer, size_t count, bool* failed) {
    size_t got;
    if (count == 1) {
        // One byte is the common small read; getc skips fread's set-up.
        const int c = getc_unlocked(stream);
        got = c == EOF ? 0 : 1;
        if (got) *static_cast<unsigned char*>(buffer) = static_cast<unsigned char>(c);
    } else {
        got = fread_unlocked(buffer, 1, count, stream);
    }
    *failed = ferror_unlocked(stream) != 0;
    return got;
}

size_t StreamReadAt(FILE* stream, void* buffer, size_t count, int64_t offset, bool* failed) {
    *failed = false;
    if (offset < 0) {
        *failed = true;
        return 0;
    }
    const int fd = fileno(stream);
    auto* out = static_cast<unsigned char*>(buffer);
    size_t done = 0;
    while (done < count) {
        // pread takes at most SSIZE_MAX; one gibibyte a call is plenty.
        const size_t piece = count - done < (size_t{1} << 30) ? count - done : size_t{1} << 30;
        const ssize_t got = pread(fd, out + done, piece, static_cast<off_t>(offset + static_cast<int64_t>(done)));
        if (got < 0) {
            if (errno == EINTR) continue;
            *failed = true;
            break;
        }
        if (got == 0) break;
        done += static_cast<size_t>(got);
    }
    return done;
}

int64_t StreamLength(FILE* stream) {
    struct stat st;
    if (fstat(fileno(stream), &st) != 0) return -1;
    return static_cast<int64_t>(st.st_size);
}

int StreamDescriptor(FILE* stream) { return fileno(stream); }

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

}  // namespace orvobf::platform

// The debug log: time-stamped lines in a file chosen by SetLogFile.
#include <atomic>
#include <cstdarg>
#include <cstdio>

#include <orvobf/ORVOBF.H>
#include "bigfile_internal.h"
#include <orvobf/platform.h>

// The stream changes only under the lock; Log looks at it without the lock
// first, so that handle operations pay nothing while no log is open.
int BigFile::SetLogFile(const char* logPath) {
    orvobf::core::LockGuard guard(lock);
    std::atomic_ref<FILE*> stream(logStream);
    if (FILE* old = stream.load(std::memory_order_relaxed)) {
        stream.store(nullptr, std::memory_order_relaxed);
        std::fclose(old);
    }
    if (!logPath) return 1;
    stream.store(std::fopen(logPath, "wb"), std::memory_order_release);
    return stream.load(std::memory_order_relaxed) ? 1 : 0;
}

// One line per call, written whole under the lock whatever other threads log.
void BigFile::Log(const char* format, ...) {
    if (!std::atomic_ref<FILE*>(logStream).load(std::memory_order_acquire)) return;
    char message[4096];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    orvobf::core::LockGuard guard(lock);
    FILE* stream = std::atomic_ref<FILE*>(logStream).load(std::memory_order_relaxed);
    if (!stream) return;
    // Unsigned difference: right across a wrap of the millisecond clock.
    const uint32_t elapsed = orvobf::platform::TimeMs() - startTime;
    std::fprintf(stream, "%8d : %s\n", static_cast<int32_t>(elapsed), message);
}

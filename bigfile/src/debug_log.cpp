// The debug log: time-stamped lines in a file chosen by SetLogFile.
#include <cstdarg>
#include <cstdio>

#include "ORVOBF.H"
#include "platform.h"

int BigFile::SetLogFile(const char* logPath) {
    if (logStream) {
        std::fclose(logStream);
        logStream = nullptr;
    }
    if (!logPath) return 1;
    logStream = std::fopen(logPath, "wb");
    return logStream ? 1 : 0;
}

void BigFile::Log(const char* format, ...) {
    if (!logStream) return;
    char message[4096];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    // Unsigned difference: right across a wrap of the millisecond clock.
    const uint32_t elapsed = bfplat::TimeMs() - startTime;
    std::fprintf(logStream, "%8d : %s\n", static_cast<int32_t>(elapsed), message);
}

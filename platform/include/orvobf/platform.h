// The few services the library and the tools take from the operating
// system, behind one small interface. Two backends implement it:
// win32/ (the real Win32 calls) and posix/ (our own equivalents). This is
// the bottom layer: it includes nothing of the project's above it.
#ifndef ORVOBF_PLATFORM_H
#define ORVOBF_PLATFORM_H

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>

struct BfLock;

namespace orvobf::platform {

// --- Lock: re-entrant; the owning thread may enter it again. -----------
// Null when it cannot be created.
BfLock* LockCreate();
void LockDestroy(BfLock* lock);
void LockEnter(BfLock* lock);
void LockLeave(BfLock* lock);

// --- Slim lock: a plain lock (not re-entrant) that lives inside its
// owner's memory. All-zero bytes are an unlocked lock, so zeroed or
// value-initialised memory needs no set-up, creating one cannot fail and
// nothing is torn down.
#ifdef _WIN32
struct SlimLock {
    void* word;  // an SRWLOCK
};
#else
struct SlimLock {
    uint32_t state;  // 0 free, 1 held, 2 held with waiters
};
#endif
void SlimLockEnter(SlimLock* lock);
void SlimLockLeave(SlimLock* lock);

// --- Message box: an OK button, no icon; returns when dismissed. --------
// Every box shown goes through the installed hook when there is one, so
// tests can capture boxes and a program can show its own.
using MessageBoxHook = int (*)(void* owner, const char* text, const char* caption,
                               unsigned style, void* user);
void SetMessageBoxHook(MessageBoxHook hook, void* user);
int ShowMessageBox(void* owner, const char* text, const char* caption, unsigned style);

// --- Clock: milliseconds, unsigned 32-bit, wrapping. -------------------
uint32_t TimeMs();

// --- Formatter with the output of wsprintfA for the conversions the
// library uses ("%s", "%x", "%d" with widths). At most 1024 characters
// are written, NUL included, like wsprintfA.
int Format(char* buffer, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;
int FormatV(char* buffer, const char* format, va_list args);

// --- Strings: ASCII case-insensitive compare (_stricmp, _strnicmp). ----
int StrICmp(const char* a, const char* b);
int StrNICmp(const char* a, const char* b, size_t n);

// --- Streams: 64-bit positions and descriptor helpers. -----------------
int64_t StreamTell(FILE* stream);                          // -1 on failure
int StreamSeek(FILE* stream, int64_t offset, int origin);  // 0 on success
int64_t StreamLength(FILE* stream);                        // -1 on failure
int StreamDescriptor(FILE* stream);                        // fileno / _fileno
// fread without the stream's own lock, for streams the caller already
// serialises; *failed tells whether the stream's error indicator is set.
size_t StreamRead(FILE* stream, void* buffer, size_t count, bool* failed);
// Reads up to `count` bytes at the absolute `offset` of the file behind
// `stream` with positioned system reads (pread, a positioned ReadFile),
// past stdio's buffer and position: several threads may read one stream
// this way at once. Short only at the end of the file or on a failure,
// which *failed tells. On Windows each read also moves the descriptor's
// file pointer, so a stream read this way is not read through stdio while
// such reads may run.
size_t StreamReadAt(FILE* stream, void* buffer, size_t count, int64_t offset, bool* failed);
// The translation modes of a stream's descriptor; the values are the
// archive library's open modes, so its modes pass through unchanged.
inline constexpr uint32_t kStreamBinary = 32768;
inline constexpr uint32_t kStreamText = 16384;
// Switches a stream's descriptor between binary and text translation
// (kStreamBinary / kStreamText); a no-op where stdio does not translate.
void StreamSetMode(FILE* stream, uint32_t mode);
// A second stdio stream on a duplicate of the stream's descriptor.
// forWriting: update mode that neither truncates nor forces appends.
FILE* StreamDuplicate(FILE* stream, bool forWriting);

// --- Heap: every allocation of the library goes through here (so the
// test hooks can count them and make the Nth one fail).
void* Alloc(size_t size);
void* AllocZero(size_t size);
void* Realloc(void* block, size_t size);
void Free(void* block);

}  // namespace orvobf::platform

#endif

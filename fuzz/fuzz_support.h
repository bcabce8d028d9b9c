// What the fuzzers share: a failed check ends the run (libFuzzer keeps the
// input), the library's message boxes answered at once, scratch files per
// process, a cursor over the input, and reading an entry whole.
#ifndef ORVOBF_FUZZ_SUPPORT_H
#define ORVOBF_FUZZ_SUPPORT_H

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <orvobf/ORVOBF.H>
#include <orvobf/platform.h>

// Ends the run, saying which check failed, when `ok` is false.
inline void Require(bool ok, const char* what = "a check") {
    if (ok) return;
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}
// A fault text of the shared checks ("" is none).
inline void Require(const std::string& fault) { Require(fault.empty(), fault.c_str()); }

// The library shows boxes on damage; the fuzzers answer them unseen.
inline void AnswerBoxes() {
    orvobf::platform::SetMessageBoxHook([](void*, const char*, const char*, unsigned, void*) { return 1; }, nullptr);
}

// /tmp/orvobf-TAG-PID followed by `suffix`: one per fuzzing process.
inline std::string ScratchPath(const char* tag, const char* suffix = "") {
    return "/tmp/orvobf-" + std::string(tag) + "-" + std::to_string(getpid()) + suffix;
}

inline void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
    FILE* out = std::fopen(path.c_str(), "wb");
    Require(out && (size == 0 || std::fwrite(data, 1, size, out) == size) && std::fclose(out) == 0, "scratch file");
}

// Initialises `bf` and opens `size` bytes as an archive from a scratch file
// named by `tag`: Open's result.
inline int OpenBytes(BigFile& bf, const char* tag, const uint8_t* data, size_t size) {
    AnswerBoxes();
    const std::string path = ScratchPath(tag, ".bf");
    WriteFile(path, data, size);
    bf.Init(BIGFILE_HEADER_VERSION);
    return bf.Open(path.c_str(), 0);
}

// The input's bytes in turn, zeros once it runs out.
struct InputBytes {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    bool More() const { return at < size; }
    uint8_t Byte() { return at < size ? data[at++] : 0; }
    uint16_t U16() { return static_cast<uint16_t>(Byte() | Byte() << 8); }
    std::string Take(size_t n) {
        n = std::min(n, size - at);
        at += n;
        return std::string(reinterpret_cast<const char*>(data) + at - n, n);
    }
};

// An entry of the current directory read through a handle from its start
// to its end: false when it does not open, or a read fails or stalls.
inline bool ReadWhole(BigFile& bf, const char* name, std::string& bytes) {
    FileHandle handle = 0;
    if (!bf.FileOpen(name, &handle, BF_MODE_BINARY)) return false;
    char buffer[65536];
    bool ok = true;
    while (ok && !bf.FileEof(handle)) {
        uint32_t count = 0;
        ok = bf.FileRead(handle, buffer, sizeof buffer, &count) != 0 && (count > 0 || bf.FileEof(handle));
        bytes.append(buffer, count);
    }
    bf.FileClose(handle);
    return ok;
}

#endif

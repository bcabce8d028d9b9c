// A packed image read or written at an open stdio stream's position,
// through a second stream on a duplicate of its descriptor; or read from
// a given offset of a file with positioned reads of its own, which leave
// the stream's position alone, so several adaptors may read one file from
// several threads at once.
#ifndef ORVOBF_PACKED_FILE_H
#define ORVOBF_PACKED_FILE_H

#include <cstdint>
#include <cstdio>

#include <orvobf/packed_stream.h>

constexpr int32_t PACKED_FILE_BUFFER_SIZE = 16384;
// The reading duplicate's own stdio buffer, and the most a positioned
// reader holds: one system call per eight exchanges instead of one per
// exchange.
constexpr size_t PACKED_FILE_READ_AHEAD = 131072;

class PackedFile {
public:
    PackedFile() = default;
    // Releases what an adaptor still holds (without moving the base
    // stream); Close is the orderly end.
    ~PackedFile();
    PackedFile(const PackedFile&) = delete;
    PackedFile& operator=(const PackedFile&) = delete;

    // 1 or 0. Reading needs a readable base stream, writing one open for
    // reading and writing ("r+b", "w+b"). A failed open keeps nothing.
    int32_t OpenRead(FILE* baseStream);
    int32_t OpenWrite(FILE* baseStream);
    // Reads the image at `start` of the file behind `file` with positioned
    // reads (orvobf::platform::StreamReadAt): no duplicate, no stream position taken
    // or set, and Close moves nothing. `file` must stay open until Close.
    int32_t OpenReadAt(FILE* file, int64_t start);
    int32_t Read(unsigned char* destination, int32_t count);
    int32_t Write(const unsigned char* source, int32_t count);
    int32_t Seek(int32_t offset, int32_t origin);
    int32_t Tell() const;
    FILE* GetStream() const { return duplicate; }
    int32_t GetMode() const { return mode; }
    // The stream's End result; leaves the base stream at the saved position.
    int32_t Close();
    // The stream's result behind the last Read, Write, Seek or open that
    // returned 0 (PSE_DAMAGED for an image the medium cut short).
    int32_t GetLastResult() const { return lastResult; }

    static unsigned char* ProvideBuffer(int32_t size, void* user);
    static unsigned char* RewindTo(int32_t offset, void* user);

private:
    int32_t Open(FILE* baseStream, int32_t openMode);
    int32_t BeginStream(int32_t openMode);
    unsigned char* FetchAt(int32_t size);
    void Discard();

    PackedStream* stream = nullptr;
    unsigned char* buffer = nullptr;
    int64_t startPos = 0;  // 64-bit: images may lie past 2 GiB
    int64_t savedPos = 0;
    FILE* duplicate = nullptr;
    unsigned char* readAhead = nullptr;  // the duplicate's stdio buffer, freed after it is closed;
                                         // a positioned reader's bytes of the file
    FILE* base = nullptr;
    // Positioned reading: the file, where the next fetch starts, and the
    // bytes of the file held in readAhead (from aheadPos, aheadLength of
    // them, in aheadCapacity bytes, grown as the image goes on).
    FILE* sourceFile = nullptr;
    int64_t readPos = 0;
    int64_t aheadPos = 0;
    size_t aheadLength = 0;
    size_t aheadCapacity = 0;
    int32_t mode = 0;
    int32_t lastResult = 0;
};

#endif

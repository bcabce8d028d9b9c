// The packed file adaptor: a PackedStream whose medium is a duplicate of
// an open stdio stream.
#include <orvobf/packed_file.h>

#include <cstring>
#include <new>

#include <orvobf/platform.h>

PackedFile::~PackedFile() { Discard(); }

void PackedFile::Discard() {
    if (stream) {
        stream->~PackedStream();  // releases window and node table
        orvobf::platform::Free(stream);
        stream = nullptr;
    }
    orvobf::platform::Free(buffer);
    buffer = nullptr;
    if (duplicate) std::fclose(duplicate);
    duplicate = nullptr;
    orvobf::platform::Free(readAhead);
    readAhead = nullptr;
    sourceFile = nullptr;
    aheadLength = 0;
    aheadCapacity = 0;
}

int32_t PackedFile::Open(FILE* baseStream, int32_t openMode) {
    if (!baseStream || stream || duplicate) return 0;
    lastResult = 0;
    startPos = orvobf::platform::StreamTell(baseStream);
    if (startPos < 0) return 0;
    savedPos = 0;
    mode = openMode;
    duplicate = orvobf::platform::StreamDuplicate(baseStream, openMode == PS_MODE_WRITE);
    if (duplicate && openMode == PS_MODE_READ) {
        // Without it every 16384-byte exchange is a system call of its own.
        // A seek within the buffer keeps it and still puts the shared
        // descriptor offset back, so other handles moving it do no harm.
        readAhead = static_cast<unsigned char*>(orvobf::platform::Alloc(PACKED_FILE_READ_AHEAD));
        if (!readAhead ||
            std::setvbuf(duplicate, reinterpret_cast<char*>(readAhead), _IOFBF, PACKED_FILE_READ_AHEAD) != 0) {
            Discard();
            return 0;
        }
    }
    // The base stream may have read ahead of its position; the duplicate
    // starts exactly at it.
    if (!duplicate || orvobf::platform::StreamSeek(duplicate, startPos, SEEK_SET) != 0) {
        Discard();
        return 0;
    }
    if (!BeginStream(openMode)) return 0;
    base = baseStream;
    return 1;
}

// The stream object with its callbacks, begun; on failure nothing is kept.
int32_t PackedFile::BeginStream(int32_t openMode) {
    void* memory = orvobf::platform::Alloc(sizeof(PackedStream));
    if (!memory) {
        Discard();
        return 0;
    }
    stream = new (memory) PackedStream();
    // A positioned reader hands out its read-ahead bytes instead.
    if (!sourceFile) buffer = static_cast<unsigned char*>(orvobf::platform::Alloc(PACKED_FILE_BUFFER_SIZE));
    int32_t rc = buffer || sourceFile ? stream->Init(PACKED_STREAM_VERSION) : PSE_NO_MEMORY;
    if (rc == 0) rc = stream->SetCallbacks(ProvideBuffer, RewindTo, PACKED_FILE_BUFFER_SIZE, this);
    // RewindTo goes to any offset, so seeks may use the checkpoint index.
    if (rc == 0) stream->SetRandomAccess(true);
    if (rc == 0) rc = stream->Begin(openMode);
    if (rc < 0) {
        lastResult = rc;
        Discard();
        return 0;
    }
    return 1;
}

int32_t PackedFile::OpenRead(FILE* baseStream) { return Open(baseStream, PS_MODE_READ); }

int32_t PackedFile::OpenReadAt(FILE* file, int64_t start) {
    if (!file || start < 0 || stream || duplicate) return 0;
    lastResult = 0;
    startPos = start;
    savedPos = 0;
    mode = PS_MODE_READ;
    sourceFile = file;
    readPos = start;
    aheadPos = start;
    aheadLength = 0;
    return BeginStream(PS_MODE_READ);
}

// The next `size` bytes of the file for a positioned reader, as a pointer
// into the read-ahead bytes. Bytes already held are kept (moved to the
// front), and the rest of the room is filled with one positioned read; the
// room doubles up to PACKED_FILE_READ_AHEAD while the image goes on, so a
// small image costs a small read.
unsigned char* PackedFile::FetchAt(int32_t size) {
    const size_t wanted = static_cast<size_t>(size);
    const int64_t heldEnd = aheadPos + static_cast<int64_t>(aheadLength);
    if (readPos >= aheadPos && readPos + size <= heldEnd) {
        unsigned char* bytes = readAhead + (readPos - aheadPos);
        readPos += size;
        return bytes;
    }
    if (aheadCapacity < wanted || aheadCapacity < PACKED_FILE_READ_AHEAD) {
        size_t grown = aheadCapacity ? 2 * aheadCapacity : static_cast<size_t>(PACKED_FILE_BUFFER_SIZE);
        if (grown > PACKED_FILE_READ_AHEAD) grown = PACKED_FILE_READ_AHEAD;
        if (grown < wanted) grown = wanted;
        void* more = orvobf::platform::Realloc(readAhead, grown);
        if (!more) return nullptr;
        readAhead = static_cast<unsigned char*>(more);
        aheadCapacity = grown;
    }
    size_t kept = 0;
    if (readPos >= aheadPos && readPos < heldEnd) {
        kept = static_cast<size_t>(heldEnd - readPos);
        std::memmove(readAhead, readAhead + (readPos - aheadPos), kept);
    }
    bool failed = false;
    const size_t got = orvobf::platform::StreamReadAt(sourceFile, readAhead + kept, aheadCapacity - kept,
                                            readPos + static_cast<int64_t>(kept), &failed);
    aheadPos = readPos;
    aheadLength = kept + got;
    // What the file did not have (its end, or a failed read) is never data.
    const size_t delivered = aheadLength < wanted ? aheadLength : wanted;
    if (delivered < wanted) stream->SetDelivered(static_cast<int32_t>(delivered));
    readPos += static_cast<int64_t>(delivered);
    return readAhead;
}
int32_t PackedFile::OpenWrite(FILE* baseStream) { return Open(baseStream, PS_MODE_WRITE); }

unsigned char* PackedFile::ProvideBuffer(int32_t size, void* user) {
    auto* self = static_cast<PackedFile*>(user);
    if (self->sourceFile) return size > 0 ? self->FetchAt(size) : self->readAhead;
    if (size <= 0) return self->buffer;
    const size_t n = static_cast<size_t>(size);
    if (self->mode == PS_MODE_WRITE) {
        // A medium that refuses the bytes fails the write, not later reads.
        return std::fwrite(self->buffer, n, 1, self->duplicate) == 1 ? self->buffer : nullptr;
    }
    // Reads may run past the image into whatever follows, or into the end
    // of the file; the stream is told what really arrived, so stale buffer
    // bytes never become data.
    const size_t got = std::fread(self->buffer, 1, n, self->duplicate);
    if (got < n) self->stream->SetDelivered(static_cast<int32_t>(got));
    return self->buffer;
}

unsigned char* PackedFile::RewindTo(int32_t offset, void* user) {
    auto* self = static_cast<PackedFile*>(user);
    if (self->sourceFile) {
        self->savedPos = self->readPos;
        self->readPos = self->startPos + offset;
        return self->readAhead;
    }
    self->savedPos = orvobf::platform::StreamTell(self->duplicate);
    orvobf::platform::StreamSeek(self->duplicate, self->startPos + offset, SEEK_SET);
    return self->buffer;
}

int32_t PackedFile::Read(unsigned char* destination, int32_t count) {
    if (!stream) return 0;
    const int32_t rc = stream->Read(destination, count);
    if (rc < 0) lastResult = rc;
    return rc >= 0 ? 1 : 0;
}

int32_t PackedFile::Write(const unsigned char* source, int32_t count) {
    if (!stream) return 0;
    const int32_t rc = stream->Write(source, count);
    if (rc < 0) lastResult = rc;
    return rc >= 0 ? 1 : 0;
}

int32_t PackedFile::Seek(int32_t offset, int32_t origin) {
    if (!stream) return 0;
    const int32_t rc = stream->Seek(offset, origin);
    if (rc < 0) lastResult = rc;
    return rc >= 0 ? 1 : 0;
}

int32_t PackedFile::Tell() const { return stream ? stream->Tell() : PSE_BAD_STATE; }

int32_t PackedFile::Close() {
    if (!stream) return PSE_BAD_STATE;
    const int32_t rc = stream->End();
    Discard();
    if (base) orvobf::platform::StreamSeek(base, savedPos, SEEK_SET);
    base = nullptr;
    return rc;
}

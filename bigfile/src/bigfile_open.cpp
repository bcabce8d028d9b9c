// BigFile: construction, Open/Close, the archive stream and the settings.
#include <atomic>
#include <cstdio>

#include <orvobf/ORVOBF.H>
#include "bigfile_internal.h"
#include <orvobf/platform.h>

BigFile::BigFile(uint32_t count)
    : archiveStream(nullptr),
      handles(nullptr),
      handleKinds(nullptr),
      handleCount(count),
      archiveMode(BF_MODE_BINARY),
      searchArchive(1),
      diskFirst(0),
      progressCount(0),
      progressInterval(0),
      progressCallback(nullptr),
      logStream(nullptr),
      startTime(orvobf::platform::TimeMs()),
      archiveLength(0),
      archiveFailed(0) {}

// Also closes the log: nothing else would release it once the object is gone.
BigFile::~BigFile() {
    if (isOpen) BigFile::Close();
    BigFile::Deinit();
    if (logStream) {
        std::fclose(logStream);
        logStream = nullptr;
    }
}

int BigFile::Deinit() {
    orvobf::platform::Free(handleKinds);
    handleKinds = nullptr;
    orvobf::platform::Free(handles);
    handles = nullptr;
    return 1;
}

int BigFile::Init(int32_t version) {
    if (!BigFileCore::Init(version)) return 0;
    // A second Init keeps the tables: their slots may hold open handles.
    if (handles && handleKinds) return 1;
    if (!handles) {
        handles = static_cast<void**>(orvobf::platform::Alloc(sizeof(void*) * static_cast<size_t>(handleCount)));
        if (!handles) {
            SetError(BFE_MEMORY, 0);
            return 0;
        }
    }
    handleKinds = static_cast<uint32_t*>(orvobf::platform::Alloc(sizeof(uint32_t) * static_cast<size_t>(handleCount)));
    if (!handleKinds) {
        SetError(BFE_MEMORY, 1);
        return 0;
    }
    for (uint32_t i = 0; i < handleCount; ++i) {
        handles[i] = nullptr;
        handleKinds[i] = 1;
    }
    return 1;
}

int BigFile::Open(const char* newPath, uint32_t flags) {
    if (!newPath) {
        SetError(BFE_BAD_PARAMETER, 1);
        return 0;
    }
    if (isOpen) {
        if (path && orvobf::platform::StrICmp(newPath, path) == 0) return 1;
        Close();
    }
    if (!SetName(newPath)) return 0;
    searchArchive = 1;
    diskFirst = 0;
    archiveMode = BF_MODE_BINARY;
    archiveLength = 0;
    archiveFailed = 0;

    archiveStream = std::fopen(newPath, "rb");
    if (!archiveStream) {
        isOpen = 0;
        orvobf::platform::Free(path);
        path = nullptr;
        SetError(BFE_CANNOT_OPEN, 0);
        return 0;
    }
    if (flags & BF_OPEN_UNBUFFERED) std::setvbuf(archiveStream, nullptr, _IONBF, 0);
    const orvobf::core::QuietSignatureCheck quiet((flags & BF_OPEN_QUIET) != 0);

    const int64_t length = orvobf::platform::StreamLength(archiveStream);
    if (length < 0) {
        SetError(BFE_FILE_IO, 1);
    } else {
        archiveLength = static_cast<uint64_t>(length);
        if (ReadHeader(archiveStream)) {
            if (orvobf::platform::StreamSeek(archiveStream, dirOffset, SEEK_SET) != 0) {
                SetError(BFE_FILE_IO, 1);
            } else {
                progressCount = 0;
                if (progressCallback) progressCallback(-1);
                if (LoadDirectory(archiveStream, &root)) {
                    if (progressCallback) progressCallback(-2);
                    return 1;
                }
            }
        }
    }
    std::fclose(archiveStream);
    archiveStream = nullptr;
    BigFileCore::Close();
    return 0;
}

int BigFile::Close() {
    if (!isOpen) return 1;
    if (handles) {
        for (uint32_t slot = 1; slot < handleCount; ++slot) {
            if (handles[slot]) FileClose(static_cast<FileHandle>(slot));
        }
    }
    if (archiveStream) {
        std::fclose(archiveStream);
        archiveStream = nullptr;
    }
    archiveLength = 0;
    return BigFileCore::Close();
}

// archiveMode changes only here, under the lock; a stored read looks at it
// without the lock and calls here only when it must change.
void BigFile::SetArchiveMode(FILE* stream, uint32_t mode) {
    orvobf::core::LockGuard guard(lock);
    std::atomic_ref<uint32_t> stored(archiveMode);
    if (mode != stored.load(std::memory_order_relaxed)) {
        if (archiveStream) std::fflush(archiveStream);
        if (stream) orvobf::platform::StreamSetMode(stream, mode == BF_MODE_BINARY ? orvobf::platform::kStreamBinary : orvobf::platform::kStreamText);
        stored.store(mode, std::memory_order_relaxed);
    }
}

void BigFile::SetProgressCallback(ProgressCallback callback, uint32_t interval) {
    progressCallback = callback;
    progressInterval = interval;
}

void BigFile::SetSearchArchive(uint32_t flag) { searchArchive = flag; }
void BigFile::SetDiskFirst(uint32_t flag) { diskFirst = flag; }

int BigFileCore::ProbeFile(const char* probePath) {
    if (!probePath) {
        SetError(BFE_BAD_PARAMETER, 1);
        return 0;
    }
    FILE* stream = std::fopen(probePath, "rb");
    if (!stream) {
        SetError(BFE_CANNOT_OPEN, 0);
        return 0;
    }
    uint8_t header[orvobf::format::kHeaderSize];
    const size_t got = std::fread(header, 1, sizeof header, stream);
    std::fclose(stream);
    if (got != sizeof header) {
        SetError(BFE_FILE_IO, 0);
        return 0;
    }
    return CheckSignature(header);
}

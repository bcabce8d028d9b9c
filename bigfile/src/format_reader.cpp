// Reading an archive: signature, header and the directory blocks.
#include <cstring>

#include <orvobf/ORVOBF.H>
#include "bigfile_internal.h"
#include <orvobf/archive_format.h>
#include <orvobf/platform.h>

namespace fmt = orvobf::format;

namespace {

// Reads exactly `size` bytes and advances the tracked position; the
// position is kept here because asking the stream costs a system call.
bool ReadExact(FILE* stream, void* buffer, size_t size, uint64_t& position) {
    if (size == 0 || std::fread(buffer, 1, size, stream) != size) return false;
    position += size;
    return true;
}

bool ReadU32(FILE* stream, uint32_t& value, uint64_t& position) {
    unsigned char bytes[4];
    if (!ReadExact(stream, bytes, sizeof bytes, position)) return false;
    value = fmt::LoadU32(bytes);
    return true;
}

struct Level {
    DirNode* node;
    uint32_t remaining;  // entries of this block still to read
};

// Per thread: an Open that asked for quiet must not silence another
// thread's Open.
thread_local bool t_quietSignature = false;
}  // namespace

orvobf::core::QuietSignatureCheck::QuietSignatureCheck(bool quiet) : saved_(t_quietSignature) {
    t_quietSignature = quiet;
}
orvobf::core::QuietSignatureCheck::~QuietSignatureCheck() { t_quietSignature = saved_; }

int BigFileCore::CheckSignature(const uint8_t* buffer) {
    if (!buffer) {
        SetError(BFE_BAD_PARAMETER, 1);
        return 0;
    }
    const char* text = reinterpret_cast<const char*>(buffer);
    if (orvobf::platform::StrNICmp(text, fmt::kFormatName.data(), fmt::kFormatName.size()) != 0 ||
        buffer[fmt::kSignatureSize - 1] != fmt::kSignatureEnd) {
        SetError(BFE_INVALID_BIGFILE, 0);
        return 0;
    }
    if (orvobf::platform::StrNICmp(text + fmt::kFormatVersionAt, fmt::kFormatVersion.data(), fmt::kFormatVersion.size()) == 0)
        return 1;
    if (t_quietSignature) return 1;
    char fileSignature[fmt::kSignatureSize + 1];
    std::memcpy(fileSignature, buffer, fmt::kSignatureSize);
    fileSignature[fmt::kSignatureSize] = '\0';
    char message[1024];
    // kSignature views a literal, so its bytes end with a NUL.
    orvobf::platform::Format(message, "Current version : \n%15s\nBigfile version : \n%15s", fmt::kSignature.data(),
                   fileSignature);
    orvobf::platform::ShowMessageBox(nullptr, message, "BIGFILE FILE VERSION WARNING...", 0);
    return 1;
}

int BigFile::ReadHeader(FILE* stream) {
    SetArchiveMode(stream, BF_MODE_BINARY);
    uint64_t position = 0;
    // The signature with a NUL after it, then the fields: the signature is
    // checked (and a version warning shown) before the fields are read.
    unsigned char header[fmt::kHeaderSize + 1];
    if (orvobf::platform::StreamSeek(stream, 0, SEEK_SET) != 0 || !ReadExact(stream, header, fmt::kSignatureSize, position)) {
        SetError(BFE_FILE_IO, 1);
        return 0;
    }
    header[fmt::kSignatureSize] = 0;
    if (!CheckSignature(header) ||
        !ReadExact(stream, header + fmt::kSignatureSize, fmt::kHeaderSize - fmt::kSignatureSize, position)) {
        SetError(BFE_FILE_IO, 1);
        return 0;
    }
    dirCount = fmt::LoadU32(header + fmt::kDirCountAt);
    fileCount = fmt::LoadU32(header + fmt::kFileCountAt);
    dirOffset = fmt::LoadU32(header + fmt::kDirOffsetAt);
    dataBase = fmt::LoadU32(header + fmt::kDataBaseAt);
    return 1;
}

// Iterative: an explicit stack of open blocks replaces the recursion, so
// nesting depth is bounded by memory, not by the thread's call stack.
int BigFile::LoadDirectory(FILE* stream, DirNode* node) {
    if (!stream || !node) {
        SetError(BFE_BAD_PARAMETER, stream ? 2 : 1);
        return 0;
    }
    SetArchiveMode(stream, BF_MODE_BINARY);
    const int64_t start = orvobf::platform::StreamTell(stream);
    uint64_t position = start < 0 ? 0 : static_cast<uint64_t>(start);
    auto remainingBytes = [&]() -> uint64_t {
        return archiveLength > position ? archiveLength - position : 0;
    };

    Level* levels = nullptr;
    uint32_t depth = 0, capacity = 0;
    char* name = nullptr;
    uint32_t nameCapacity = 0;
    int ok = 0;

    // Opens the block of `dir` at the stream's position.
    auto pushBlock = [&](DirNode* dir) -> bool {
        uint32_t count;
        // A huge count allocates nothing up front; the first entry that is
        // not there fails like any short read.
        if (!ReadU32(stream, count, position)) {
            SetError(BFE_FILE_IO, 1);
            return false;
        }
        if (depth == capacity) {
            const uint32_t grown = capacity < 16 ? 16 : capacity * 2;
            void* more = orvobf::platform::Realloc(levels, static_cast<size_t>(grown) * sizeof(Level));
            if (!more) {
                SetError(BFE_MEMORY, 4);
                return false;
            }
            levels = static_cast<Level*>(more);
            capacity = grown;
        }
        levels[depth++] = Level{dir, count};
        return true;
    };

    if (!pushBlock(node)) goto done;
    while (depth > 0) {
        Level& top = levels[depth - 1];
        if (top.remaining == 0) {
            if (top.node->parent) current = top.node->parent;
            --depth;
            continue;
        }
        --top.remaining;

        uint32_t nameLength, attributes;
        if (!ReadU32(stream, nameLength, position)) {
            SetError(BFE_FILE_IO, 2);
            goto done;
        }
        // A length past the end of the file fails like the short read it
        // would be, before anything is allocated for it.
        if (nameLength == 0 || nameLength > remainingBytes()) {
            SetError(BFE_FILE_IO, 3);
            goto done;
        }
        if (nameLength >= nameCapacity) {
            const uint64_t wanted = static_cast<uint64_t>(nameLength) + 1;
            void* more = orvobf::platform::Realloc(name, static_cast<size_t>(wanted));
            if (!more) {
                SetError(BFE_MEMORY, 3);
                goto done;
            }
            name = static_cast<char*>(more);
            nameCapacity = static_cast<uint32_t>(wanted);
        }
        name[nameLength] = '\0';
        // A NUL cuts the in-memory name; one cut to nothing is refused.
        if (!ReadExact(stream, name, nameLength, position) || name[0] == '\0') {
            SetError(BFE_FILE_IO, 3);
            goto done;
        }
        if (!ReadU32(stream, attributes, position)) {
            SetError(BFE_FILE_IO, 4);
            goto done;
        }

        // A NUL cut the name short: the entry says so (a folder that merged
        // with one of the cut name's spelling says so too).
        const bool cut = std::strlen(name) < nameLength;
        if (orvobf::core::IsDirEntry(attributes)) {
            void* child = nullptr;
            if (!AddEntry(name, attributes, nullptr, &child)) goto done;
            if (cut) orvobf::core::FindHolder(current, name, child)->nameCut = 1;
            SetCurrentDir(static_cast<DirNode*>(child));
            if (!pushBlock(static_cast<DirNode*>(child))) goto done;
            continue;
        }

        unsigned char bytes[fmt::kRecordSize];
        if (!ReadExact(stream, bytes, sizeof bytes, position)) {
            SetError(BFE_FILE_IO, 5);
            goto done;
        }
        const FileRecord record{fmt::LoadU32(bytes + fmt::kRecordSizeAt), fmt::LoadU32(bytes + fmt::kRecordPackedAt),
                                fmt::LoadU32(bytes + fmt::kRecordOffsetAt)};
        const int32_t savedCode = errorCode;
        const uint32_t savedDetail = errorDetail;
        SetError(0, 0);
        void* added = nullptr;
        if (!AddEntry(name, attributes, &record, &added)) {
            // Refused without a code of its own: a second file of one name.
            if (errorCode == 0) SetError(BFE_FILE_IO, 6);
            goto done;
        }
        if (cut) orvobf::core::FindHolder(current, name, added)->nameCut = 1;
        SetError(savedCode, savedDetail);

        if (progressCallback) {
            ++progressCount;
            if (progressInterval != 0 && progressCount % progressInterval == 0) {
                const uint64_t percent =
                    fileCount ? static_cast<uint64_t>(progressCount) * 100 / fileCount : 100;
                progressCallback(static_cast<int32_t>(percent > INT32_MAX ? INT32_MAX : percent));
            }
        }
    }
    ok = 1;

done:
    orvobf::platform::Free(name);
    orvobf::platform::Free(levels);
    return ok;
}

// Reading through a handle: disk files with stdio, stored entries with
// positioned reads of the archive file and the end-of-entry clamp.
#include <atomic>
#include <cstdio>
#include <cstring>

#include <orvobf/ORVOBF.H>
#include "open_file_state.h"
#include <orvobf/platform.h>

namespace {
// Text mode: CR LF is delivered as LF. The raw bytes are read in binary
// and translated here on every system, so a text read never consumes a
// byte beyond the entry's end and both builds deliver the same bytes. A
// lone CR and every other byte (0x1A included) pass unchanged.
uint32_t TranslateText(unsigned char* bytes, uint32_t count) {
    uint32_t kept = 0;
    for (uint32_t i = 0; i < count; ++i) {
        if (bytes[i] == '\r' && i + 1 < count && bytes[i + 1] == '\n') continue;
        bytes[kept++] = bytes[i];
    }
    return kept;
}
}  // namespace

int BigFile::FileRead(FileHandle handle, void* buffer, uint32_t count, uint32_t* read) {
    if (!buffer) {
        SetError(BFE_BAD_PARAMETER, 1);
        return 0;
    }
    if (!read) {
        SetError(BFE_BAD_PARAMETER, 2);
        return 0;
    }
    orvobf::core::HeldHandle held(*this, handle);
    if (!held) {
        SetError(BFE_BAD_HANDLE, 0);
        return 0;
    }
    if (FILE* disk = held.Disk()) {
        *read = static_cast<uint32_t>(std::fread(buffer, 1, count, disk));
        if (std::ferror(disk)) {
            SetError(BFE_FILE_IO, 1);
            return 0;
        }
        return 1;
    }

    OpenFileState* state = held.State();
    Log("Reading %d bytes of file %d", static_cast<int>(count), static_cast<int>(handle));
    if (state->packedFile) return orvobf::core::ReadPacked(*this, state, buffer, count, read);
    // Text is translated from raw bytes (above), so the stream stays binary.
    if (std::atomic_ref<uint32_t>(archiveMode).load(std::memory_order_relaxed) != BF_MODE_BINARY)
        SetArchiveMode(archiveStream, BF_MODE_BINARY);
    const int64_t absoluteEnd = int64_t{dataBase} + state->end;
    const int64_t left = absoluteEnd > state->position ? absoluteEnd - state->position : 0;
    const bool beyondEnd = int64_t{count} > left;
    const uint32_t wanted = beyondEnd ? static_cast<uint32_t>(left) : count;

    // A positioned read: no stream position is shared between handles, so
    // reads of different handles run at once.
    auto* out = static_cast<unsigned char*>(buffer);
    bool failed = false;
    uint32_t consumed = static_cast<uint32_t>(orvobf::platform::StreamReadAt(archiveStream, out, wanted, state->position, &failed));
    uint32_t delivered = consumed;
    if (state->mode != BF_MODE_BINARY && consumed > 0) {
        bool pairedAtEnd = false;
        // A CR that ends this piece may pair with an LF that starts the next.
        if (out[consumed - 1] == '\r' && state->position + consumed < absoluteEnd) {
            unsigned char next = 0;
            bool nextFailed = false;
            if (orvobf::platform::StreamReadAt(archiveStream, &next, 1, state->position + consumed, &nextFailed) == 1 &&
                next == '\n') {
                pairedAtEnd = true;
                ++consumed;
            }
            failed = failed || nextFailed;
        }
        if (pairedAtEnd) {
            delivered = TranslateText(out, delivered - 1);
            out[delivered++] = '\n';
        } else {
            delivered = TranslateText(out, delivered);
        }
    }
    state->position += consumed;
    *read = delivered;
    if (failed) orvobf::core::NoteArchiveFailure(*this);
    if (failed || orvobf::core::ArchiveFailed(*this)) {
        SetError(BFE_FILE_IO, 0);
        return 0;
    }
    if (consumed < wanted) {
        // The archive ends before the entry does: a short read, never an end.
        SetError(BFE_FILE_IO, 0);
        return 0;
    }
    if (beyondEnd) state->eof = 1;
    return 1;
}

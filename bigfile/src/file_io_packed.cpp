// Packed entries in the handle table: each handle owns a PackedFile that
// decodes the entry's image with positioned reads of the archive file. No
// file position is shared, so all of this runs without the object's lock,
// under the handle's own.
#include <cstdio>
#include <new>

#include <orvobf/ORVOBF.H>
#include <orvobf/packed_file.h>
#include <orvobf/packed_stream.h>
#include "open_file_state.h"
#include <orvobf/platform.h>

namespace {
PackedFile* Adaptor(const OpenFileState* state) { return static_cast<PackedFile*>(state->packedFile); }

void DestroyAdaptor(PackedFile* adaptor) {
    adaptor->~PackedFile();
    orvobf::platform::Free(adaptor);
}

// The image's own total must be the record's size: a reader that trusted
// either one alone could deliver padding or the next entry's bytes.
bool ImageMatchesRecord(FILE* archive, int64_t start, uint32_t size) {
    unsigned char header[4];
    bool failed = false;
    if (orvobf::platform::StreamReadAt(archive, header, 4, start, &failed) != 4) return false;
    const int32_t total = PackedStream::ImageSize(header);
    return total >= 0 && static_cast<uint32_t>(total) == size;
}
}  // namespace

namespace orvobf::core {

int32_t OpenPacked(BigFile& bf, OpenFileState* state, uint32_t mode, uint32_t* detail) {
    *detail = 0;
    if (mode != BF_MODE_BINARY) return BFE_PACKED_TEXT_MODE;
    state->packedStart = state->position;
    if (!ImageMatchesRecord(bf.archiveStream, state->position, state->record->size)) {
        *detail = 1;
        return BFE_PACKED_STREAM;
    }
    void* memory = orvobf::platform::Alloc(sizeof(PackedFile));
    if (!memory) return BFE_MEMORY;
    auto* adaptor = new (memory) PackedFile;
    if (!adaptor->OpenReadAt(bf.archiveStream, state->position)) {
        DestroyAdaptor(adaptor);
        return BFE_PACKED_STREAM;
    }
    state->packedFile = adaptor;
    return 0;
}

int ReadPacked(BigFile& bf, OpenFileState* state, void* buffer, uint32_t count, uint32_t* read) {
    PackedFile* adaptor = Adaptor(state);
    const int64_t absoluteEnd = int64_t{bf.dataBase} + state->end;
    const int64_t left = absoluteEnd > state->position ? absoluteEnd - state->position : 0;
    const bool beyondEnd = int64_t{count} > left;
    const uint32_t wanted = beyondEnd ? static_cast<uint32_t>(left) : count;
    if (beyondEnd) state->eof = 1;

    const int32_t before = adaptor->Tell();
    if (before < 0) {
        bf.SetError(BFE_FILE_IO, 1);
        return 0;
    }
    // Packed entries are below 2 GiB (the image's total is a signed word).
    if (!adaptor->Read(static_cast<unsigned char*>(buffer), static_cast<int32_t>(wanted))) {
        bf.SetError(BFE_PACKED_STREAM, 0);
        return 0;
    }
    *read = wanted;
    const int32_t after = adaptor->Tell();
    if (after < 0) {
        bf.SetError(BFE_FILE_IO, 1);
        return 0;
    }
    state->position += after - before;
    if (ArchiveFailed(bf)) {
        bf.SetError(BFE_FILE_IO, 0);
        return 0;
    }
    return 1;
}

int SeekPacked(BigFile& bf, OpenFileState* state, int64_t target) {
    if (!Adaptor(state)->Seek(static_cast<int32_t>(target - state->packedStart), 0)) {
        bf.SetError(BFE_PACKED_STREAM, 0);
        return 0;
    }
    return 1;
}

void ClosePacked(OpenFileState* state) {
    PackedFile* adaptor = Adaptor(state);
    if (!adaptor) return;
    adaptor->Close();
    DestroyAdaptor(adaptor);
    state->packedFile = nullptr;
}

}  // namespace orvobf::core

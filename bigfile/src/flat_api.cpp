// Plain functions over the archive object, for callers without classes.
// Each forwards to one operation with its arguments and result unchanged;
// they keep no state and check nothing (BF_Destroy alone accepts null).
#include <new>

#include <orvobf/ORVOBF.H>
#include <orvobf/platform.h>

extern "C" {

// The object lives in memory from the library's heap, so that a failed
// allocation shows up here as null and tests can provoke it.
BigFile* BF_Create(void) {
    void* memory = orvobf::platform::Alloc(sizeof(BigFile));
    if (!memory) return nullptr;
    return new (memory) BigFile(BF_HANDLE_COUNT);
}

void BF_Destroy(BigFile* bf) {
    if (!bf) return;
    // BF_Create made exactly a BigFile; the destructor closes an open
    // archive first.
    bf->BigFile::~BigFile();
    orvobf::platform::Free(bf);
}

// Open, Close and Init go through the virtual slots so that a class
// derived from BigFile is served by its own versions.
int BF_Open(BigFile* bf, const char* path, uint32_t flags) { return bf->Open(path, flags); }
int BF_Close(BigFile* bf) { return bf->Close(); }
int BF_Init(BigFile* bf, int32_t version) { return bf->Init(version); }

FILE* BF_GetArchiveStream(BigFile* bf) { return bf->GetArchiveStream(); }

int BF_FileOpen(BigFile* bf, const char* name, FileHandle* handle) {
    return bf->FileOpen(name, handle, BF_MODE_BINARY);
}

int BF_FileOpenText(BigFile* bf, const char* name, FileHandle* handle) {
    return bf->FileOpen(name, handle, BF_MODE_TEXT);
}

int BF_FileRead(BigFile* bf, FileHandle handle, void* buffer, uint32_t size, uint32_t* count) {
    return bf->FileRead(handle, buffer, size, count);
}

int BF_FileEof(BigFile* bf, FileHandle handle) { return bf->FileEof(handle); }
int32_t BF_FileSize(BigFile* bf, FileHandle handle) { return bf->FileSize(handle); }

int BF_FileSeek(BigFile* bf, FileHandle handle, int32_t offset, int32_t origin) {
    return bf->FileSeek(handle, offset, origin);
}

int32_t BF_FileTell(BigFile* bf, FileHandle handle) { return bf->FileTell(handle); }
int BF_FileClose(BigFile* bf, FileHandle handle) { return bf->FileClose(handle); }

void BF_SetSearchArchive(BigFile* bf, uint32_t flag) { bf->SetSearchArchive(flag); }
void BF_SetDiskFirst(BigFile* bf, uint32_t flag) { bf->SetDiskFirst(flag); }

void BF_SetProgressCallback(BigFile* bf, ProgressCallback callback, uint32_t interval) {
    bf->SetProgressCallback(callback, interval);
}

int BF_SetLogFile(BigFile* bf, const char* path) { return bf->SetLogFile(path); }

int BF_ProbeFile(BigFile* bf, const char* path) { return bf->ProbeFile(path); }
const char* BF_GetName(BigFile* bf) { return bf->GetName(); }
int32_t BF_GetErrorCode(BigFile* bf) { return bf->GetErrorCode(); }

const char* BF_GetErrorText(BigFile* bf, int32_t code, uint32_t detail) {
    return bf->GetErrorText(code, detail);
}

const char* BF_GetLastErrorText(BigFile* bf) { return bf->GetLastErrorText(); }
uint32_t BF_GetErrorDetail(BigFile* bf) { return bf->GetErrorDetail(); }
const char* BF_GetVersionText(BigFile* bf) { return bf->GetVersionText(); }

int BF_FindFirst(BigFile* bf, FindData* cursor) { return bf->FindFirst(cursor); }
int BF_FindNext(BigFile* bf, FindData* cursor) { return bf->FindNext(cursor); }
int BF_PushDir(BigFile* bf) { return bf->PushDir(); }
int BF_PopDir(BigFile* bf) { return bf->PopDir(); }
int BF_DropDir(BigFile* bf) { return bf->DropDir(); }
int BF_ChangeDir(BigFile* bf, const char* path) { return bf->ChangeDir(path); }
int BF_EnterDir(BigFile* bf, const char* name) { return bf->EnterDir(name); }

int BF_CheckArgument(BigFile* bf, const void* pointer, int32_t value) {
    return bf->CheckArgument(pointer, value);
}

uint32_t BF_IsOpen(BigFile* bf) { return bf->IsOpen(); }

void BF_ClearError(BigFile* bf) { bf->ClearError(); }
int32_t BF_GetCallError(BigFile* bf, uint32_t* detail) { return bf->GetCallError(detail); }
uint32_t BF_GetDirCount(BigFile* bf) { return bf->GetDirCount(); }
uint32_t BF_GetFileCount(BigFile* bf) { return bf->GetFileCount(); }

}  // extern "C"

/* A plain C caller: creates an archive object, opens an archive written by
 * our writer, walks its whole tree, reads every file and checks its bytes,
 * and destroys the object, through the BF_ functions only. */
#include <stdio.h>
#include <string.h>

#include <orvobf/ORVOBF.H>
#include "c_fixture.h"

static int failures = 0;

#define CHECK(condition)                                                   \
    do {                                                                   \
        if (!(condition)) {                                                \
            fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #condition); \
            ++failures;                                                    \
        }                                                                  \
    } while (0)

static unsigned char buffer[4096];

/* Reads the file `name` of the current directory to its end in pieces and
 * compares every byte. */
static void CheckFile(BigFile* bf, const char* name, const FileRecord* record) {
    unsigned long size = 0, at = 0;
    const char* want = FixtureContents(name, &size);
    uint32_t got = 0;
    FileHandle h = 0;
    CHECK(want != NULL && record != NULL && record->size == size);
    if (!want || !BF_FileOpen(bf, name, &h)) {
        fprintf(stderr, "%s: %s\n", name, BF_GetLastErrorText(bf));
        ++failures;
        return;
    }
    CHECK(BF_FileSize(bf, h) == (int32_t)size);
    while (!BF_FileEof(bf, h) && BF_FileRead(bf, h, buffer, sizeof buffer, &got) && at + got <= size) {
        CHECK(memcmp(buffer, want + at, got) == 0);
        at += got;
    }
    CHECK(at == size && BF_FileEof(bf, h));
    CHECK(BF_FileClose(bf, h) == 1);
}

/* Walks the current directory and below; counts what it sees. */
static void Walk(BigFile* bf, int* files, int* dirs) {
    FindData cursor;
    int more = BF_FindFirst(bf, &cursor);
    while (more) {
        const char* name = cursor.entry->name;
        if (cursor.record == NULL) {
            ++*dirs;
            CHECK(BF_PushDir(bf) && BF_EnterDir(bf, name));
            Walk(bf, files, dirs);
            CHECK(BF_PopDir(bf));
        } else {
            ++*files;
            CheckFile(bf, name, cursor.record);
        }
        more = BF_FindNext(bf, &cursor);
    }
    CHECK(BF_GetErrorCode(bf) == BFE_NO_MORE_ENTRIES);
}

int main(void) {
    const char* path = FixtureWrite();
    BigFile* bf;
    FileHandle h = 0;
    uint32_t got = 0, detail = 7;
    int files = 0, dirs = 0;
    unsigned long bigSize = 0;
    const char* big = FixtureContents("Big.bin", &bigSize);
    if (!path || !big) return 1;
    BF_Destroy(NULL);

    bf = BF_Create();
    CHECK(bf != NULL);
    if (!bf) return 1;
    CHECK(BF_Init(bf, BIGFILE_HEADER_VERSION) == 1);
    CHECK(strcmp(BF_GetVersionText(bf), "Orvo BigFile Library Version 2.07.0") == 0);
    CHECK(BF_ProbeFile(bf, path) == 1);
    CHECK(BF_Open(bf, path, 0) == 1);
    CHECK(BF_IsOpen(bf) == 1 && strcmp(BF_GetName(bf), path) == 0);
    CHECK(BF_GetArchiveStream(bf) != NULL);

    Walk(bf, &files, &dirs);
    CHECK(files == 4 && dirs == 2);

    /* Positioning, from the root by a full path in other letter case. */
    CHECK(BF_FileOpen(bf, "\\data/BIG.BIN", &h) == 1);
    CHECK(BF_FileSeek(bf, h, 100000, 0) == 1 && BF_FileTell(bf, h) == 100000);
    CHECK(BF_FileRead(bf, h, buffer, 1, &got) == 1 && got == 1 && (char)buffer[0] == big[100000]);
    CHECK(BF_FileSeek(bf, h, 0, 2) == 1 && BF_FileTell(bf, h) == (int32_t)bigSize);
    CHECK(BF_FileClose(bf, h) == 1);

    /* Failures come back as codes and texts. */
    CHECK(BF_FileOpen(bf, "Data/none.bin", &h) == 0 && h == 0);
    CHECK(BF_FileRead(bf, 1, NULL, 1, &got) == 0 && BF_GetErrorDetail(bf) == 1);
    CHECK(strstr(BF_GetLastErrorText(bf), "Bad parameter (1).") != NULL);

    /* Each call's own error: a lookup that finds nothing stores none, and
     * BF_ClearError keeps the one before from standing for it. */
    BF_ClearError(bf);
    CHECK(BF_GetErrorCode(bf) == 0 && BF_GetErrorDetail(bf) == 0);
    CHECK(BF_FileOpen(bf, "Data/none.bin", &h) == 0 && BF_GetCallError(bf, &detail) == 0 && detail == 0);
    CHECK(BF_FileSeek(bf, 200, 0, 0) == 0 && BF_GetCallError(bf, NULL) == BFE_BAD_HANDLE);
    CHECK(BF_GetDirCount(bf) == 2 && BF_GetFileCount(bf) == 4);

    CHECK(BF_Close(bf) == 1 && BF_IsOpen(bf) == 0 && BF_GetName(bf) == NULL);
    BF_Destroy(bf);
    FixtureRemove();
    if (failures) fprintf(stderr, "%d checks failed\n", failures);
    return failures ? 1 : 0;
}

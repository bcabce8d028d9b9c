/* The same line as ReadArchive, from a C program through the plain
 * functions; it links with what pkg-config names alone. */
#include <stdio.h>

#include <orvobf/ORVOBF.H>

int main(int argc, char** argv) {
    BigFile* bf = BF_Create();
    FileHandle handle = 0;
    char text[16];
    uint32_t got = 0;
    int ok;
    if (argc != 2 || !bf) return 2;
    ok = BF_Init(bf, BIGFILE_HEADER_VERSION) && BF_Open(bf, argv[1], 0) && BF_FileOpen(bf, "dir/hello", &handle) &&
         BF_FileRead(bf, handle, text, sizeof text, &got);
    if (ok)
        printf("%u files, %u directories, %.*s\n", (unsigned)BF_GetFileCount(bf), (unsigned)BF_GetDirCount(bf),
               (int)got, text);
    else
        fprintf(stderr, "%s\n", BF_GetLastErrorText(bf));
    BF_Destroy(bf);
    return ok ? 0 : 1;
}

// Opens an archive and prints its counts and the contents of "dir/hello".
#include <cstdio>

#include <orvobf/ORVOBF.H>

inline int ReadArchive(const char* path) {
    BigFile bf;
    if (!bf.Init(BIGFILE_HEADER_VERSION) || !bf.Open(path, 0)) {
        std::fprintf(stderr, "%s\n", bf.GetLastErrorText());
        return 1;
    }
    FileHandle handle = 0;
    char text[16] = {};
    uint32_t got = 0;
    if (!bf.FileOpen("dir/hello", &handle, BF_MODE_BINARY) || !bf.FileRead(handle, text, 15, &got)) {
        std::fprintf(stderr, "%s\n", bf.GetLastErrorText());
        return 1;
    }
    bf.FileClose(handle);
    std::printf("%u files, %u directories, %.*s\n", bf.fileCount, bf.dirCount, static_cast<int>(got), text);
    return 0;
}

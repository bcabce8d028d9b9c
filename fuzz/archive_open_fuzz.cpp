// Any bytes as an archive: Open, walk the whole tree, read every file.
#include <string>

#include "fuzz_support.h"

namespace {
void Walk(BigFile& bf, int depth) {
    FindData cursor{};
    if (!bf.FindFirst(&cursor)) return;
    do {
        const std::string name = cursor.entry->name;
        if (cursor.entry->attributes & BF_ATTR_DIR) {
            if (depth < 64 && bf.PushDir()) {
                if (bf.EnterDir(name.c_str())) Walk(bf, depth + 1);
                bf.PopDir();
            }
        } else if (cursor.record) {
            FileHandle handle = 0;
            if (bf.FileOpen(name.c_str(), &handle, BF_MODE_BINARY)) {
                char buffer[4096];
                uint32_t got = 0;
                for (int i = 0; i < 64 && bf.FileRead(handle, buffer, sizeof buffer, &got) && got; ++i) {
                }
                bf.FileSeek(handle, 1, 2);
                bf.FileRead(handle, buffer, 1, &got);
                bf.FileClose(handle);
            }
        }
    } while (bf.FindNext(&cursor));
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    BigFile bf;
    if (OpenBytes(bf, "fuzz", data, size)) Walk(bf, 0);
    bf.Close();
    return 0;
}

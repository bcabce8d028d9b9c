// Any bytes as an archive: Open, walk the whole tree, read every file.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <orvobf/ORVOBF.H>
#include <orvobf/platform.h>

namespace {
int IgnoreBox(void*, const char*, const char*, unsigned, void*) { return 1; }

const std::string& ScratchFile() {
    static const std::string path = [] {
        std::string p = "/tmp/orvobf-fuzz-" + std::to_string(getpid()) + ".bf";
        return p;
    }();
    return path;
}

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
    orvobf::platform::SetMessageBoxHook(&IgnoreBox, nullptr);
    FILE* out = std::fopen(ScratchFile().c_str(), "wb");
    if (!out) std::abort();
    if (size) std::fwrite(data, 1, size, out);
    std::fclose(out);
    BigFile bf;
    bf.Init(BIGFILE_HEADER_VERSION);
    if (bf.Open(ScratchFile().c_str(), 0)) Walk(bf, 0);
    bf.Close();
    return 0;
}

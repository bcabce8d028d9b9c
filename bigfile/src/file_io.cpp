// Handle table: slot search and closing. Stand-in until the file layer
// lands; it only ever releases slots.
#include <cstdio>

#include "ORVOBF.H"
#include "platform.h"

int32_t BigFile::FindFreeHandle() {
    if (!handles) return -1;
    for (uint32_t slot = 1; slot < handleCount; ++slot) {
        if (!handles[slot]) return static_cast<int32_t>(slot);
    }
    return -1;
}

int BigFile::FileClose(FileHandle handle) {
    if (!handles || handle <= 0 || static_cast<uint32_t>(handle) >= handleCount || !handles[handle]) {
        SetError(BFE_BAD_HANDLE, 0);
        return 0;
    }
    if (handleKinds[handle] == 0) {
        std::fclose(static_cast<FILE*>(handles[handle]));
    } else {
        bfplat::Free(handles[handle]);
    }
    handles[handle] = nullptr;
    handleKinds[handle] = 1;
    return 1;
}

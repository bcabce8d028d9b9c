// What the disk tree does alike on every system.
#include "disk_tree.h"

#ifdef _WIN32
#include <process.h>
#define BFX_PROCESS_ID _getpid
#else
#include <unistd.h>
#define BFX_PROCESS_ID getpid
#endif

namespace orvobf::engine {

bool DiskTree::Close(PendingFile& file) {
    if (!file.stream) return true;
    const bool closed = std::fclose(file.stream) == 0;
    file.stream = nullptr;
    return closed;
}

// Hidden, and unlikely to meet an entry's name; one that does is skipped
// by the exclusive create.
std::string DiskTree::NextTempName() {
    return ".orvobf::engine-" + std::to_string(static_cast<long>(BFX_PROCESS_ID())) + "-" + std::to_string(++tempCount_) +
           ".tmp";
}

}  // namespace orvobf::engine

// The read-only file system that `bigfile mount` serves: one or more
// archives layered into one tree (a path resolves in the last archive that
// has it, folders merge), put on a mount point through FUSE 3.
#ifndef BIGFILE_TOOL_MOUNT_FS_H
#define BIGFILE_TOOL_MOUNT_FS_H

#include <string>
#include <vector>

namespace orvobf::tool {

struct MountRequest {
    std::vector<std::string> archives;  // bottom layer first
    std::string mountPoint;
    std::vector<std::string> options;   // each as given to -o
    bool foreground = false;
};

// Loads every archive, mounts the tree and serves it until it is unmounted
// or a SIGINT, SIGTERM or SIGHUP arrives (which unmounts it). Without
// `foreground` it returns in the calling process once the mount stands,
// serving from a child of its own. Returns the exit code: 0, or 2 with
// the problem reported on standard error.
int ServeMount(const MountRequest& request);

// Unmounts a mount point (ours or any FUSE mount the caller may end).
// Returns the exit code: 0, or 2 when it is not unmounted.
int Unmount(const std::string& mountPoint);

}  // namespace orvobf::tool

#endif

// bigfile mount [-f] [-o OPTIONS] ARCHIVE... MOUNTPOINT: the archives'
// tree, read-only, on a mount point through FUSE 3, later archives over
// earlier ones; bigfile unmount MOUNTPOINT ends it. A tool built without
// FUSE 3 has both commands and says why they cannot work.
#include <getopt.h>

#include <cstdio>
#include <string>

#include "commands.h"
#include "mount/mount_fs.h"
#include "tool_util.h"

namespace {
constexpr const char* kMountSynopsis = "[-f] [-o OPTIONS] ARCHIVE... MOUNTPOINT";
constexpr const char* kUnmountSynopsis = "MOUNTPOINT";

#ifndef ORVOBF_HAVE_FUSE
int WithoutFuse(const char* command) {
    std::fprintf(stderr,
                 "bigfile %s: this bigfile was built without FUSE 3 (the libfuse3 development files were not "
                 "found), so it cannot mount archives\n",
                 command);
    return 2;
}
#endif

int RunMount(int argc, char** argv) {
    static const option options[] = {{"foreground", no_argument, nullptr, 'f'},
                                     {"options", required_argument, nullptr, 'o'},
                                     {"help", no_argument, nullptr, 'h'},
                                     {nullptr, 0, nullptr, 0}};
    orvobf::tool::MountRequest request;
    for (int c; (c = getopt_long(argc, argv, "fo:h", options, nullptr)) != -1;) {
        if (c == 'f') {
            request.foreground = true;
        } else if (c == 'o') {
            request.options.emplace_back(optarg);
        } else if (c == 'h') {
            orvobf::tool::PrintCommandUsage("mount", kMountSynopsis, stdout);
            std::printf(
                "Shows the tree of the ARCHIVEs, read-only, under MOUNTPOINT (an existing\n"
                "folder), through FUSE 3. With several archives a path resolves in the last\n"
                "one that has it: a patch archive named after its base replaces the base's\n"
                "files and adds its own, and folders merge. Names match without regard to\n"
                "case, as in the archive; names this system cannot show are left out and\n"
                "counted. 'bigfile unmount MOUNTPOINT' (or 'fusermount3 -u MOUNTPOINT') ends\n"
                "the mount, and so does Ctrl-C in the foreground.\n"
                "  -f, --foreground       stay in the foreground until unmounted\n"
                "  -o, --options OPTIONS  FUSE mount options, comma-separated (allow_other, ...)\n");
            return 0;
        } else {
            orvobf::tool::PrintCommandUsage("mount", kMountSynopsis, stderr);
            return 2;
        }
    }
    if (argc - optind < 2) {
        orvobf::tool::PrintCommandUsage("mount", kMountSynopsis, stderr);
        return 2;
    }
    for (int i = optind; i + 1 < argc; ++i) request.archives.emplace_back(argv[i]);
    request.mountPoint = argv[argc - 1];
#ifdef ORVOBF_HAVE_FUSE
    return orvobf::tool::ServeMount(request);
#else
    return WithoutFuse("mount");
#endif
}

int RunUnmount(int argc, char** argv) {
    const int used = orvobf::tool::ParseHelpOnly(argc, argv, "unmount", kUnmountSynopsis,
                                                 "Ends the mount of 'bigfile mount' at MOUNTPOINT.", 1, 1);
    if (used >= 0) return used;
#ifdef ORVOBF_HAVE_FUSE
    return orvobf::tool::Unmount(argv[optind]);
#else
    return WithoutFuse("unmount");
#endif
}
}  // namespace

BIGFILE_COMMAND("mount", kMountSynopsis, "show archives as a read-only folder tree", RunMount);
BIGFILE_COMMAND("unmount", kUnmountSynopsis, "end a mount of 'bigfile mount'", RunUnmount);

// bigfile create ARCHIVE DIR: an archive of a disk folder's tree.
#include <getopt.h>

#include <cstdio>
#include <string>

#include "ArchiveWriter.h"
#include "commands.h"
#include "tool_util.h"

namespace {
constexpr const char* kSynopsis = "[--pack | --pack-if-smaller] ARCHIVE DIR";

int RunCreate(int argc, char** argv) {
    static const option options[] = {{"help", no_argument, nullptr, 'h'},
                                     {"pack", no_argument, nullptr, 'p'},
                                     {"pack-if-smaller", no_argument, nullptr, 's'},
                                     {nullptr, 0, nullptr, 0}};
    bfw::Packing packing = bfw::Packing::Store;
    for (int c; (c = getopt_long(argc, argv, "hps", options, nullptr)) != -1;) {
        if (c == 'p' || c == 's') {
            packing = c == 'p' ? bfw::Packing::Pack : bfw::Packing::PackIfSmaller;
            continue;
        }
        if (c == 'h') {
            tool::PrintCommandUsage("create", kSynopsis, stdout);
            std::printf(
                "Writes ARCHIVE from the directories and files below DIR.\n"
                "  -p, --pack             pack every file\n"
                "  -s, --pack-if-smaller  pack a file only where its image is smaller\n");
            return 0;
        }
        tool::PrintCommandUsage("create", kSynopsis, stderr);
        return 2;
    }
    if (argc - optind != 2) {
        tool::PrintCommandUsage("create", kSynopsis, stderr);
        return 2;
    }
    const std::string archive = argv[optind], folder = argv[optind + 1];
    bfw::ArchiveBuilder builder;
    builder.SetDefaultPacking(packing);
    std::string error;
    if (!builder.AddFolder("", folder, &error) || !builder.Write(archive, &error)) {
        std::fprintf(stderr, "bigfile create: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s: %u files in %u directories\n", archive.c_str(), builder.FileCount(),
                builder.DirCount());
    return 0;
}
}  // namespace

BIGFILE_COMMAND("create", kSynopsis, "write an archive from a folder", RunCreate);

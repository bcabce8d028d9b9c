// bigfile info ARCHIVE: header fields, counts and format version.
#include <getopt.h>

#include <cstdio>
#include <cstring>

#include "commands.h"
#include "tool_util.h"

namespace {
constexpr const char* kSynopsis = "ARCHIVE";

uint32_t CountEntries(BigFile& bf, uint32_t& dirs) {
    uint32_t files = 0;
    FindData cursor{};
    for (int more = bf.FindFirst(&cursor); more; more = bf.FindNext(&cursor)) {
        if (!(cursor.entry->attributes & BF_ATTR_DIR)) {
            ++files;
        } else if (bf.PushDir()) {
            ++dirs;
            if (bf.dirStackDepth < 250 && bf.EnterDir(cursor.entry->name)) files += CountEntries(bf, dirs);
            bf.PopDir();
        }
    }
    return files;
}

int RunInfo(int argc, char** argv) {
    static const option options[] = {{"help", no_argument, nullptr, 'h'}, {nullptr, 0, nullptr, 0}};
    for (int c; (c = getopt_long(argc, argv, "h", options, nullptr)) != -1;) {
        if (c == 'h') {
            tool::PrintCommandUsage("info", kSynopsis, stdout);
            std::printf("Shows the header of ARCHIVE and what its directory holds.\n");
            return 0;
        }
        tool::PrintCommandUsage("info", kSynopsis, stderr);
        return 2;
    }
    if (argc - optind != 1) {
        tool::PrintCommandUsage("info", kSynopsis, stderr);
        return 2;
    }
    const char* path = argv[optind];
    BigFile bf;
    if (!tool::OpenArchive(bf, "info", path)) return 1;
    char signature[17] = {};
    std::FILE* file = bf.GetArchiveStream();
    std::rewind(file);
    if (std::fread(signature, 1, 16, file) != 16) {
        std::fprintf(stderr, "bigfile info: %s: cannot read the signature\n", path);
        return 1;
    }
    signature[15] = '\0';  // the 0x1A terminator
    uint32_t dirs = 0;
    const uint32_t files = CountEntries(bf, dirs);
    std::printf("archive:         %s\n", path);
    std::printf("signature:       %s\n", signature);
    std::printf("format version:  %.6s\n", signature + 9);
    std::printf("directories:     %u (header says %u)\n", dirs, bf.dirCount);
    std::printf("files:           %u (header says %u)\n", files, bf.fileCount);
    std::printf("directory at:    %u\n", bf.dirOffset);
    std::printf("data base:       %u\n", bf.dataBase);
    std::printf("archive length:  %llu bytes\n", static_cast<unsigned long long>(bf.archiveLength));
    return 0;
}
}  // namespace

BIGFILE_COMMAND("info", kSynopsis, "show an archive's header and counts", RunInfo);

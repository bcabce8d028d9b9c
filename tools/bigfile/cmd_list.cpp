// bigfile list [-l] ARCHIVE: the archive's tree with sizes.
#include <getopt.h>

#include <cstdio>
#include <string>

#include "commands.h"
#include <orvobf/name_rules.h>
#include "tool_util.h"

namespace {
constexpr const char* kSynopsis = "[-l] ARCHIVE";

struct Totals {
    uint64_t files = 0, dirs = 0, bytes = 0;
};

// Lists the whole tree, each directory's contents below it, indented.
// The library's walker keeps its own stack, so no depth is cut off; false
// when the walk could not finish (the listing is then incomplete).
bool ListTree(BigFile& bf, bool longForm, Totals& totals) {
    BigFileWalker walker(bf);
    WalkEntry e{};
    while (walker.Next(&e)) {
        const std::string indent(static_cast<size_t>(e.depth) * 2, ' ');
        const std::string name = orvobf::PrintableName(e.name);
        if (e.kind == BF_KIND_DIR) {
            ++totals.dirs;
            std::printf("%s%s/\n", indent.c_str(), name.c_str());
            continue;
        }
        const FileRecord* record = e.record;
        ++totals.files;
        totals.bytes += record->size;
        if (longForm) {
            // Our writer keeps the image's length in the packed field; any
            // other non-zero value only says "packed".
            char storage[48] = "stored";
            if (record->packed >= 4) {
                const double ratio = record->size ? 100.0 * record->packed / record->size : 100.0;
                std::snprintf(storage, sizeof storage, "packed %u (%.1f%%)", record->packed, ratio);
            } else if (record->packed) {
                std::snprintf(storage, sizeof storage, "packed");
            }
            std::printf("%s%-30s %12u  %-24s offset %u%s\n", indent.c_str(), name.c_str(), record->size, storage,
                        record->offset, e.kind == BF_KIND_FILE ? "" : "  (not a file entry)");
        } else {
            std::printf("%s%s  %s\n", indent.c_str(), name.c_str(), orvobf::tool::HumanSize(record->size).c_str());
        }
    }
    return !walker.Failed();
}

int RunList(int argc, char** argv) {
    static const option options[] = {{"long", no_argument, nullptr, 'l'},
                                      {"help", no_argument, nullptr, 'h'},
                                      {nullptr, 0, nullptr, 0}};
    bool longForm = false;
    for (int c; (c = getopt_long(argc, argv, "lh", options, nullptr)) != -1;) {
        if (c == 'l') {
            longForm = true;
        } else if (c == 'h') {
            orvobf::tool::PrintCommandUsage("list", kSynopsis, stdout);
            std::printf("Lists the tree of ARCHIVE; -l also shows storage and offsets.\n");
            return 0;
        } else {
            orvobf::tool::PrintCommandUsage("list", kSynopsis, stderr);
            return 2;
        }
    }
    if (argc - optind != 1) {
        orvobf::tool::PrintCommandUsage("list", kSynopsis, stderr);
        return 2;
    }
    BigFile bf;
    if (!orvobf::tool::OpenArchive(bf, "list", argv[optind])) return 1;
    Totals totals;
    if (!ListTree(bf, longForm, totals)) {
        std::fprintf(stderr, "bigfile list: %s: the listing is incomplete: %s\n",
                     orvobf::PrintableName(argv[optind]).c_str(), orvobf::tool::ErrorText(bf).c_str());
        return 1;
    }
    std::printf("%llu files, %llu directories, %s\n",
                static_cast<unsigned long long>(totals.files),
                static_cast<unsigned long long>(totals.dirs), orvobf::tool::HumanSize(totals.bytes).c_str());
    return 0;
}
}  // namespace

BIGFILE_COMMAND("list", kSynopsis, "list an archive's tree", RunList);

// bigfile list [-l] ARCHIVE: the archive's tree with sizes.
#include <getopt.h>

#include <cstdio>
#include <string>

#include "commands.h"
#include "tool_util.h"

namespace {
constexpr const char* kSynopsis = "[-l] ARCHIVE";

struct Totals {
    uint64_t files = 0, dirs = 0, bytes = 0;
};

// Lists the archive's current directory; `depth` indents. Walks with the
// archive's own cursor and directory stack, as an extractor does.
void ListTree(BigFile& bf, int depth, bool longForm, Totals& totals) {
    FindData cursor{};
    for (int more = bf.FindFirst(&cursor); more; more = bf.FindNext(&cursor)) {
        const DirEntry* entry = cursor.entry;
        const std::string indent(static_cast<size_t>(depth) * 2, ' ');
        if (entry->attributes & BF_ATTR_DIR) {
            ++totals.dirs;
            std::printf("%s%s/\n", indent.c_str(), entry->name);
            if (depth < 250 && bf.PushDir()) {
                if (bf.EnterDir(entry->name)) ListTree(bf, depth + 1, longForm, totals);
                bf.PopDir();
            }
            continue;
        }
        const auto* record = static_cast<const FileRecord*>(entry->payload);
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
            std::printf("%s%-30s %12u  %-24s offset %u%s\n", indent.c_str(), entry->name, record->size,
                        storage, record->offset, (entry->attributes & BF_ATTR_FILE) ? "" : "  (not a file entry)");
        } else {
            std::printf("%s%s  %s\n", indent.c_str(), entry->name,
                        tool::HumanSize(record->size).c_str());
        }
    }
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
            tool::PrintCommandUsage("list", kSynopsis, stdout);
            std::printf("Lists the tree of ARCHIVE; -l also shows storage and offsets.\n");
            return 0;
        } else {
            tool::PrintCommandUsage("list", kSynopsis, stderr);
            return 2;
        }
    }
    if (argc - optind != 1) {
        tool::PrintCommandUsage("list", kSynopsis, stderr);
        return 2;
    }
    BigFile bf;
    if (!tool::OpenArchive(bf, "list", argv[optind])) return 1;
    Totals totals;
    ListTree(bf, 0, longForm, totals);
    std::printf("%llu files, %llu directories, %s\n",
                static_cast<unsigned long long>(totals.files),
                static_cast<unsigned long long>(totals.dirs), tool::HumanSize(totals.bytes).c_str());
    return 0;
}
}  // namespace

BIGFILE_COMMAND("list", kSynopsis, "list an archive's tree", RunList);

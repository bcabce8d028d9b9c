// bigfile list [-l] [--json] ARCHIVE: the archive's tree with sizes.
#include <getopt.h>

#include <cstdio>
#include <string>

#include "commands.h"
#include "json_output.h"
#include <orvobf/name_rules.h>
#include "tool_util.h"

namespace {
using orvobf::tool::Json;
constexpr const char* kSynopsis = "[-l] [--json] ARCHIVE";

struct Totals {
    uint64_t files = 0, dirs = 0, bytes = 0;
};

// One entry of the JSON listing.
Json EntryJson(const WalkEntry& e) {
    Json entry = Json::object();
    orvobf::tool::PutText(entry, "path", e.path);
    orvobf::tool::PutText(entry, "name", e.name);
    entry["kind"] = e.kind == BF_KIND_DIR ? "dir" : e.kind == BF_KIND_FILE ? "file" : "other";
    if (const FileRecord* record = e.record) {
        entry["size"] = record->size;
        entry["storage"] = record->packed ? "packed" : "stored";
        // Our writer keeps the image's length in the packed field; a value
        // below an image's 4-byte header only says "packed".
        entry["packed_length"] = record->packed >= 4 ? Json(record->packed) : Json(nullptr);
        entry["offset"] = record->offset;
    }
    return entry;
}

// Lists the whole tree, each directory's contents below it, indented (or
// as JSON entries). The library's walker keeps its own stack, so no depth
// is cut off; false when the walk could not finish (the listing is then
// incomplete).
bool ListTree(BigFile& bf, bool longForm, orvobf::tool::JsonEntryStream* json, Totals& totals) {
    BigFileWalker walker(bf);
    WalkEntry e{};
    while (walker.Next(&e)) {
        if (e.kind == BF_KIND_DIR) {
            ++totals.dirs;
        } else {
            ++totals.files;
            totals.bytes += e.record->size;
        }
        if (json) {
            json->Add(EntryJson(e));
            continue;
        }
        const std::string indent(static_cast<size_t>(e.depth) * 2, ' ');
        const std::string name = orvobf::PrintableName(e.name);
        if (e.kind == BF_KIND_DIR) {
            std::printf("%s%s/\n", indent.c_str(), name.c_str());
            continue;
        }
        const FileRecord* record = e.record;
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
                                      {"json", no_argument, nullptr, 'J'},
                                      {"help", no_argument, nullptr, 'h'},
                                      {nullptr, 0, nullptr, 0}};
    bool longForm = false, json = false;
    for (int c; (c = getopt_long(argc, argv, "lh", options, nullptr)) != -1;) {
        if (c == 'l' || c == 'J') {
            (c == 'l' ? longForm : json) = true;
        } else if (c == 'h') {
            orvobf::tool::PrintCommandUsage("list", kSynopsis, stdout);
            std::printf("Lists the tree of ARCHIVE, each directory's entries below it in name order.\n"
                        "  -l, --long  also show each file's storage, packed size and offset\n"
                        "      --json  one JSON document instead: every entry's path, kind, size,\n"
                        "              storage, packed length and offset, and the totals\n");
            return orvobf::tool::kExitSuccess;
        } else {
            orvobf::tool::PrintCommandUsage("list", kSynopsis, stderr);
            return orvobf::tool::kExitTrouble;
        }
    }
    if (argc - optind != 1) {
        orvobf::tool::PrintCommandUsage("list", kSynopsis, stderr);
        return orvobf::tool::kExitTrouble;
    }
    const char* path = argv[optind];
    BigFile bf;
    if (!orvobf::tool::OpenArchive(bf, "list", path)) return orvobf::tool::kExitTrouble;
    Totals totals;
    if (json) {
        Json head = Json::object();
        orvobf::tool::PutText(head, "archive", path);
        orvobf::tool::JsonEntryStream stream(head);
        const bool complete = ListTree(bf, longForm, &stream, totals);
        Json tail = {{"files", totals.files}, {"directories", totals.dirs}, {"bytes", totals.bytes}};
        if (!complete) tail["error"] = orvobf::tool::ErrorText(bf);
        if (!stream.Finish(tail)) std::fprintf(stderr, "bigfile list: write error\n");
        else if (complete) return orvobf::tool::kExitSuccess;
        return orvobf::tool::kExitTrouble;
    }
    if (!ListTree(bf, longForm, nullptr, totals)) {
        std::fprintf(stderr, "bigfile list: %s: the listing is incomplete: %s\n",
                     orvobf::PrintableName(path).c_str(), orvobf::tool::ErrorText(bf).c_str());
        return orvobf::tool::kExitTrouble;
    }
    std::printf("%llu files, %llu directories, %s\n",
                static_cast<unsigned long long>(totals.files),
                static_cast<unsigned long long>(totals.dirs), orvobf::tool::HumanSize(totals.bytes).c_str());
    return orvobf::tool::kExitSuccess;
}
}  // namespace

BIGFILE_COMMAND("list", kSynopsis, "list an archive's tree", RunList);

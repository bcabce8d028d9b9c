// bigfile create ARCHIVE DIR: an archive of a disk folder's tree.
#include <getopt.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "ArchiveWriter.h"
#include "commands.h"
#include "orvobf/name_rules.h"
#include "tool_util.h"

namespace {
constexpr const char* kSynopsis = "[--pack | --pack-if-smaller] [--strict-names] ARCHIVE DIR";

// A message of several lines, each with the command's prefix.
void PrintLines(std::string_view text) {
    for (size_t start = 0; start <= text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        const std::string line(text.substr(start, end - start));
        std::fprintf(stderr, "bigfile create: %s\n", line.c_str());
        start = end + 1;
    }
}

// Names that every system can take but an extraction on Windows refuses:
// a warning each, or with --strict-names a refusal. Returns their number.
unsigned ReportWindowsNames(const bfw::ArchiveBuilder& builder, bool strict) {
    unsigned count = 0;
    builder.VisitEntries([&](const std::string& path, std::string_view name, bool) {
        const orvobf::NameFault fault = orvobf::CheckWindowsName(name);
        if (fault == orvobf::NameFault::None) return;
        ++count;
        std::fprintf(stderr, "bigfile create: %s%s: %s, cannot be extracted on Windows\n",
                     strict ? "" : "warning: ", orvobf::PrintableName(path).c_str(),
                     orvobf::DescribeNameFault(fault));
    });
    return count;
}

int RunCreate(int argc, char** argv) {
    static const option options[] = {{"help", no_argument, nullptr, 'h'},
                                     {"pack", no_argument, nullptr, 'p'},
                                     {"pack-if-smaller", no_argument, nullptr, 's'},
                                     {"strict-names", no_argument, nullptr, 'n'},
                                     {nullptr, 0, nullptr, 0}};
    bfw::Packing packing = bfw::Packing::Store;
    bool strict = false;
    for (int c; (c = getopt_long(argc, argv, "hpsn", options, nullptr)) != -1;) {
        if (c == 'p' || c == 's') {
            packing = c == 'p' ? bfw::Packing::Pack : bfw::Packing::PackIfSmaller;
            continue;
        }
        if (c == 'n') {
            strict = true;
            continue;
        }
        if (c == 'h') {
            tool::PrintCommandUsage("create", kSynopsis, stdout);
            std::printf(
                "Writes ARCHIVE from the directories and files below DIR.\n"
                "Names no system can take (\"1:x\", \"a\\b\", longer than 255 bytes, two that\n"
                "differ only in case) are refused, each one named; so are links and\n"
                "special files. Nothing is written then.\n"
                "Names an extraction on Windows refuses (':' after the second character,\n"
                "CON, PRN, AUX, NUL, COM1-9, LPT1-9 with any extension, a trailing dot or\n"
                "space, < > \" | ? * and control characters) are warned about, each one\n"
                "with its path inside the archive.\n"
                "  -p, --pack             pack every file\n"
                "  -s, --pack-if-smaller  pack a file only where its image is smaller\n"
                "  -n, --strict-names     refuse names an extraction on Windows refuses\n"
                "                         (nothing is written, exit status 1)\n");
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
    if (!builder.AddFolder("", folder, &error)) {
        PrintLines(error);
        std::fprintf(stderr, "bigfile create: nothing written\n");
        return 1;
    }
    if (const unsigned refused = ReportWindowsNames(builder, strict); strict && refused) {
        std::fprintf(stderr, "bigfile create: %u name%s cannot be extracted on Windows; nothing written\n",
                     refused, refused == 1 ? "" : "s");
        return 1;
    }
    if (!builder.Write(archive, &error)) {
        PrintLines(error);
        return 1;
    }
    std::printf("%s: %u files in %u directories\n", archive.c_str(), builder.FileCount(),
                builder.DirCount());
    return 0;
}
}  // namespace

BIGFILE_COMMAND("create", kSynopsis, "write an archive from a folder", RunCreate);

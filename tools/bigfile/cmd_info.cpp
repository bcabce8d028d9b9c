// bigfile info [--json] ARCHIVE: header fields, counts and format version.
#include <getopt.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "commands.h"
#include "json_output.h"
#include <orvobf/archive_format.h>
#include <orvobf/name_rules.h>
#include "tool_util.h"

namespace {
namespace fmt = orvobf::format;
constexpr const char* kSynopsis = "[--json] ARCHIVE";

struct Counts {
    uint64_t dirs = 0, files = 0;
};

// Counts the whole tree with the library's walker; false when the walk
// could not finish.
bool CountEntries(BigFile& bf, Counts& counts) {
    BigFileWalker walker(bf);
    WalkEntry e{};
    while (walker.Next(&e)) ++(e.kind == BF_KIND_DIR ? counts.dirs : counts.files);
    return !walker.Failed();
}

// The archive's signature, read apart from the library's stream so that
// its cached position stays true.
bool ReadSignature(const char* path, char (&signature)[fmt::kSignatureSize]) {
    std::FILE* file = std::fopen(path, "rb");
    if (!file) return false;
    const bool ok = std::fread(signature, 1, sizeof signature, file) == sizeof signature;
    std::fclose(file);
    return ok;
}

// The figures as one JSON document; `shown` is the signature without its
// end byte.
void PrintJson(BigFile& bf, const char* path, std::string_view shown, const Counts& counts) {
    orvobf::tool::Json info = orvobf::tool::Json::object();
    orvobf::tool::PutText(info, "archive", path);
    orvobf::tool::PutText(info, "signature", shown.substr(0, shown.find('\0')));
    orvobf::tool::PutText(info, "format_version", shown.substr(fmt::kFormatVersionAt, fmt::kFormatVersion.size()));
    info["directories"] = counts.dirs;
    info["files"] = counts.files;
    info["header_directories"] = bf.GetDirCount();
    info["header_files"] = bf.GetFileCount();
    info["directory_offset"] = bf.GetDirOffset();
    info["data_base"] = bf.GetDataBase();
    info["archive_length"] = bf.GetArchiveLength();
    std::printf("%s\n", orvobf::tool::JsonLine(info).c_str());
}

int RunInfo(int argc, char** argv) {
    static const option options[] = {{"json", no_argument, nullptr, 'J'},
                                     {"help", no_argument, nullptr, 'h'},
                                     {nullptr, 0, nullptr, 0}};
    bool json = false;
    for (int c; (c = getopt_long(argc, argv, "h", options, nullptr)) != -1;) {
        if (c == 'J') {
            json = true;
        } else if (c == 'h') {
            orvobf::tool::PrintCommandUsage("info", kSynopsis, stdout);
            std::printf("Shows the header of ARCHIVE and what its directory holds.\n"
                        "      --json  one JSON document instead, with the same figures\n");
            return orvobf::tool::kExitSuccess;
        } else {
            orvobf::tool::PrintCommandUsage("info", kSynopsis, stderr);
            return orvobf::tool::kExitTrouble;
        }
    }
    if (argc - optind != 1) {
        orvobf::tool::PrintCommandUsage("info", kSynopsis, stderr);
        return orvobf::tool::kExitTrouble;
    }
    const char* path = argv[optind];
    BigFile bf;
    if (!orvobf::tool::OpenArchive(bf, "info", path)) return orvobf::tool::kExitTrouble;
    const std::string printable = orvobf::PrintableName(path);
    char signature[fmt::kSignatureSize] = {};
    if (!ReadSignature(path, signature)) {
        const std::string reason = orvobf::tool::SystemReason(path);
        std::fprintf(stderr, "bigfile info: %s: cannot read the signature%s%s%s\n", printable.c_str(),
                     reason.empty() ? "" : " (", reason.c_str(), reason.empty() ? "" : ")");
        return orvobf::tool::kExitTrouble;
    }
    // Shown up to its end byte, or up to a NUL before it.
    const std::string_view shown(signature, fmt::kSignatureSize - 1);
    Counts counts;
    if (!CountEntries(bf, counts)) {
        std::fprintf(stderr, "bigfile info: %s: cannot count the entries: %s\n", printable.c_str(),
                     orvobf::tool::ErrorText(bf).c_str());
        return orvobf::tool::kExitTrouble;
    }
    if (json) {
        PrintJson(bf, path, shown, counts);
        return orvobf::tool::kExitSuccess;
    }
    std::printf("archive:         %s\n", printable.c_str());
    std::printf("signature:       %s\n", orvobf::PrintableName(shown.substr(0, shown.find('\0'))).c_str());
    std::printf("format version:  %s\n",
                orvobf::PrintableName(shown.substr(fmt::kFormatVersionAt, fmt::kFormatVersion.size())).c_str());
    std::printf("directories:     %llu (header says %u)\n", static_cast<unsigned long long>(counts.dirs),
                bf.GetDirCount());
    std::printf("files:           %llu (header says %u)\n", static_cast<unsigned long long>(counts.files),
                bf.GetFileCount());
    std::printf("directory at:    %u\n", bf.GetDirOffset());
    std::printf("data base:       %u\n", bf.GetDataBase());
    std::printf("archive length:  %llu bytes\n", static_cast<unsigned long long>(bf.GetArchiveLength()));
    return orvobf::tool::kExitSuccess;
}
}  // namespace

BIGFILE_COMMAND("info", kSynopsis, "show an archive's header and counts", RunInfo);

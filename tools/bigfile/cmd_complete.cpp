// bigfile __complete ARCHIVE WORD: the archive paths that complete WORD,
// one a line, for the shell's completion (completion.bash); not listed by
// --help. WORD up to its last separator names a folder (any case, as the
// archive looks names up); its entries whose names begin with the rest
// (any case) are printed after that folder part as typed, a directory
// with a '/' after it. Prints nothing when the archive cannot be opened.
#include <getopt.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "archive_path.h"
#include "commands.h"
#include <orvobf/archive_format.h>
#include "tool_util.h"

namespace {
namespace fmt = orvobf::format;
constexpr const char* kSynopsis = "ARCHIVE WORD";

bool StartsWithFolded(std::string_view name, std::string_view prefix) {
    if (name.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (fmt::FoldNameByte(static_cast<unsigned char>(name[i])) !=
            fmt::FoldNameByte(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

int RunComplete(int argc, char** argv) {
    const int used = orvobf::tool::ParseHelpOnly(argc, argv, "__complete", kSynopsis,
                                                 "Prints the archive paths that complete WORD (for the shell).", 2, 2);
    if (used >= 0) return used;
    BigFile bf;
    bf.Init(BIGFILE_HEADER_VERSION);
    if (!bf.Open(argv[optind], 0)) return orvobf::tool::kExitTrouble;
    const std::string_view word = argv[optind + 1];
    size_t cut = word.size();
    while (cut > 0 && !fmt::IsPathSeparator(word[cut - 1])) --cut;
    const std::string folderPart(word.substr(0, cut));
    const DirNode* folder = nullptr;
    if (const orvobf::tool::ArchivePath at = orvobf::tool::Locate(bf, folderPart); at.found) folder = at.Folder();
    if (!folder) return orvobf::tool::kExitSomeFailed;
    for (uint32_t i = 0; i < folder->count; ++i) {
        const DirEntry& entry = folder->entries[i];
        const std::string_view name = entry.name;
        if (name.find('\n') != std::string_view::npos || !StartsWithFolded(name, word.substr(cut))) continue;
        std::printf("%s%s%s\n", folderPart.c_str(), entry.name, entry.attributes & BF_ATTR_DIR ? "/" : "");
    }
    return orvobf::tool::kExitSuccess;
}
}  // namespace

BIGFILE_COMMAND("__complete", kSynopsis, nullptr, RunComplete);

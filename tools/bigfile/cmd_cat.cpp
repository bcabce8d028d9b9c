// bigfile cat ARCHIVE PATH...: entries to standard output, as they are.
#include <getopt.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <string>
#include <vector>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "commands.h"
#include <orvobf/name_rules.h>
#include "tool_util.h"

namespace {
constexpr const char* kSynopsis = "ARCHIVE PATH...";

// Copies one entry: kExitSomeFailed (with a message naming it) when the
// entry fails, kExitTrouble when standard output does. Each call starts
// from a cleared error state: a lookup that finds nothing sets no code,
// and an earlier entry's code must not be taken for its reason.
int CatEntry(BigFile& bf, const char* path, std::vector<unsigned char>& buffer) {
    const std::string shown = orvobf::PrintableName(path);
    FileHandle handle = 0;
    bf.SetError(0, 0);
    if (!bf.FileOpen(path, &handle, BF_MODE_BINARY)) {
        std::fprintf(stderr, "bigfile cat: %s: %s\n", shown.c_str(),
                     bf.GetErrorCode() != 0 ? orvobf::tool::ErrorText(bf).c_str() : "no such file in the archive");
        return orvobf::tool::kExitSomeFailed;
    }
    int code = orvobf::tool::kExitSuccess;
    while (code == orvobf::tool::kExitSuccess && !bf.FileEof(handle)) {
        uint32_t got = 0;
        bf.SetError(0, 0);
        if (!bf.FileRead(handle, buffer.data(), static_cast<uint32_t>(buffer.size()), &got)) {
            std::fprintf(stderr, "bigfile cat: %s: %s\n", shown.c_str(), orvobf::tool::ErrorText(bf).c_str());
            code = orvobf::tool::kExitSomeFailed;
        }
        if (got > 0 && std::fwrite(buffer.data(), 1, got, stdout) != got) {
            std::fprintf(stderr, "bigfile cat: write error\n");
            code = orvobf::tool::kExitTrouble;
        }
    }
    bf.FileClose(handle);
    return code;
}

int RunCat(int argc, char** argv) {
    const int used = orvobf::tool::ParseHelpOnly(argc, argv, "cat", kSynopsis,
                                                 "Writes the named entries of ARCHIVE to standard output.", 2, INT_MAX);
    if (used >= 0) return used;
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    BigFile bf;
    if (!orvobf::tool::OpenArchive(bf, "cat", argv[optind])) return orvobf::tool::kExitTrouble;
    std::vector<unsigned char> buffer(1 << 20);
    int code = orvobf::tool::kExitSuccess;
    for (int i = optind + 1; i < argc && code != orvobf::tool::kExitTrouble; ++i)
        code = std::max(code, CatEntry(bf, argv[i], buffer));
    if (std::fflush(stdout) != 0) {
        std::fprintf(stderr, "bigfile cat: write error\n");
        return orvobf::tool::kExitTrouble;
    }
    return code;
}
}  // namespace

BIGFILE_COMMAND("cat", kSynopsis, "write entries to standard output", RunCat);

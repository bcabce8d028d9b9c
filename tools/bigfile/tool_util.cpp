#include "tool_util.h"

#include <getopt.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#include <orvobf/name_rules.h>

namespace orvobf::tool {

namespace {
// Plain words for the codes the library has no message of its own for.
const char* PlainWord(int32_t code) {
    switch (code) {
        case 0:
        case BFE_NONE: return "no error code";
        case BFE_PACKED_STREAM: return "damaged packed data";
        case BFE_PACKED_TEXT_MODE: return "a packed entry cannot be read in text mode";
        default: return "unknown error code";
    }
}
}  // namespace

bool OpenArchive(BigFile& bf, const char* command, const char* path) {
    bf.Init(BIGFILE_HEADER_VERSION);
    if (bf.Open(path, 0)) return true;
    std::fprintf(stderr, "bigfile %s: %s: %s\n", command, orvobf::PrintableName(path).c_str(),
                 ErrorText(bf, path).c_str());
    return false;
}

std::string SystemReason(const char* path) {
    if (!path) return "";
    struct stat status;
    if (stat(path, &status) == 0 && S_ISDIR(status.st_mode)) return std::strerror(EISDIR);
    errno = 0;
    std::FILE* file = std::fopen(path, "rb");
    if (!file) return errno != 0 ? std::strerror(errno) : "";
    std::fclose(file);
    return "";
}

std::string WithReason(const std::string& what, const std::string& reason) {
    return reason.empty() ? what : what + " (" + reason + ")";
}

std::string ErrorText(BigFileCore& bf, const char* diskPath) {
    const int32_t code = bf.GetErrorCode();
    std::string text = bf.GetLastErrorText();
    std::string reason = SystemReason(diskPath);
    constexpr std::string_view kUndefined = "Undefined error.";
    if (reason.empty() && text.size() >= kUndefined.size() &&
        text.compare(text.size() - kUndefined.size(), kUndefined.size(), kUndefined) == 0)
        reason = PlainWord(code);
    return WithReason(text, reason);
}

void PrintCommandUsage(const char* name, const char* synopsis, std::FILE* out) {
    std::fprintf(out, "Usage: bigfile %s %s\n", name, synopsis);
}

int ParseHelpOnly(int argc, char** argv, const char* name, const char* synopsis, const char* help,
                  int minOperands, int maxOperands) {
    static const option options[] = {{"help", no_argument, nullptr, 'h'}, {nullptr, 0, nullptr, 0}};
    for (int c; (c = getopt_long(argc, argv, "h", options, nullptr)) != -1;) {
        if (c == 'h') {
            PrintCommandUsage(name, synopsis, stdout);
            std::printf("%s\n", help);
            return 0;
        }
        PrintCommandUsage(name, synopsis, stderr);
        return 2;
    }
    const int operands = argc - optind;
    if (operands < minOperands || operands > maxOperands) {
        PrintCommandUsage(name, synopsis, stderr);
        return 2;
    }
    return -1;
}

int FailFileToFile(const char* command, const char* path, const std::string& what, std::FILE* in, std::FILE* out,
                   const char* outPath) {
    std::fprintf(stderr, "bigfile %s: %s: %s\n", command, orvobf::PrintableName(path).c_str(), what.c_str());
    if (in) std::fclose(in);
    if (out) {
        std::fclose(out);
        std::remove(outPath);
    }
    return 1;
}

int FinishFileToFile(const char* command, std::FILE* in, std::FILE* out, const char* outPath) {
    std::fclose(in);
    if (std::fclose(out) == 0) return 0;
    const std::string why = WithReason("write error", std::strerror(errno));
    std::remove(outPath);
    return FailFileToFile(command, outPath, why, nullptr, nullptr, nullptr);
}

std::string HumanSize(uint64_t bytes) {
    static const char* const units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
    double value = static_cast<double>(bytes);
    int unit = 0;
    while (value >= 1024.0 && unit < 4) {
        value /= 1024.0;
        ++unit;
    }
    char text[32];
    if (unit == 0) std::snprintf(text, sizeof text, "%llu B", static_cast<unsigned long long>(bytes));
    else std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
    return text;
}

}  // namespace orvobf::tool

#include "tool_util.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "orvobf/name_rules.h"

namespace tool {

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

}  // namespace tool

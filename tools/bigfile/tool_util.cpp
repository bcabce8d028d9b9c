#include "tool_util.h"

#include <getopt.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
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

std::string WrapWords(const std::string& lead, std::string_view text, size_t indent, size_t width) {
    std::string out = lead, line = lead.substr(lead.rfind('\n') + 1);
    bool first = true;
    for (size_t at = 0; at < text.size();) {
        // One unit: up to the next space outside brackets.
        size_t end = at;
        for (int depth = 0; end < text.size() && (depth > 0 || text[end] != ' '); ++end)
            depth += text[end] == '[' ? 1 : text[end] == ']' ? -1 : 0;
        const std::string_view unit = text.substr(at, end - at);
        if (!first && line.size() + 1 + unit.size() > width) {
            out += "\n" + std::string(indent, ' ');
            line.assign(indent, ' ');
        } else if (!first) {
            out += ' ';
            line += ' ';
        }
        out += unit;
        line += unit;
        first = false;
        at = text.find_first_not_of(' ', end);
        if (at == std::string_view::npos) break;
    }
    return out;
}

namespace {
bool manualText = false;
}

bool ManualText() { return manualText; }
void SetManualText() { manualText = true; }
size_t UsageWidth() { return manualText ? SIZE_MAX : 79; }

void PrintCommandUsage(const char* name, const char* synopsis, std::FILE* out) {
    if (manualText) {
        std::fprintf(out, "  bigfile %s %s\n\n", name, synopsis);
        return;
    }
    const std::string lead = std::string("Usage: bigfile ") + name + " ";
    std::fprintf(out, "%s\n%s", WrapWords(lead, synopsis, lead.size(), UsageWidth()).c_str(),
                 out == stdout ? "\n" : "");
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
        return kExitTrouble;
    }
    const int operands = argc - optind;
    if (operands < minOperands || operands > maxOperands) {
        PrintCommandUsage(name, synopsis, stderr);
        return kExitTrouble;
    }
    return -1;
}

int FailFileToFile(const char* command, const char* path, const std::string& what, std::FILE* in, std::FILE* out,
                   const char* outPath, int code) {
    std::fprintf(stderr, "bigfile %s: %s: %s\n", command, orvobf::PrintableName(path).c_str(), what.c_str());
    if (in) std::fclose(in);
    if (out) {
        std::fclose(out);
        std::remove(outPath);
    }
    return code;
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

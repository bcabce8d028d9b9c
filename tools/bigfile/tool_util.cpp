#include "tool_util.h"

#include <cstdio>

namespace tool {

bool OpenArchive(BigFile& bf, const char* command, const char* path) {
    bf.Init(BIGFILE_HEADER_VERSION);
    if (bf.Open(path, 0)) return true;
    std::fprintf(stderr, "bigfile %s: %s: %s\n", command, path, bf.GetLastErrorText());
    return false;
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

// Which names may stand in an archive, and the reader's name order.
#include <cctype>

#include "ArchiveWriter.h"

namespace bfw {

std::string CheckName(std::string_view name) {
    if (name.empty()) return "empty name";
    if (name.size() > kMaxNameLength) return "name longer than 255 bytes";
    if (name == "." || name == "..") return "name '.' or '..'";
    for (char c : name) {
        if (c == '\0') return "name contains a NUL byte";
        if (c == '/' || c == '\\') return "name contains a path separator";
    }
    // A drive prefix would make an extractor leave its folder on Windows.
    if (name.size() >= 2 && name[1] == ':' && std::isalpha(static_cast<unsigned char>(name[0])))
        return "name begins with a drive prefix";
    return {};
}

int CompareNames(std::string_view a, std::string_view b) {
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

}  // namespace bfw

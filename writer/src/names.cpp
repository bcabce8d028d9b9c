// Which names may stand in an archive, and the reader's name order.
#include "ArchiveWriter.h"
#include "orvobf/name_rules.h"

namespace bfw {

std::string CheckName(std::string_view name) {
    const orvobf::NameFault fault = orvobf::CheckPortableName(name);
    return fault == orvobf::NameFault::None ? std::string() : orvobf::DescribeNameFault(fault);
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

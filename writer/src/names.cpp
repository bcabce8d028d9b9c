// Which names may stand in an archive.
#include "ArchiveWriter.h"
#include "orvobf/name_rules.h"

namespace bfw {

std::string CheckName(std::string_view name) {
    const orvobf::NameFault fault = orvobf::CheckPortableName(name);
    return fault == orvobf::NameFault::None ? std::string() : orvobf::DescribeNameFault(fault);
}

}  // namespace bfw

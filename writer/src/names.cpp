// Which names may stand in an archive.
#include <orvobf/archive_writer.h>
#include <orvobf/name_rules.h>

namespace orvobf::writer {

std::string CheckName(std::string_view name) {
    const orvobf::NameFault fault = orvobf::CheckPortableName(name);
    return fault == orvobf::NameFault::None ? std::string() : orvobf::DescribeNameFault(fault);
}

}  // namespace orvobf::writer

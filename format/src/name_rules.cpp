#include <orvobf/name_rules.h>

#include <cctype>

#include <orvobf/archive_format.h>

namespace orvobf {

namespace {

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// The device names Windows opens whatever folder they stand in, with or
// without an extension ("nul.txt" is the device too).
bool IsReservedDevice(std::string_view name) {
    const std::string_view stem = name.substr(0, name.find('.'));
    static constexpr std::string_view kPlain[] = {"CON", "PRN", "AUX", "NUL"};
    for (std::string_view device : kPlain)
        if (EqualsNoCase(stem, device)) return true;
    if (stem.size() == 4 && stem[3] >= '1' && stem[3] <= '9')
        return EqualsNoCase(stem.substr(0, 3), "COM") || EqualsNoCase(stem.substr(0, 3), "LPT");
    return false;
}

}  // namespace

NameFault CheckPortableName(std::string_view name) {
    if (name.empty()) return NameFault::Empty;
    if (name.size() > kMaxNameLength) return NameFault::TooLong;
    if (name == "." || name == "..") return NameFault::DotName;
    for (char c : name) {
        if (c == '\0') return NameFault::NulByte;
        if (format::IsPathSeparator(c)) return NameFault::Separator;
    }
    if (format::HasDrivePrefix(name)) return NameFault::DrivePrefix;
    return NameFault::None;
}

NameFault CheckWindowsName(std::string_view name) {
    if (NameFault fault = CheckPortableName(name); fault != NameFault::None) return fault;
    for (char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 32) return NameFault::ControlChar;
        if (c == ':') return NameFault::StreamColon;
        if (c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*') return NameFault::ReservedChar;
    }
    if (name.back() == '.' || name.back() == ' ') return NameFault::TrailingDotOrSpace;
    if (IsReservedDevice(name)) return NameFault::ReservedDevice;
    return NameFault::None;
}

NameFault CheckExtractableName(std::string_view name) {
#ifdef _WIN32
    return CheckWindowsName(name);
#else
    return CheckPortableName(name);
#endif
}

const char* DescribeNameFault(NameFault fault) {
    switch (fault) {
    case NameFault::None: return "usable name";
    case NameFault::Empty: return "empty name";
    case NameFault::DotName: return "name '.' or '..'";
    case NameFault::TooLong: return "name longer than 255 bytes";
    case NameFault::NulByte: return "name contains a NUL byte";
    case NameFault::Separator: return "name contains a path separator";
    case NameFault::DrivePrefix: return "name begins with a drive prefix";
    case NameFault::StreamColon: return "name contains ':' (a stream of another file on Windows)";
    case NameFault::ReservedDevice: return "name is a Windows device name";
    case NameFault::TrailingDotOrSpace: return "name ends with a dot or a space (stripped on Windows)";
    case NameFault::ReservedChar: return "name contains one of < > \" | ? * (refused on Windows)";
    case NameFault::ControlChar: return "name contains a control character (refused on Windows)";
    }
    return "unusable name";
}

std::string PrintableName(std::string_view name) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(name.size());
    for (char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\') {
            out += "\\\\";
        } else if (byte < 32 || byte == 127) {
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace orvobf

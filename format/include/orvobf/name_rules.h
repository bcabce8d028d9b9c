// One set of rules for the names inside an archive, used by the writer
// (what it refuses to store), the extraction engine (what it refuses to
// create) and `bigfile test` (what it reports): a name the writer accepts
// is one every extraction can create, and nothing else.
#ifndef ORVOBF_NAME_RULES_H
#define ORVOBF_NAME_RULES_H

#include <cstddef>
#include <string>
#include <string_view>

namespace orvobf {

// Longest entry name, in bytes.
inline constexpr std::size_t kMaxNameLength = 255;

enum class NameFault {
    None,
    Empty,
    DotName,         // "." or ".."
    TooLong,         // over kMaxNameLength bytes
    NulByte,         // the stored name is cut by a NUL
    Separator,       // '/' or '\'
    DrivePrefix,     // a ':' as second byte ("C:x", "1:x")
    // Refused where names land on a Windows file system:
    StreamColon,     // any other ':' (an alternate data stream of another file)
    ReservedDevice,  // CON, PRN, AUX, NUL, COM1-9, LPT1-9, with any extension
    TrailingDotOrSpace,  // stripped by the system: two entries would meet on one file
    ReservedChar,    // < > " | ? *
    ControlChar,     // bytes 1-31
};

// Why the name is unusable on every system, or None.
NameFault CheckPortableName(std::string_view name);
// Why the name is unusable on Windows (the portable rules included), or None.
NameFault CheckWindowsName(std::string_view name);
// The rules of the system this program runs on: what extraction refuses here.
NameFault CheckExtractableName(std::string_view name);

// A short lower-case description ("name contains a path separator").
const char* DescribeNameFault(NameFault fault);

// The name with every control byte (1-31, 127) written as \xNN and a
// backslash as \\, so that a name cannot move the cursor, clear the screen
// or forge a line; other bytes (UTF-8 included) pass unchanged.
std::string PrintableName(std::string_view name);

}  // namespace orvobf

#endif

// Helpers shared by the tool's commands.
#ifndef BIGFILE_TOOL_UTIL_H
#define BIGFILE_TOOL_UTIL_H

#include <cstdint>
#include <string>

#include "ORVOBF.H"

namespace tool {

// Initialises `bf` and opens `path`; on failure prints
// "bigfile CMD: PATH: <library message>" and returns false.
bool OpenArchive(BigFile& bf, const char* command, const char* path);

// Prints a command's usage line to `out` ("Usage: bigfile NAME SYNOPSIS").
void PrintCommandUsage(const char* name, const char* synopsis, std::FILE* out);

std::string HumanSize(uint64_t bytes);

}  // namespace tool

#endif

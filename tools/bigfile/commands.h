// Subcommands of the `bigfile` tool. Each lives in its own cmd_*.cpp and
// registers itself with a static BIGFILE_COMMAND(...) so that adding a
// command touches no other file.
#ifndef BIGFILE_TOOL_COMMANDS_H
#define BIGFILE_TOOL_COMMANDS_H

namespace orvobf::tool {

// argv[0] is the subcommand's name; options follow, parsed with getopt_long.
// Returns the process exit code.
using CommandMain = int (*)(int argc, char** argv);

struct Command {
    const char* name;
    const char* synopsis;  // "ARCHIVE DIR", shown by --help
    const char* summary;   // one line; null for a command --help does not list
    CommandMain run;
};

bool RegisterCommand(const Command& command);

}  // namespace orvobf::tool

#define BIGFILE_COMMAND_CAT2(a, b) a##b
#define BIGFILE_COMMAND_CAT(a, b) BIGFILE_COMMAND_CAT2(a, b)
#define BIGFILE_COMMAND(name, synopsis, summary, fn)                                 \
    static const bool BIGFILE_COMMAND_CAT(registered_, __LINE__) =                   \
        ::orvobf::tool::RegisterCommand(::orvobf::tool::Command{name, synopsis, summary, fn})

#endif

// `bigfile`: create, inspect, compare and unpack Orvo big files.
#include <getopt.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include <orvobf/ORVOBF.H>
#include "commands.h"
#include <orvobf/archive_format.h>
#include <orvobf/name_rules.h>
#include "tool_util.h"

namespace orvobf::tool {
namespace {

// Where each command's summary starts in the list of commands.
constexpr size_t kSummaryColumn = 33;

std::vector<Command>& Registry() {
    static std::vector<Command> commands;
    return commands;
}

const Command* Find(std::string_view name) {
    for (const Command& c : Registry())
        if (name == c.name) return &c;
    return nullptr;
}

// "  NAME SYNOPSIS" and the summary in its column; a line too long for
// both has the synopsis broken under its first word and the summary on a
// line of its own.
void PrintCommandLine(std::FILE* out, const std::string& name, const char* synopsis, const char* summary) {
    const std::string lead = "  " + name + " ";
    std::string line = WrapWords(lead, synopsis, lead.size(), UsageWidth());
    if (line.find('\n') == std::string::npos && line.size() + 2 <= kSummaryColumn)
        line += std::string(kSummaryColumn - line.size(), ' ');
    else
        line += "\n" + std::string(kSummaryColumn, ' ');
    std::fprintf(out, "%s\n", WrapWords(line, summary, kSummaryColumn).c_str());
}

void PrintUsage(std::FILE* out) {
    std::fprintf(out,
                 "Usage: bigfile COMMAND [OPTIONS] ARGS...\n"
                 "  or:  bigfile help [COMMAND]\n"
                 "  or:  bigfile --help | --version\n\n"
                 "Creates, inspects, compares and unpacks Orvo big files.\n\n"
                 "Commands:\n");
    for (const Command& c : Registry())
        if (c.summary) PrintCommandLine(out, c.name, c.synopsis, c.summary);
    std::fprintf(out,
                 "\nExit status:\n"
                 "  0  success\n"
                 "  1  some entries failed, or the archive and the folder differ\n"
                 "  2  a wrong use, or trouble: the archive, a folder or an output cannot be\n"
                 "     opened, read or written\n"
                 "\nRun 'bigfile help COMMAND' for a command's options.\n");
}

int RunCommand(const Command& c, int argc, char** argv) {
    optind = 1;  // each command parses its own options from argv[1]
    return c.run(argc, argv);
}

constexpr const char* kHelpSynopsis = "[COMMAND]";

// bigfile help [--all | COMMAND]: the overview, every command's help after
// it under a heading of its own (the manual page is made from that, with
// lines left for its formatter to break), or one command's.
int RunHelp(int argc, char** argv) {
    const std::string_view option = argc == 2 ? argv[1] : "";
    if (argc < 2 || option == "--help" || option == "-h") {
        PrintUsage(stdout);
        return kExitSuccess;
    }
    if (option == "--all") {
        SetManualText();
        PrintUsage(stdout);
        for (const Command& c : Registry()) {
            if (!c.summary || c.run == RunHelp) continue;
            std::printf("\nCommand '%s':\n", c.name);
            std::fflush(stdout);
            char help[] = "--help";
            char* args[] = {const_cast<char*>(c.name), help, nullptr};
            RunCommand(c, 2, args);
        }
        return kExitSuccess;
    }
    const Command* c = argc == 2 ? Find(argv[1]) : nullptr;
    if (!c) {
        std::fprintf(stderr, "bigfile help: %s\n",
                     argc == 2 ? ("unknown command '" + PrintableName(argv[1]) + "'").c_str()
                               : "takes one command's name");
        return kExitTrouble;
    }
    char help[] = "--help";
    char* args[] = {argv[1], help, nullptr};
    return RunCommand(*c, 2, args);
}

}  // namespace

BIGFILE_COMMAND("help", kHelpSynopsis, "show a command's options (COMMAND --help)", RunHelp);

bool RegisterCommand(const Command& command) {
    auto& commands = Registry();
    auto at = commands.begin();
    while (at != commands.end() && std::strcmp(at->name, command.name) < 0) ++at;
    commands.insert(at, command);
    return true;
}

}  // namespace orvobf::tool

int main(int argc, char** argv) {
    namespace tool = orvobf::tool;
    if (argc < 2) {
        tool::PrintUsage(stderr);
        return tool::kExitTrouble;
    }
    std::string_view first = argv[1];
    if (first == "--help" || first == "-h") {
        tool::PrintUsage(stdout);
        return tool::kExitSuccess;
    }
    if (first == "--version") {
        const std::string_view format = orvobf::format::kFormatVersion;
        std::printf("bigfile %s (archive format %.*s, interface %d)\n", ORVOBF_VERSION_TEXT,
                    static_cast<int>(format.size()), format.data(), BIGFILE_HEADER_VERSION);
        return tool::kExitSuccess;
    }
    if (const tool::Command* c = tool::Find(first)) return tool::RunCommand(*c, argc - 1, argv + 1);
    std::fprintf(stderr, "bigfile: unknown command '%s'\n", orvobf::PrintableName(argv[1]).c_str());
    tool::PrintUsage(stderr);
    return tool::kExitTrouble;
}

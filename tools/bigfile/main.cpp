// `bigfile`: create, inspect and unpack Orvo big files.
#include <getopt.h>

#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include <orvobf/ORVOBF.H>
#include "commands.h"
#include <orvobf/archive_format.h>
#include <orvobf/name_rules.h>

namespace orvobf::tool {
namespace {

std::vector<Command>& Registry() {
    static std::vector<Command> commands;
    return commands;
}

void PrintUsage(std::FILE* out) {
    std::fprintf(out,
                 "Usage: bigfile COMMAND [OPTIONS] ARGS...\n"
                 "       bigfile --help | --version\n\n"
                 "Commands:\n");
    for (const Command& c : Registry())
        std::fprintf(out, "  %-8s %-28s %s\n", c.name, c.synopsis, c.summary);
    std::fprintf(out, "\nRun 'bigfile COMMAND --help' for a command's options.\n");
}

}  // namespace

bool RegisterCommand(const Command& command) {
    auto& commands = Registry();
    auto at = commands.begin();
    while (at != commands.end() && std::strcmp(at->name, command.name) < 0) ++at;
    commands.insert(at, command);
    return true;
}

}  // namespace orvobf::tool

int main(int argc, char** argv) {
    if (argc < 2) {
        orvobf::tool::PrintUsage(stderr);
        return 2;
    }
    std::string_view first = argv[1];
    if (first == "--help" || first == "-h") {
        orvobf::tool::PrintUsage(stdout);
        return 0;
    }
    if (first == "--version") {
        const std::string_view format = orvobf::format::kFormatVersion;
        std::printf("bigfile %s (archive format %.*s, interface %d)\n", ORVOBF_VERSION_TEXT,
                    static_cast<int>(format.size()), format.data(), BIGFILE_HEADER_VERSION);
        return 0;
    }
    for (const orvobf::tool::Command& c : orvobf::tool::Registry()) {
        if (first == c.name) {
            optind = 1;  // each command parses its own options from argv[1]
            return c.run(argc - 1, argv + 1);
        }
    }
    std::fprintf(stderr, "bigfile: unknown command '%s'\n", orvobf::PrintableName(argv[1]).c_str());
    orvobf::tool::PrintUsage(stderr);
    return 2;
}

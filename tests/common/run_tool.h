// Runs the `bigfile` program (BIGFILE_TOOL) through the shell and collects
// what it printed, standard error folded in, and its exit status.
#ifndef ORVOBF_TESTS_RUN_TOOL_H
#define ORVOBF_TESTS_RUN_TOOL_H

#include <sys/wait.h>

#include <cstdio>
#include <string>

struct Outcome {
    int status;  // exit code, or -1 when it did not exit normally
    std::string out;
};

// Runs a shell command line, its standard error folded in.
inline Outcome Shell(const std::string& commandLine) {
    const std::string command = "{ " + commandLine + "\n} 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    Outcome run{-1, {}};
    if (!pipe) return run;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.out.append(buffer, n);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// `args` are shell words.
inline Outcome Tool(const std::string& args) { return Shell(std::string(BIGFILE_TOOL) + " " + args); }

#endif

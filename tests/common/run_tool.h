// Runs a shell command line, or the `bigfile` program (BIGFILE_TOOL) through
// the shell, and collects what it printed and its exit status.
#ifndef ORVOBF_TESTS_RUN_TOOL_H
#define ORVOBF_TESTS_RUN_TOOL_H

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

struct Outcome {
    int status;  // exit code, or -1 when it did not exit normally
    std::string out;
};

// Runs a whole shell command line and collects its standard output.
inline Outcome RunShell(const std::string& command) {
    FILE* pipe = popen(command.c_str(), "r");
    Outcome run{-1, {}};
    if (!pipe) return run;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.out.append(buffer, n);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// Runs a shell command line, its standard error folded in.
inline Outcome Shell(const std::string& commandLine) { return RunShell("{ " + commandLine + "\n} 2>&1"); }

#ifdef BIGFILE_TOOL  // the program is known to the suites that run it
// `args` are shell words.
inline Outcome Tool(const std::string& args) { return Shell(std::string(BIGFILE_TOOL) + " " + args); }

// The same with standard error kept apart, for tests of which stream a
// line goes to.
struct SplitOutcome {
    int status;
    std::string out;
    std::string err;
};

// `runner` goes before the program (for example a command that drops
// privileges).
inline SplitOutcome ToolSplit(const std::string& args, const std::string& runner = "") {
    char errPath[] = "/tmp/orvobf-stderr-XXXXXX";
    const int fd = mkstemp(errPath);
    SplitOutcome run{-1, {}, {}};
    if (fd < 0) return run;
    close(fd);
    const Outcome both = RunShell(runner + BIGFILE_TOOL + " " + args + " 2>" + errPath);
    run.status = both.status;
    run.out = both.out;
    if (FILE* err = std::fopen(errPath, "rb")) {
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, err)) > 0;) run.err.append(buffer, n);
        std::fclose(err);
    }
    std::remove(errPath);
    return run;
}
#endif

#endif

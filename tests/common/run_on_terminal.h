// Runs a shell command with its standard input, output and error on a new
// pseudo-terminal, so that a program draws what it draws for a user, and
// collects every byte it wrote there (line ends arrive as CR LF).
#ifndef ORVOBF_TESTS_RUN_ON_TERMINAL_H
#define ORVOBF_TESTS_RUN_ON_TERMINAL_H

#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>

struct TerminalRun {
    int status;  // exit code, or -1 when it did not exit normally
    std::string out;
};

// The terminal is left unread for `unreadMs` first: a program that writes
// more than the terminal holds waits that long in the middle of its work.
inline TerminalRun RunOnTerminal(const std::string& command, int unreadMs = 0) {
    winsize size{};
    size.ws_row = 40;
    size.ws_col = 200;
    int master = -1;
    const pid_t child = forkpty(&master, nullptr, nullptr, &size);
    if (child < 0) return {-1, {}};
    if (child == 0) {
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    if (unreadMs > 0) usleep(static_cast<useconds_t>(unreadMs) * 1000);
    TerminalRun run{-1, {}};
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n > 0) run.out.append(buffer, static_cast<size_t>(n));
        else if (n < 0 && errno == EINTR) continue;
        else break;  // EIO once the last writer has gone
    }
    close(master);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

#endif

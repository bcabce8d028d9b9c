// Real mounts for the tests: `bigfile mount` started as a child in the
// foreground (or as the daemon it makes of itself), ready once the kernel
// lists the mount, and torn down at the end whatever the test did. The
// tear-down never decides a result.
#ifndef ORVOBF_TESTS_MOUNT_HARNESS_H
#define ORVOBF_TESTS_MOUNT_HARNESS_H

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <orvobf/archive_writer.h>
#include "run_tool.h"
#include "temp_dir.h"

namespace mount_test {

// Whether the kernel lists a mount at `mountPoint` (a path without spaces):
// a field of its own on a line of mountinfo (no other field is such a path).
inline bool IsMounted(const std::string& mountPoint) {
    return FileBytes("/proc/self/mountinfo").find(" " + mountPoint + " ") != std::string::npos;
}

// Whether the process has ended (a zombie waiting for its parent has).
inline bool Gone(pid_t pid) {
    const std::string stat = FileBytes("/proc/" + std::to_string(pid) + "/stat");
    const size_t close = stat.rfind(')');
    return close == std::string::npos || close + 2 >= stat.size() || stat[close + 2] == 'Z';
}

// Polls `done` every 10 ms for up to `seconds`.
template <class Test>
bool Within(double seconds, Test done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// The processes whose command line has `word` as an argument.
inline std::vector<pid_t> ProcessesWith(const std::string& word) {
    std::vector<pid_t> found;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        const std::string cmdline = FileBytes(entry.path() / "cmdline");
        if (cmdline.find(std::string(1, '\0') + word + std::string(1, '\0')) != std::string::npos)
            found.push_back(static_cast<pid_t>(std::stoi(name)));
    }
    return found;
}

// Why real mounts cannot run here, or "" when they can.
inline std::string MountUnavailable() {
    const int fd = open("/dev/fuse", O_RDWR);
    if (fd < 0) return "/dev/fuse cannot be opened";
    close(fd);
    if (Shell("command -v fusermount3").status != 0) return "fusermount3 is not installed";
    if (Tool("mount /nonexistent /nonexistent").out.find("without FUSE") != std::string::npos)
        return "bigfile was built without FUSE 3";
    return "";
}

// `bigfile mount -f ARGS MOUNTPOINT` as a child of the test.
class Mount {
public:
    Mount(const std::string& args, const std::string& mountPoint) : mountPoint_(mountPoint) {
        std::filesystem::create_directories(mountPoint);
        errPath_ = mountPoint + ".err";
        pid_ = fork();
        if (pid_ == 0) {
            const std::string command =
                std::string("exec ") + BIGFILE_TOOL + " mount -f " + args + " " + mountPoint + " 2>" + errPath_;
            execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        ready_ = Within(10, [&] { return IsMounted(mountPoint_) || Exited(); });
        ready_ = ready_ && IsMounted(mountPoint_);
    }
    ~Mount() {
        if (IsMounted(mountPoint_)) Shell("fusermount3 -u -z " + mountPoint_);
        if (!Exited() && !Within(5, [&] { return Exited(); })) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        std::remove(errPath_.c_str());
    }
    Mount(const Mount&) = delete;
    Mount& operator=(const Mount&) = delete;

    bool ready() const { return ready_; }
    pid_t pid() const { return pid_; }
    std::string Errors() const { return FileBytes(errPath_); }
    // `bigfile unmount`: it succeeds, the mount goes and the server ends with 0.
    ::testing::AssertionResult Unmount() {
        const Outcome run = Tool("unmount " + mountPoint_);
        const int code = run.status == 0 ? ExitCode(10) : -3;
        if (code == 0 && !IsMounted(mountPoint_)) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "unmount: " << run.out << "; server: " << code << " " << Errors();
    }
    // The exit code once the process ends within `seconds`; -1 if it did not
    // end normally, -2 if it is still there.
    int ExitCode(double seconds) {
        if (!Within(seconds, [&] { return Exited(); })) return -2;
        return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
    }

private:
    bool Exited() {
        if (!exited_ && waitpid(pid_, &status_, WNOHANG) == pid_) exited_ = true;
        return exited_;
    }

    std::string mountPoint_, errPath_;
    pid_t pid_ = -1;
    int status_ = 0;
    bool exited_ = false;
    bool ready_ = false;
};

// Writes an archive of `files` (path -> contents), each packed or stored
// as `packed` says.
inline std::string WriteArchive(const TempDir& dir, const std::string& name,
                                const std::map<std::string, std::string>& files, bool packed) {
    orvobf::writer::ArchiveBuilder builder;
    std::string error;
    for (const auto& [path, contents] : files)
        EXPECT_TRUE(builder.AddFile(path, contents, &error,
                                    packed ? orvobf::writer::Packing::Pack : orvobf::writer::Packing::Store))
            << error;
    EXPECT_TRUE(builder.Write(dir.File(name), &error)) << error;
    return dir.File(name);
}

}  // namespace mount_test

#define SKIP_WITHOUT_MOUNTS()                                                   \
    do {                                                                        \
        const std::string unavailable = mount_test::MountUnavailable();         \
        if (!unavailable.empty()) GTEST_SKIP() << "no real mounts: " << unavailable; \
    } while (0)

#endif

// Helpers of bench/mount/run.sh:
//   mount_bench many ARCHIVE N
//       writes an archive of N empty files in 1000 folders three levels deep
//   mount_bench readall DIR
//       reads every file under DIR whole, in 1 MiB pieces, in one process
//   mount_bench reads DIR COUNT SIZE
//       COUNT reads of SIZE bytes at random offsets of the files under DIR
//       (a mount point), each file chosen with a chance by its size
//   mount_bench reads --archive ARCHIVE COUNT SIZE
//       the same reads through orvobf::Archive, without the mount, each
//       file opened once
// Reads print their time, per read and in all. The random choices come
// from one fixed seed, so both ways read the same places.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <orvobf/archive_writer.h>
#include <orvobf/orvobf.hpp>

namespace {

int Many(const char* archive, unsigned long count) {
    orvobf::writer::ArchiveBuilder builder;
    std::string error;
    for (unsigned long i = 0; i < count; ++i) {
        const unsigned long leaf = i % 1000;
        const std::string path = "d" + std::to_string(leaf / 100) + "/e" + std::to_string(leaf / 10 % 10) + "/f" +
                                 std::to_string(leaf % 10) + "/file_" + std::to_string(i) + ".dat";
        if (!builder.AddFile(path, "", &error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
    }
    if (!builder.Write(archive, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    return 0;
}

struct Target {
    std::string path;  // below the mount point, or inside the archive
    uint64_t size;
};

// Where each read goes: a file by its share of all bytes, an offset in it.
std::vector<std::pair<size_t, uint64_t>> Plan(const std::vector<Target>& files, unsigned long count, size_t size) {
    std::vector<uint64_t> ends;
    uint64_t total = 0;
    for (const Target& t : files) ends.push_back(total += t.size);
    std::mt19937_64 rng(20261207);
    std::vector<std::pair<size_t, uint64_t>> plan;
    for (unsigned long i = 0; i < count && total > 0; ++i) {
        const uint64_t byte = rng() % total;
        const size_t file = static_cast<size_t>(std::upper_bound(ends.begin(), ends.end(), byte) - ends.begin());
        const uint64_t room = files[file].size > size ? files[file].size - size : 0;
        plan.emplace_back(file, room ? rng() % (room + 1) : 0);
    }
    return plan;
}

void Report(const char* how, std::chrono::steady_clock::duration took, unsigned long count, uint64_t bytes) {
    const double seconds = std::chrono::duration<double>(took).count();
    std::printf("%s: %lu reads, %.3f s, %.1f us per read, %.1f MiB/s\n", how, count, seconds, seconds * 1e6 / count,
                static_cast<double>(bytes) / (1 << 20) / seconds);
}

int ReadAll(const char* dir) {
    std::vector<char> buffer(1 << 20);
    uint64_t bytes = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
        if (!entry.is_regular_file()) continue;
        const int fd = open(entry.path().c_str(), O_RDONLY);
        ssize_t n = fd < 0 ? -1 : 0;
        while (fd >= 0 && (n = read(fd, buffer.data(), buffer.size())) > 0) bytes += static_cast<uint64_t>(n);
        if (fd >= 0) close(fd);
        if (n < 0) {
            std::perror(entry.path().c_str());
            return 1;
        }
    }
    return bytes > 0 ? 0 : 1;
}

int ReadsThroughMount(const char* dir, unsigned long count, size_t size) {
    std::vector<Target> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir))
        if (entry.is_regular_file()) files.push_back({entry.path().string(), entry.file_size()});
    std::sort(files.begin(), files.end(), [](const Target& a, const Target& b) { return a.path < b.path; });
    const auto plan = Plan(files, count, size);
    std::vector<char> buffer(size);
    uint64_t bytes = 0;
    const auto start = std::chrono::steady_clock::now();
    for (const auto& [file, offset] : plan) {
        const int fd = open(files[file].path.c_str(), O_RDONLY);
        const ssize_t n = fd < 0 ? -1 : pread(fd, buffer.data(), size, static_cast<off_t>(offset));
        if (n < 0) {
            std::perror(files[file].path.c_str());
            return 1;
        }
        bytes += static_cast<uint64_t>(n);
        close(fd);
    }
    Report("mount", std::chrono::steady_clock::now() - start, count, bytes);
    return 0;
}

int ReadsThroughLibrary(const char* archivePath, unsigned long count, size_t size) {
    std::error_code ec;
    const orvobf::Archive archive = orvobf::Archive::open(archivePath, ec);
    std::vector<Target> files;
    archive.walk(
        "",
        [&](const orvobf::Entry& e) {
            if (!e.is_dir) files.push_back({e.path, e.size});
            return orvobf::walk_action::next;
        },
        ec);
    if (ec) {
        std::fprintf(stderr, "%s\n", ec.message().c_str());
        return 1;
    }
    std::sort(files.begin(), files.end(), [](const Target& a, const Target& b) { return a.path < b.path; });
    const auto plan = Plan(files, count, size);
    std::vector<std::byte> buffer(size);
    uint64_t bytes = 0;
    const auto start = std::chrono::steady_clock::now();
    // One File per path, kept: what a program reading the archive itself
    // would do (a packed File keeps its points to resume decoding from).
    std::vector<orvobf::File> open(files.size());
    for (const auto& [file, offset] : plan) {
        orvobf::File& f = open[file];
        if (!f.is_open()) f = archive.open_file(files[file].path, ec);
        if (!ec) bytes += f.read_at(offset, buffer, ec);
        if (ec) {
            std::fprintf(stderr, "%s\n", ec.message().c_str());
            return 1;
        }
    }
    Report("library", std::chrono::steady_clock::now() - start, count, bytes);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string_view command = argc > 1 ? argv[1] : "";
    if (command == "many" && argc == 4) return Many(argv[2], std::strtoul(argv[3], nullptr, 10));
    if (command == "readall" && argc == 3) return ReadAll(argv[2]);
    if (command == "reads" && argc == 5)
        return ReadsThroughMount(argv[2], std::strtoul(argv[3], nullptr, 10), std::strtoul(argv[4], nullptr, 10));
    if (command == "reads" && argc == 6 && std::string_view(argv[2]) == "--archive")
        return ReadsThroughLibrary(argv[3], std::strtoul(argv[4], nullptr, 10), std::strtoul(argv[5], nullptr, 10));
    std::fprintf(stderr,
                 "usage: mount_bench many ARCHIVE N | readall DIR | reads DIR COUNT SIZE\n"
                 "       mount_bench reads --archive ARCHIVE COUNT SIZE\n");
    return 2;
}

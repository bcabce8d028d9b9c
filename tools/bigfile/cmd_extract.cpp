// bigfile extract [-C DIR] [-j N] [-v] [--keep-partial] ARCHIVE [PATH...]:
// the archive's tree (or the named parts of it) written below DIR, through
// the extraction engine the extractor tool uses, N files at a time. The
// process's working directory is never changed.
#include <getopt.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "archive_path.h"
#include "commands.h"
#include "extract_engine.h"
#include <orvobf/archive_format.h>
#include <orvobf/name_rules.h>
#include "tool_util.h"

namespace {
constexpr const char* kSynopsis = "[-C DIR] [-j N] [-v] [--keep-partial] ARCHIVE [PATH...]";
// Each worker holds one handle of the archive's 255 while it copies.
constexpr unsigned long kMostWorkers = 64;

class CliReporter : public orvobf::engine::Reporter {
public:
    CliReporter(bool verbose, uint64_t totalFiles)
        : verbose_(verbose), bar_(isatty(fileno(stderr)) != 0), total_(totalFiles) {}

    void FileDone(const std::string& path, uint64_t bytes) override {
        ++files_;
        bytes_ += bytes;
        if (verbose_) {
            ClearBar();
            std::printf("%s\n", orvobf::PrintableName(path).c_str());
        }
        DrawBar();
    }
    void ChunkWritten(uint32_t) override { DrawBar(); }
    void DirectoryDone(const std::string&) override { ++dirs_; }
    void Report(orvobf::engine::Problem problem, const std::string& path) override {
        ClearBar();
        std::fprintf(stderr, "bigfile extract: %s: %s\n", orvobf::PrintableName(path).c_str(),
                     orvobf::engine::ProblemText(problem));
    }
    void Finish(uint32_t problems) {
        ClearBar();
        std::fprintf(stderr, "%llu files (%s) in %u directories extracted, %u problem%s\n",
                     static_cast<unsigned long long>(files_), orvobf::tool::HumanSize(bytes_).c_str(), dirs_, problems,
                     problems == 1 ? "" : "s");
    }

private:
    void DrawBar() {
        if (!bar_) return;
        const auto now = std::chrono::steady_clock::now();
        if (now - lastDraw_ < std::chrono::milliseconds(100)) return;
        lastDraw_ = now;
        const double seconds = std::chrono::duration<double>(now - start_).count();
        const uint64_t width = 30, filled = total_ ? width * std::min(files_, total_) / total_ : width;
        std::fprintf(stderr, "\r[%s%s] %llu/%llu files  %s/s ", std::string(filled, '#').c_str(),
                     std::string(width - filled, ' ').c_str(), static_cast<unsigned long long>(files_),
                     static_cast<unsigned long long>(total_),
                     orvobf::tool::HumanSize(seconds > 0 ? static_cast<uint64_t>(bytes_ / seconds) : 0).c_str());
        drawn_ = true;
    }
    void ClearBar() {
        if (!drawn_) return;
        std::fprintf(stderr, "\r%*s\r", 79, "");
        drawn_ = false;
    }

    bool verbose_, bar_, drawn_ = false;
    uint64_t total_, files_ = 0, bytes_ = 0;
    uint32_t dirs_ = 0;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now(), lastDraw_{};
};

using Target = orvobf::tool::ArchivePath;

uint64_t FilesIn(const Target& target, BigFile& bf) {
    if (!target.found) return 0;
    if (target.entries.empty()) return orvobf::engine::CountFiles(bf);
    const DirEntry* last = target.entries.back();
    return last->attributes & BF_ATTR_DIR ? orvobf::engine::CountFiles(bf, static_cast<DirNode*>(last->payload)) : 1;
}

// Extracts one located path (a directory's subtree or a single file) with
// its parent directories, from the disk tree's root. False when the disk
// tree was lost on the way back.
bool ExtractTarget(orvobf::engine::Engine& engine, orvobf::engine::DiskTree& disk, CliReporter& reporter, const Target& target,
                   uint32_t& failures) {
    if (!target.safe || !target.found) {
        reporter.Report(target.safe ? orvobf::engine::Problem::NotFound : orvobf::engine::Problem::UnsafeName, target.typed);
        ++failures;
        return true;
    }
    std::string prefix;
    size_t entered = 0;
    const DirEntry* file = nullptr;
    for (const DirEntry* entry : target.entries) {
        if (!(entry->attributes & BF_ATTR_DIR)) {
            file = entry;
            break;
        }
        if (!disk.Enter(entry->name)) {
            reporter.Report(orvobf::engine::Problem::CannotMakeDir, prefix.empty() ? entry->name : prefix + "/" + entry->name);
            ++failures;
            break;
        }
        ++entered;
        prefix = prefix.empty() ? entry->name : prefix + "/" + entry->name;
    }
    engine.SetBasePath(prefix);
    if (file) {
        engine.ExtractFile(file->name, target.parent);
    } else if (entered == target.entries.size()) {
        engine.ExtractTree(entered ? static_cast<DirNode*>(target.entries.back()->payload) : target.parent);
    }
    for (; entered > 0; --entered)
        if (!disk.Leave()) return false;
    return true;
}

int RunExtract(int argc, char** argv) {
    static const option options[] = {{"directory", required_argument, nullptr, 'C'},
                                     {"jobs", required_argument, nullptr, 'j'},
                                     {"verbose", no_argument, nullptr, 'v'},
                                     {"keep-partial", no_argument, nullptr, 'k'},
                                     {"help", no_argument, nullptr, 'h'},
                                     {nullptr, 0, nullptr, 0}};
    std::string target = ".";
    bool verbose = false;
    orvobf::engine::PartialFiles partial = orvobf::engine::PartialFiles::Discard;
    unsigned workers = std::clamp(std::thread::hardware_concurrency(), 1u, static_cast<unsigned>(kMostWorkers));
    for (int c; (c = getopt_long(argc, argv, "C:j:vh", options, nullptr)) != -1;) {
        if (c == 'C') {
            target = optarg;
        } else if (c == 'j') {
            char* end = nullptr;
            const unsigned long n = std::strtoul(optarg, &end, 10);
            if (end == optarg || *end != '\0' || n < 1 || n > kMostWorkers) {
                std::fprintf(stderr, "bigfile extract: -j takes a number from 1 to %lu\n", kMostWorkers);
                return 2;
            }
            workers = static_cast<unsigned>(n);
        } else if (c == 'v') {
            verbose = true;
        } else if (c == 'k') {
            partial = orvobf::engine::PartialFiles::Keep;
        } else if (c == 'h') {
            orvobf::tool::PrintCommandUsage("extract", kSynopsis, stdout);
            std::printf(
                "Writes the tree of ARCHIVE (or only the PATHs named) below DIR (default: the\n"
                "current directory). Every entry that fails is named; the exit code is 1 then.\n"
                "Each file is written under a temporary name and takes its own name only when\n"
                "it is complete, replacing what stood there.\n"
                "  -C, --directory DIR  extract into DIR, creating it if needed\n"
                "  -j, --jobs N         copy N files at a time (default: one per core); the\n"
                "                       report and the exit code are those of -j 1\n"
                "  -v, --verbose        list each file extracted\n"
                "      --keep-partial   keep a file whose copy failed, cut where it stopped\n");
            return 0;
        } else {
            orvobf::tool::PrintCommandUsage("extract", kSynopsis, stderr);
            return 2;
        }
    }
    if (argc - optind < 1) {
        orvobf::tool::PrintCommandUsage("extract", kSynopsis, stderr);
        return 2;
    }
    BigFile bf;
    if (!orvobf::tool::OpenArchive(bf, "extract", argv[optind])) return orvobf::tool::kExitTrouble;
    std::error_code ec;
    std::filesystem::create_directories(target, ec);
    orvobf::engine::DiskTree disk;
    if (!disk.OpenRoot(target)) {
        std::fprintf(stderr, "bigfile extract: %s: cannot enter the directory\n", target.c_str());
        return orvobf::tool::kExitTrouble;
    }
    std::vector<Target> targets;
    if (argc - optind == 1) targets.push_back(Target{"", {}, bf.GetRootDir(), true, true});
    for (int i = optind + 1; i < argc; ++i) targets.push_back(orvobf::tool::Locate(bf, argv[i]));
    uint64_t total = 0;
    for (const Target& t : targets) total += FilesIn(t, bf);

    CliReporter reporter(verbose, total);
    orvobf::engine::Engine engine(bf, reporter, disk, partial, workers);
    uint32_t failures = 0;
    for (const Target& t : targets) {
        if (!ExtractTarget(engine, disk, reporter, t, failures)) {
            std::fprintf(stderr, "bigfile extract: %s: cannot return to the directory\n", target.c_str());
            return orvobf::tool::kExitTrouble;
        }
    }
    failures += engine.problems();
    reporter.Finish(failures);
    return failures ? orvobf::tool::kExitSomeFailed : orvobf::tool::kExitSuccess;
}
}  // namespace

BIGFILE_COMMAND("extract", kSynopsis, "write an archive's tree to disk", RunExtract);

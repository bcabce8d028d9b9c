// bigfile extract [-C DIR] [-j N] [-v] [--keep-partial] ARCHIVE [PATH...]:
// the archive's tree (or the named parts of it) written below DIR, through
// the extraction engine the extractor tool uses, N files at a time. The
// process's working directory is never changed.
#include <getopt.h>

#include <algorithm>
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
#include "progress_line.h"
#include "tool_util.h"

namespace {
constexpr const char* kSynopsis = "[-C DIR] [-j N] [-v] [--keep-partial] ARCHIVE [PATH...]";
// Each worker holds one handle of the archive's 255 while it copies.
constexpr unsigned long kMostWorkers = 64;

class CliReporter : public orvobf::engine::Reporter {
public:
    CliReporter(bool verbose, uint64_t totalFiles, uint64_t totalBytes)
        : verbose_(verbose), files_total_(totalFiles), bytes_total_(totalBytes) {}

    void FileDone(const std::string& path, uint64_t bytes) override {
        ++files_;
        bytes_ += bytes;
        if (verbose_) {
            progress_.Clear();
            std::printf("%s\n", orvobf::PrintableName(path).c_str());
        }
        Draw();
    }
    void ChunkWritten(uint32_t) override { Draw(); }
    void DirectoryDone(const std::string&) override { ++dirs_; }
    void Report(orvobf::engine::Problem problem, const std::string& path) override {
        progress_.Clear();
        std::fprintf(stderr, "bigfile extract: %s: %s\n", orvobf::PrintableName(path).c_str(),
                     orvobf::engine::ProblemText(problem));
    }
    void Finish(uint32_t problems) {
        progress_.Clear();
        std::fprintf(stderr, "%llu files (%s) in %u directories extracted, %u problem%s\n",
                     static_cast<unsigned long long>(files_), orvobf::tool::HumanSize(bytes_).c_str(), dirs_, problems,
                     problems == 1 ? "" : "s");
    }

private:
    void Draw() { progress_.Update(files_, files_total_, bytes_, bytes_total_); }

    bool verbose_;
    uint64_t files_total_, bytes_total_, files_ = 0, bytes_ = 0;
    uint32_t dirs_ = 0;
    orvobf::tool::ProgressLine progress_;
};

using Target = orvobf::tool::ArchivePath;

// The files and bytes a located path holds, for the progress line.
void CountTarget(const Target& target, BigFile& bf, uint64_t& files, uint64_t& bytes) {
    if (!target.found) return;
    const DirEntry* last = target.entries.empty() ? nullptr : target.entries.back();
    if (last && !(last->attributes & BF_ATTR_DIR)) {
        ++files;
        bytes += static_cast<const FileRecord*>(last->payload)->size;
        return;
    }
    files += orvobf::engine::CountFiles(bf, last ? static_cast<DirNode*>(last->payload) : nullptr, &bytes);
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
    uint64_t totalFiles = 0, totalBytes = 0;
    for (const Target& t : targets) CountTarget(t, bf, totalFiles, totalBytes);

    CliReporter reporter(verbose, totalFiles, totalBytes);
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

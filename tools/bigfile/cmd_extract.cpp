// bigfile extract ARCHIVE [-C DIR] [-v] [PATH...]: the archive's tree (or
// the named parts of it) written below DIR, through the extraction engine
// the extractor tool uses.
#include <getopt.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "commands.h"
#include "extract_engine.h"
#include "tool_util.h"

namespace {
constexpr const char* kSynopsis = "[-C DIR] [-v] ARCHIVE [PATH...]";

class CliReporter : public bfx::Reporter {
public:
    CliReporter(bool verbose, uint32_t totalFiles)
        : verbose_(verbose), bar_(isatty(fileno(stderr)) != 0), total_(totalFiles) {}

    void FileDone(const std::string& path, uint64_t bytes) override {
        ++files_;
        bytes_ += bytes;
        if (verbose_) {
            ClearBar();
            std::printf("%s\n", path.c_str());
        }
        DrawBar();
    }
    void ChunkWritten(uint32_t) override { DrawBar(); }
    void DirectoryDone(const std::string&) override { ++dirs_; }
    void Report(bfx::Problem problem, const std::string& path) override {
        ClearBar();
        std::fprintf(stderr, "bigfile extract: %s: %s\n", path.c_str(), bfx::ProblemText(problem));
    }
    void Finish(uint32_t problems) {
        ClearBar();
        std::fprintf(stderr, "%u files (%s) in %u directories extracted, %u problem%s\n", files_,
                     tool::HumanSize(bytes_).c_str(), dirs_, problems, problems == 1 ? "" : "s");
    }

private:
    void DrawBar() {
        if (!bar_) return;
        const auto now = std::chrono::steady_clock::now();
        if (now - lastDraw_ < std::chrono::milliseconds(100)) return;
        lastDraw_ = now;
        const double seconds = std::chrono::duration<double>(now - start_).count();
        const uint32_t width = 30, filled = total_ ? width * files_ / total_ : width;
        std::fprintf(stderr, "\r[%s%s] %u/%u files  %s/s ", std::string(filled, '#').c_str(),
                     std::string(width - filled, ' ').c_str(), files_, total_,
                     tool::HumanSize(seconds > 0 ? static_cast<uint64_t>(bytes_ / seconds) : 0).c_str());
        drawn_ = true;
    }
    void ClearBar() {
        if (!drawn_) return;
        std::fprintf(stderr, "\r%*s\r", 79, "");
        drawn_ = false;
    }

    bool verbose_, bar_, drawn_ = false;
    uint32_t total_, files_ = 0, dirs_ = 0;
    uint64_t bytes_ = 0;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now(), lastDraw_{};
};

std::vector<std::string> Components(const std::string& path) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : path + "/") {
        if (c == '/' || c == '\\') {
            if (!part.empty()) parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    return parts;
}

// Extracts one archive path (a directory's subtree or a single file) with
// its parent directories, from the archive root and the disk root.
bool ExtractPath(BigFile& bf, bfx::Engine& engine, CliReporter& reporter, const std::string& path) {
    const std::vector<std::string> parts = Components(path);
    bf.ChangeDir("/");
    std::string prefix;
    for (size_t i = 0; i < parts.size(); ++i) {
        const bool last = i + 1 == parts.size();
        const char* name = parts[i].c_str();
        if (!bfx::IsSafeName(name)) {
            reporter.Report(bfx::Problem::UnsafeName, path);
            return false;
        }
        if (last && bf.FindFile(name)) {
            engine.SetBasePath(prefix);
            engine.ExtractFile(name);
            return true;
        }
        if (!bf.ChangeDir(name)) {
            reporter.Report(bfx::Problem::NotFound, path);
            return false;
        }
        if (!bfx::MakeDirectory(name) || !bfx::EnterDirectory(name)) {
            reporter.Report(bfx::Problem::CannotMakeDir, prefix.empty() ? parts[i] : prefix + "/" + parts[i]);
            return false;
        }
        prefix = prefix.empty() ? parts[i] : prefix + "/" + parts[i];
    }
    engine.SetBasePath(prefix);
    engine.ExtractTree();
    return true;
}

int RunExtract(int argc, char** argv) {
    static const option options[] = {{"directory", required_argument, nullptr, 'C'},
                                     {"verbose", no_argument, nullptr, 'v'},
                                     {"help", no_argument, nullptr, 'h'},
                                     {nullptr, 0, nullptr, 0}};
    std::string target = ".";
    bool verbose = false;
    for (int c; (c = getopt_long(argc, argv, "C:vh", options, nullptr)) != -1;) {
        if (c == 'C') {
            target = optarg;
        } else if (c == 'v') {
            verbose = true;
        } else if (c == 'h') {
            tool::PrintCommandUsage("extract", kSynopsis, stdout);
            std::printf(
                "Writes the tree of ARCHIVE (or only the PATHs named) below DIR (default: the\n"
                "current directory). Every entry that fails is named; the exit code is 1 then.\n"
                "  -C, --directory DIR  extract into DIR, creating it if needed\n"
                "  -v, --verbose        list each file extracted\n");
            return 0;
        } else {
            tool::PrintCommandUsage("extract", kSynopsis, stderr);
            return 2;
        }
    }
    if (argc - optind < 1) {
        tool::PrintCommandUsage("extract", kSynopsis, stderr);
        return 2;
    }
    const char* archivePath = argv[optind];
    // Opened before changing directory: a relative archive path stays valid.
    BigFile bf;
    if (!tool::OpenArchive(bf, "extract", archivePath)) return 1;
    std::error_code ec;
    std::filesystem::create_directories(target, ec);
    const std::filesystem::path root = std::filesystem::absolute(target, ec);
    if (ec || chdir(root.string().c_str()) != 0) {
        std::fprintf(stderr, "bigfile extract: %s: cannot enter the directory\n", target.c_str());
        return 1;
    }
    CliReporter reporter(verbose, bf.fileCount);
    bfx::Engine engine(bf, reporter);
    uint32_t failures = 0;
    if (argc - optind == 1) {
        engine.ExtractTree();
    } else {
        for (int i = optind + 1; i < argc; ++i) {
            if (!ExtractPath(bf, engine, reporter, argv[i])) ++failures;
            if (chdir(root.string().c_str()) != 0) return 1;
        }
    }
    failures += engine.problems();
    reporter.Finish(failures);
    return failures ? 1 : 0;
}
}  // namespace

BIGFILE_COMMAND("extract", kSynopsis, "write an archive's tree to disk", RunExtract);

// bigfile create ARCHIVE DIR: an archive of a disk folder's tree.
#include <getopt.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <orvobf/archive_writer.h>
#include "commands.h"
#include <orvobf/name_rules.h>
#include "progress_line.h"
#include "tool_util.h"

namespace {

// Shell-style pattern on a path inside the archive: '*' matches any run
// (slashes included), '?' one byte, [abc], [a-z] and [!x] (or [^x]) one
// byte of a set, '\' takes the next byte as it is. Written here because
// not every system this tool builds on has fnmatch.
bool MatchesPattern(std::string_view pattern, std::string_view text) {
    size_t p = 0, t = 0, starP = std::string_view::npos, starT = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starT = t;
            continue;
        }
        bool matched = false;
        size_t next = p + 1;
        if (p < pattern.size()) {
            const char c = pattern[p];
            if (c == '?') {
                matched = true;
            } else if (c == '[') {
                size_t q = p + 1;
                const bool negate = q < pattern.size() && (pattern[q] == '!' || pattern[q] == '^');
                if (negate) ++q;
                bool in = false;
                const size_t first = q;
                while (q < pattern.size() && (pattern[q] != ']' || q == first)) {
                    if (q + 2 < pattern.size() && pattern[q + 1] == '-' && pattern[q + 2] != ']') {
                        in = in || (static_cast<unsigned char>(text[t]) >= static_cast<unsigned char>(pattern[q]) &&
                                    static_cast<unsigned char>(text[t]) <= static_cast<unsigned char>(pattern[q + 2]));
                        q += 3;
                    } else {
                        in = in || pattern[q] == text[t];
                        ++q;
                    }
                }
                if (q < pattern.size()) {  // a closed set; an open '[' is a plain byte
                    matched = in != negate;
                    next = q + 1;
                } else {
                    matched = text[t] == '[';
                }
            } else if (c == '\\' && p + 1 < pattern.size()) {
                matched = pattern[p + 1] == text[t];
                next = p + 2;
            } else {
                matched = c == text[t];
            }
        }
        if (matched) {
            p = next;
            ++t;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            t = ++starT;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}
constexpr const char* kSynopsis =
    "[--pack | --pack-if-smaller] [--level L] [-j N] [--store PAT]... [--no-dereference] [--skip-conflicts] "
    "[--strict-names] [-q] ARCHIVE DIR";

// A message of several lines, each with the command's prefix.
void PrintLines(std::string_view text) {
    for (size_t start = 0; start <= text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        const std::string line(text.substr(start, end - start));
        std::fprintf(stderr, "bigfile create: %s\n", line.c_str());
        start = end + 1;
    }
}

// What the folder's walk did not add, a line each; returns the number of
// entries skipped that the options did not ask to leave out.
unsigned ReportIssues(const std::vector<orvobf::writer::FolderIssue>& issues) {
    using Kind = orvobf::writer::FolderIssue::Kind;
    unsigned skipped = 0;
    for (const auto& issue : issues) {
        switch (issue.kind) {
        case Kind::Skipped:
            ++skipped;
            std::fprintf(stderr, "bigfile create: %s; skipped\n", issue.text.c_str());
            break;
        case Kind::Refused: std::fprintf(stderr, "bigfile create: %s\n", issue.text.c_str()); break;
        case Kind::Note: std::fprintf(stderr, "bigfile create: note: %s; left out\n", issue.text.c_str()); break;
        }
    }
    return skipped;
}

// Names that every system can take but an extraction on Windows refuses:
// a warning each, or with --strict-names a refusal. Returns their number.
unsigned ReportWindowsNames(const orvobf::writer::ArchiveBuilder& builder, bool strict) {
    unsigned count = 0;
    builder.VisitEntries([&](const std::string& path, std::string_view name, bool) {
        const orvobf::NameFault fault = orvobf::CheckWindowsName(name);
        if (fault == orvobf::NameFault::None) return;
        ++count;
        std::fprintf(stderr, "bigfile create: %s%s: %s, cannot be extracted on Windows\n",
                     strict ? "" : "warning: ", orvobf::PrintableName(path).c_str(),
                     orvobf::DescribeNameFault(fault));
    });
    return count;
}

int RunCreate(int argc, char** argv) {
    static const option options[] = {{"help", no_argument, nullptr, 'h'},
                                     {"pack", no_argument, nullptr, 'p'},
                                     {"pack-if-smaller", no_argument, nullptr, 's'},
                                     {"strict-names", no_argument, nullptr, 'n'},
                                     {"level", required_argument, nullptr, 'l'},
                                     {"jobs", required_argument, nullptr, 'j'},
                                     {"store", required_argument, nullptr, 'S'},
                                     {"quiet", no_argument, nullptr, 'q'},
                                     {"no-dereference", no_argument, nullptr, 'P'},
                                     {"skip-conflicts", no_argument, nullptr, 'C'},
                                     {nullptr, 0, nullptr, 0}};
    orvobf::writer::Packing packing = orvobf::writer::Packing::Store;
    PackLevel level = PACKED_LEVEL_CLASSIC;
    unsigned jobs = 0;
    std::vector<std::string> stored;
    bool strict = false, quiet = false;
    orvobf::writer::FolderOptions walk;
    for (int c; (c = getopt_long(argc, argv, "hpsnl:j:S:q", options, nullptr)) != -1;) {
        if (c == 'P') {
            walk.followLinks = false;
            continue;
        }
        if (c == 'C') {
            walk.skipConflicts = true;
            continue;
        }
        if (c == 'p' || c == 's') {
            packing = c == 'p' ? orvobf::writer::Packing::Pack : orvobf::writer::Packing::PackIfSmaller;
            continue;
        }
        if (c == 'n' || c == 'q') {
            (c == 'n' ? strict : quiet) = true;
            continue;
        }
        if (c == 'S') {
            stored.emplace_back(optarg);
            continue;
        }
        if (c == 'l') {
            if (ParsePackLevel(optarg, &level)) continue;
            std::fprintf(stderr, "bigfile create: unknown level '%s' (classic, fast or best)\n",
                         orvobf::PrintableName(optarg).c_str());
            return 2;
        }
        if (c == 'j') {
            char* end = nullptr;
            const unsigned long n = std::strtoul(optarg, &end, 10);
            if (*optarg >= '1' && *optarg <= '9' && *end == '\0' && n <= 256) {
                jobs = static_cast<unsigned>(n);
                continue;
            }
            std::fprintf(stderr, "bigfile create: -j wants a number of threads from 1 to 256\n");
            return 2;
        }
        if (c == 'h') {
            orvobf::tool::PrintCommandUsage("create", kSynopsis, stdout);
            std::printf(
                "Writes ARCHIVE from the directories and files below DIR. Nothing outside\n"
                "DIR is read unless a symbolic link points there: a link stands for what\n"
                "it points to (a file's bytes, a folder's tree).\n"
                "Everything is looked at before anything is written, and every problem\n"
                "named by its path:\n"
                "- names the archive cannot hold (\"1:x\", \"a\\b\", longer than 255 bytes, two\n"
                "  that differ only in case in one folder, both named) and files over\n"
                "  %llu bytes: nothing is written, exit status 1;\n"
                "- files that cannot be read, FIFOs, sockets, devices, links to nothing and\n"
                "  link loops: skipped, the archive written without them, exit status 1;\n"
                "- what --no-dereference and --skip-conflicts leave out: a note each.\n"
                "Names an extraction on Windows refuses (':' after the second character,\n"
                "CON, PRN, AUX, NUL, COM1-9, LPT1-9 with any extension, a trailing dot or\n"
                "space, < > \" | ? * and control characters) are warned about, each one\n"
                "with its path inside the archive.\n"
                "  -p, --pack             pack every file\n"
                "  -s, --pack-if-smaller  pack a file only where its image is smaller\n"
                "  -l, --level LEVEL      how hard to pack: classic (the default, the\n"
                "                         system's own bytes), fast, or best (smallest)\n"
                "  -j, --jobs N           pack on N threads (default: one per core); the\n"
                "                         archive is the same for every N. Images made\n"
                "                         ahead of their turn take at most %llu MiB of\n"
                "                         memory; files whose image could be larger are\n"
                "                         packed ahead into temporary files beside\n"
                "                         ARCHIVE, at most N at a time (each at worst a\n"
                "                         little over its file's size), gone once copied\n"
                "                         in\n"
                "      --store PATTERN    store the files whose path inside the archive\n"
                "                         matches the shell pattern, whatever the packing\n"
                "                         ('*' matches '/' too; may be given again)\n"
                "      --no-dereference   leave every symbolic link out, each with a note\n"
                "      --skip-conflicts   leave out the names the archive cannot hold, each\n"
                "                         with a note (of names that differ only in case,\n"
                "                         all but the first in name order), and write the\n"
                "                         archive\n"
                "  -n, --strict-names     refuse names an extraction on Windows refuses\n"
                "                         (nothing is written, exit status 1)\n"
                "  -q, --quiet            no summary line\n"
                "On a terminal, a progress line is drawn on standard error. ARCHIVE is\n"
                "replaced only by a complete archive; a failure leaves nothing behind.\n",
                static_cast<unsigned long long>(orvobf::writer::kMaxFileSize),
                static_cast<unsigned long long>(orvobf::writer::ArchiveBuilder::kDefaultPackMemory >> 20));
            return 0;
        }
        orvobf::tool::PrintCommandUsage("create", kSynopsis, stderr);
        return 2;
    }
    if (argc - optind != 2) {
        orvobf::tool::PrintCommandUsage("create", kSynopsis, stderr);
        return 2;
    }
    const std::string archive = argv[optind], folder = argv[optind + 1];
    orvobf::writer::ArchiveBuilder builder;
    builder.SetDefaultPacking(packing);
    builder.SetPackLevel(level);
    builder.SetPackThreads(jobs ? jobs : std::max(1u, std::thread::hardware_concurrency()));
    if (!stored.empty())
        builder.SetStoreFilter([&stored](const std::string& path) {
            for (const std::string& pattern : stored)
                if (MatchesPattern(pattern, path)) return true;
            return false;
        });
    orvobf::tool::ProgressLine progress;
    builder.SetProgress([&progress](const orvobf::writer::ArchiveBuilder::Progress& p) {
        progress.Update(p.filesDone, p.filesTotal, p.bytesDone, p.bytesTotal);
    });
    std::vector<orvobf::writer::FolderIssue> issues;
    const bool usable = builder.AddFolder("", folder, walk, &issues);
    const unsigned skipped = ReportIssues(issues);
    if (const unsigned windows = ReportWindowsNames(builder, strict); strict && windows) {
        std::fprintf(stderr, "bigfile create: %u name%s cannot be extracted on Windows; nothing written\n",
                     windows, windows == 1 ? "" : "s");
        return 1;
    }
    if (!usable) {
        std::fprintf(stderr, "bigfile create: nothing written\n");
        // A DIR that cannot be listed is trouble; names it holds that
        // cannot go in are failed entries.
        std::error_code ec;
        std::filesystem::directory_iterator listed(folder, ec);
        return ec ? 2 : 1;
    }
    std::string error;
    if (!builder.Fits(&error)) {  // the tree's own fault, not trouble
        PrintLines(error);
        return 1;
    }
    const bool written = builder.Write(archive, &error);
    progress.Clear();
    if (!written) {
        PrintLines(error);
        return 2;
    }
    if (!quiet)
        std::printf("%s: %u files in %u directories\n", archive.c_str(), builder.FileCount(),
                builder.DirCount());
    if (skipped) {
        std::fprintf(stderr, "bigfile create: %u entr%s skipped\n", skipped, skipped == 1 ? "y" : "ies");
        return 1;
    }
    return 0;
}
}  // namespace

BIGFILE_COMMAND("create", kSynopsis, "write an archive from a folder", RunCreate);

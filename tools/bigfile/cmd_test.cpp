// bigfile test ARCHIVE: reads every entry to its end through the handle
// table, as the extractor would, and names each one that does not read
// back as its record says.
#include <getopt.h>

#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include <orvobf/archive_format.h>
#include <orvobf/name_rules.h>
#include "tool_util.h"

namespace {
constexpr const char* kSynopsis = "[-v] ARCHIVE";
constexpr uint32_t kChunk = 1u << 20;  // the extractor's read size

struct Totals {
    uint64_t files = 0;
    uint64_t dirs = 0;
    uint64_t bytes = 0;
    uint64_t problems = 0;
};

class Tester {
public:
    Tester(BigFile& bf, bool verbose) : bf_(bf), verbose_(verbose), buffer_(kChunk) {}

    // Walks the whole tree with the library's walker (no depth limit),
    // each directory's entries in name order, a directory's contents right
    // after it. False when the walk could not finish.
    bool Run() {
        BigFileWalker walker(bf_);
        WalkEntry e{};
        while (walker.Next(&e)) {
            if (e.kind == BF_KIND_DIR) {
                ++totals_.dirs;
            } else if (e.kind == BF_KIND_FILE) {
                ++totals_.files;
                // Opened by its bare name in its own directory, so no
                // length of the path stands in the way.
                bf_.SetCurrentDir(e.parent);
                TestFile(e.name, e.path, *e.record);
            } else {
                Problem(e.path, "neither a file nor a directory (attributes " +
                                    std::to_string(e.entry->attributes) + ")");
            }
        }
        bf_.ChangeDir("/");
        return !walker.Failed();
    }

    const Totals& totals() const { return totals_; }

private:
    void Problem(const char* path, const std::string& what) {
        ++totals_.problems;
        std::fprintf(stderr, "bigfile test: %s: %s\n", orvobf::PrintableName(path).c_str(), what.c_str());
    }

    // The library's text for the code the last call left; each call is made
    // with a cleared error state, so a code of 0 means it set none.
    std::string Why() { return bf_.GetErrorCode() != 0 ? orvobf::tool::ErrorText(bf_) : "no error code"; }

    std::string PastEnd(const FileRecord& record) const {
        const uint64_t end = uint64_t{bf_.GetDataBase()} + record.offset + record.size;
        if (record.packed != 0 || end <= bf_.GetArchiveLength()) return "";
        return "; the entry runs past the end of the archive (ends at " + std::to_string(end) +
               ", the archive has " + std::to_string(bf_.GetArchiveLength()) + " bytes)";
    }

    // Opened by its bare name in its own directory (the current one).
    void TestFile(const char* name, const char* path, const FileRecord& record) {
        // A separator or a drive prefix would send the lookup elsewhere.
        if (!orvobf::format::IsBareName(name)) {
            Problem(path, "the name cannot be looked up through the handle table");
            return;
        }
        FileHandle handle = 0;
        bf_.SetError(0, 0);
        if (!bf_.FileOpen(name, &handle, BF_MODE_BINARY)) {
            const bool packed = bf_.GetErrorCode() == BFE_PACKED_STREAM;
            Problem(path, std::string(packed ? "packed entry cannot be opened: " : "cannot be opened: ") +
                              Why());
            return;
        }
        uint64_t total = 0;
        std::string failure;
        while (failure.empty() && !bf_.FileEof(handle)) {
            uint32_t got = 0;
            bf_.SetError(0, 0);
            const int ok = bf_.FileRead(handle, buffer_.data(), kChunk, &got);
            total += got;
            if (!ok) failure = "read failed after " + std::to_string(total) + " of " +
                               std::to_string(record.size) + " bytes: " + Why() + PastEnd(record);
            else if (got == 0 && !bf_.FileEof(handle)) failure = "a read delivers nothing before the end";
            else if (total > record.size) failure = "delivers more than the record's " +
                                                    std::to_string(record.size) + " bytes";
        }
        bf_.FileClose(handle);
        totals_.bytes += total;
        if (failure.empty() && total != record.size)
            failure = "delivers " + std::to_string(total) + " bytes, the record says " +
                      std::to_string(record.size);
        if (!failure.empty()) Problem(path, failure);
        else if (verbose_)
            std::printf("ok  %s (%s)\n", orvobf::PrintableName(path).c_str(), orvobf::tool::HumanSize(total).c_str());
    }

    BigFile& bf_;
    bool verbose_;
    std::vector<unsigned char> buffer_;
    Totals totals_;
};

int RunTest(int argc, char** argv) {
    static const option options[] = {{"help", no_argument, nullptr, 'h'},
                                      {"verbose", no_argument, nullptr, 'v'},
                                      {nullptr, 0, nullptr, 0}};
    bool verbose = false;
    for (int c; (c = getopt_long(argc, argv, "hv", options, nullptr)) != -1;) {
        if (c == 'v') {
            verbose = true;
            continue;
        }
        if (c == 'h') {
            orvobf::tool::PrintCommandUsage("test", kSynopsis, stdout);
            std::printf(
                "Reads every file of ARCHIVE to its end through the handle table and names\n"
                "each one that cannot be opened or read, or whose length differs from its\n"
                "record. Exits with 1 when there is any problem.\n"
                "  -v, --verbose  also name every file that reads back sound\n");
            return 0;
        }
        orvobf::tool::PrintCommandUsage("test", kSynopsis, stderr);
        return 2;
    }
    if (argc - optind != 1) {
        orvobf::tool::PrintCommandUsage("test", kSynopsis, stderr);
        return 2;
    }
    BigFile bf;
    if (!orvobf::tool::OpenArchive(bf, "test", argv[optind])) return 1;
    Tester tester(bf, verbose);
    if (!tester.Run()) {
        std::fprintf(stderr, "bigfile test: %s: the walk stopped early: %s\n",
                     orvobf::PrintableName(argv[optind]).c_str(), orvobf::tool::ErrorText(bf).c_str());
        return 1;
    }
    const Totals& t = tester.totals();
    std::printf("%s: tested %llu files (%s) in %llu directories: ",
                orvobf::PrintableName(argv[optind]).c_str(), static_cast<unsigned long long>(t.files), orvobf::tool::HumanSize(t.bytes).c_str(),
                static_cast<unsigned long long>(t.dirs));
    if (t.problems == 0) std::printf("no problems\n");
    else std::printf("%llu problem%s\n", static_cast<unsigned long long>(t.problems), t.problems == 1 ? "" : "s");
    return t.problems == 0 ? 0 : 1;
}
}  // namespace

BIGFILE_COMMAND("test", kSynopsis, "read every entry and report the ones that fail", RunTest);

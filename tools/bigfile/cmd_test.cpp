// bigfile test [-v] [--json] ARCHIVE: reads every entry to its end through
// the handle table, as the extractor would, and names each one that does
// not read back as its record says.
#include <getopt.h>

#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "json_output.h"
#include <orvobf/archive_format.h>
#include <orvobf/name_rules.h>
#include "tool_util.h"

namespace {
constexpr const char* kSynopsis = "[-v] [--json] ARCHIVE";
constexpr uint32_t kChunk = 1u << 20;  // the extractor's read size

struct Totals {
    uint64_t files = 0;
    uint64_t dirs = 0;
    uint64_t bytes = 0;
    uint64_t problems = 0;
};

class Tester {
public:
    // With `json`, every result goes there as an entry and nothing is
    // printed; else problems go to standard error, sound files (verbose)
    // to standard output.
    Tester(BigFile& bf, bool verbose, orvobf::tool::JsonEntryStream* json)
        : bf_(bf), verbose_(verbose), json_(json), buffer_(kChunk) {}

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
                TestFile(e);
            } else {
                code_ = 0;
                Result(e, 0, "neither a file nor a directory (attributes " + std::to_string(e.entry->attributes) +
                                 ")");
            }
        }
        bf_.ChangeDir("/");
        return !walker.Failed();
    }

    const Totals& totals() const { return totals_; }

private:
    // One tested entry: `problem` empty when it read back sound; code_ the
    // library's error code behind the problem, 0 for none.
    void Result(const WalkEntry& e, uint64_t bytesRead, const std::string& problem) {
        if (!problem.empty()) ++totals_.problems;
        if (json_) {
            using orvobf::tool::Json;
            Json entry = Json::object();
            orvobf::tool::PutText(entry, "path", e.path);
            entry["kind"] = e.kind == BF_KIND_FILE ? "file" : "other";
            entry["size"] = e.record->size;
            entry["bytes_read"] = bytesRead;
            entry["ok"] = problem.empty();
            entry["problem"] = problem.empty() ? Json(nullptr) : Json(problem);
            entry["error_code"] = code_ ? Json(code_) : Json(nullptr);
            entry["error_text"] = code_ ? Json(codeText_) : Json(nullptr);
            json_->Add(entry);
        } else if (!problem.empty()) {
            std::fprintf(stderr, "bigfile test: %s: %s\n", orvobf::PrintableName(e.path).c_str(), problem.c_str());
        } else if (verbose_) {
            std::printf("ok  %s (%s)\n", orvobf::PrintableName(e.path).c_str(),
                        orvobf::tool::HumanSize(bytesRead).c_str());
        }
    }

    // The library's text for the code the last call left; each call is made
    // with a cleared error state, so a code of 0 means it set none.
    std::string Why() {
        code_ = bf_.GetErrorCode();
        codeText_ = code_ != 0 ? orvobf::tool::ErrorText(bf_) : "";
        return code_ != 0 ? codeText_ : "no error code";
    }

    std::string PastEnd(const FileRecord& record) const {
        const uint64_t end = uint64_t{bf_.GetDataBase()} + record.offset + record.size;
        if (record.packed != 0 || end <= bf_.GetArchiveLength()) return "";
        return "; the entry runs past the end of the archive (ends at " + std::to_string(end) +
               ", the archive has " + std::to_string(bf_.GetArchiveLength()) + " bytes)";
    }

    // Opened by its bare name in its own directory (the current one).
    void TestFile(const WalkEntry& e) {
        const FileRecord& record = *e.record;
        code_ = 0;
        // A separator or a drive prefix would send the lookup elsewhere.
        if (!orvobf::format::IsBareName(e.name)) {
            Result(e, 0, "the name cannot be looked up through the handle table");
            return;
        }
        FileHandle handle = 0;
        bf_.SetError(0, 0);
        if (!bf_.FileOpen(e.name, &handle, BF_MODE_BINARY)) {
            const bool packed = bf_.GetErrorCode() == BFE_PACKED_STREAM;
            Result(e, 0, std::string(packed ? "packed entry cannot be opened: " : "cannot be opened: ") + Why());
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
        Result(e, total, failure);
    }

    BigFile& bf_;
    bool verbose_;
    orvobf::tool::JsonEntryStream* json_;
    int32_t code_ = 0;
    std::string codeText_;
    std::vector<unsigned char> buffer_;
    Totals totals_;
};

int RunTest(int argc, char** argv) {
    static const option options[] = {{"help", no_argument, nullptr, 'h'},
                                      {"verbose", no_argument, nullptr, 'v'},
                                      {"json", no_argument, nullptr, 'J'},
                                      {nullptr, 0, nullptr, 0}};
    bool verbose = false, json = false;
    for (int c; (c = getopt_long(argc, argv, "hv", options, nullptr)) != -1;) {
        if (c == 'v' || c == 'J') {
            (c == 'v' ? verbose : json) = true;
            continue;
        }
        if (c == 'h') {
            orvobf::tool::PrintCommandUsage("test", kSynopsis, stdout);
            std::printf(
                "Reads every file of ARCHIVE to its end through the handle table and names\n"
                "each one that cannot be opened or read, or whose length differs from its\n"
                "record. Exits with 1 when there is any problem.\n"
                "  -v, --verbose  also name every file that reads back sound\n"
                "      --json     one JSON document instead: each entry's result with the\n"
                "                 library's error code and text, and the totals\n");
            return orvobf::tool::kExitSuccess;
        }
        orvobf::tool::PrintCommandUsage("test", kSynopsis, stderr);
        return orvobf::tool::kExitTrouble;
    }
    if (argc - optind != 1) {
        orvobf::tool::PrintCommandUsage("test", kSynopsis, stderr);
        return orvobf::tool::kExitTrouble;
    }
    const char* path = argv[optind];
    BigFile bf;
    if (!orvobf::tool::OpenArchive(bf, "test", path)) return orvobf::tool::kExitTrouble;
    if (json) {
        orvobf::tool::Json head = orvobf::tool::Json::object();
        orvobf::tool::PutText(head, "archive", path);
        orvobf::tool::JsonEntryStream stream(head);
        Tester tester(bf, false, &stream);
        const bool complete = tester.Run();
        const Totals& t = tester.totals();
        orvobf::tool::Json tail = {
            {"files", t.files}, {"directories", t.dirs}, {"bytes", t.bytes}, {"problems", t.problems}};
        if (!complete) tail["error"] = orvobf::tool::ErrorText(bf);
        if (!stream.Finish(tail)) {
            std::fprintf(stderr, "bigfile test: write error\n");
            return orvobf::tool::kExitTrouble;
        }
        if (!complete) return orvobf::tool::kExitTrouble;
        return t.problems == 0 ? orvobf::tool::kExitSuccess : orvobf::tool::kExitSomeFailed;
    }
    Tester tester(bf, verbose, nullptr);
    if (!tester.Run()) {
        std::fprintf(stderr, "bigfile test: %s: the walk stopped early: %s\n", orvobf::PrintableName(path).c_str(),
                     orvobf::tool::ErrorText(bf).c_str());
        return orvobf::tool::kExitTrouble;
    }
    const Totals& t = tester.totals();
    std::printf("%s: tested %llu files (%s) in %llu directories: ", orvobf::PrintableName(path).c_str(),
                static_cast<unsigned long long>(t.files), orvobf::tool::HumanSize(t.bytes).c_str(),
                static_cast<unsigned long long>(t.dirs));
    if (t.problems == 0) std::printf("no problems\n");
    else std::printf("%llu problem%s\n", static_cast<unsigned long long>(t.problems), t.problems == 1 ? "" : "s");
    return t.problems == 0 ? orvobf::tool::kExitSuccess : orvobf::tool::kExitSomeFailed;
}
}  // namespace

BIGFILE_COMMAND("test", kSynopsis, "read every entry and report the ones that fail", RunTest);

// bigfile diff ARCHIVE DIR [PATH...]: the archive's tree (or the named
// parts of it) against a folder on disk, one line per difference: what a
// modder changed since the archive was made, or what an extraction left.
#include <getopt.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <unordered_set>
#include <vector>

#include "archive_path.h"
#include "commands.h"
#include "extract_engine.h"
#include <orvobf/archive_format.h>
#include <orvobf/name_rules.h>
#include "tool_util.h"

namespace {
namespace fs = std::filesystem;
namespace tool = orvobf::tool;
constexpr const char* kSynopsis = "ARCHIVE DIR [PATH...]";
constexpr size_t kChunk = 1u << 20;

// One archive entry to compare: a walk's entry or a located path.
struct Item {
    std::string path;  // from the archive's root (the disk folder's root)
    const char* name;
    uint32_t kind;                  // BF_KIND_*
    const FileRecord* record;       // files and entries of neither kind
    DirNode* parent;                // the directory holding it
    DirNode* folder;                // a directory's own contents
};

const char* KindWord(uint32_t kind) {
    return kind == BF_KIND_DIR ? "a directory" : kind == BF_KIND_FILE ? "a file" : "neither a file nor a directory";
}

class Differ {
public:
    Differ(BigFile& bf, const char* archive, fs::path root)
        : bf_(bf), archive_(archive), root_(std::move(root)), archiveBytes_(kChunk), diskBytes_(kChunk) {}

    // The whole tree, or one PATH from the command line.
    void CompareRoot() { CompareTree(bf_.GetRootDir(), ""); }
    void ComparePath(const std::string& typed) {
        const tool::ArchivePath target = tool::Locate(bf_, typed);
        if (!target.safe) return Trouble(typed, "not a name a file on disk can have");
        if (!target.found) {
            std::error_code ec;
            if (fs::exists(fs::symlink_status(root_ / typed, ec))) return Difference(typed, "missing in the archive");
            return Trouble(typed, "in neither the archive nor the folder");
        }
        if (target.entries.empty()) return CompareRoot();
        const DirEntry* last = target.entries.back();
        DirNode* folder = target.Folder();
        const Item item{target.Spelled(), last->name, folder ? BF_KIND_DIR : BF_KIND_FILE,
                        folder ? nullptr : static_cast<const FileRecord*>(last->payload), target.parent, folder};
        if (CompareEntry(item) && folder) CompareTree(folder, item.path);
    }

    uint64_t differences() const { return differences_; }
    uint64_t troubles() const { return troubles_; }

private:
    void Difference(const std::string& path, const std::string& what) {
        ++differences_;
        std::printf("%s: %s\n", orvobf::PrintableName(path).c_str(), what.c_str());
    }
    void Trouble(const std::string& path, const std::string& what) {
        ++troubles_;
        std::fflush(stdout);  // in order with the differences on a shared terminal
        std::fprintf(stderr, "bigfile diff: %s: %s\n", orvobf::PrintableName(path).c_str(), what.c_str());
    }

    // The names of `folder` against the disk folder at `prefix`, then every
    // entry below it with the library's walker.
    void CompareTree(DirNode* folder, const std::string& prefix) {
        CompareNames(folder, prefix);
        BigFileWalker walker(bf_, folder);
        WalkEntry e{};
        while (walker.Next(&e)) {
            const Item item{prefix.empty() ? e.path : prefix + "/" + e.path, e.name, e.kind, e.record, e.parent,
                            e.kind == BF_KIND_DIR ? static_cast<DirNode*>(e.entry->payload) : nullptr};
            if (!CompareEntry(item)) {
                if (e.kind == BF_KIND_DIR) walker.SkipChildren();
            } else if (item.folder) {
                CompareNames(item.folder, item.path);
            }
        }
        if (walker.Failed()) Trouble(archive_, "the walk stopped early: " + tool::ErrorText(bf_));
    }

    // What the disk folder at `prefix` holds and `folder` does not.
    void CompareNames(const DirNode* folder, const std::string& prefix) {
        std::unordered_set<std::string_view> inArchive;
        for (uint32_t i = 0; i < folder->count; ++i) inArchive.insert(folder->entries[i].name);
        std::vector<std::string> extra;
        std::error_code ec;
        for (fs::directory_iterator it(root_ / prefix, ec), end; !ec && it != end; it.increment(ec)) {
            std::string name = it->path().filename().string();
            if (!inArchive.count(name)) extra.push_back(std::move(name));
        }
        if (ec) return Trouble((root_ / prefix).string(), "cannot be read (" + ec.message() + ")");
        std::sort(extra.begin(), extra.end(), [](const std::string& a, const std::string& b) {
            const int order = orvobf::format::CompareNames(a, b);  // the archive's order, then bytes
            return order != 0 ? order < 0 : a < b;
        });
        for (const std::string& name : extra)
            Difference(prefix.empty() ? name : prefix + "/" + name, "missing in the archive");
    }

    // False when there is nothing below the entry to compare.
    bool CompareEntry(const Item& item) {
        if (!orvobf::engine::IsSafeName(item.name)) {
            Trouble(item.path, "not a name a file on disk can have");
            return false;
        }
        const fs::path disk = root_ / item.path;
        std::error_code ec;
        const fs::file_status status = fs::status(disk, ec);  // through links: a link stands for what it points to
        if (status.type() == fs::file_type::not_found) {
            Difference(item.path, "missing on disk");
            return false;
        }
        if (ec) {
            Trouble(disk.string(), "cannot be examined (" + ec.message() + ")");
            return false;
        }
        const uint32_t diskKind = fs::is_directory(status)      ? BF_KIND_DIR
                                  : fs::is_regular_file(status) ? BF_KIND_FILE
                                                                : BF_KIND_NEITHER;
        if (diskKind != item.kind || item.kind == BF_KIND_NEITHER) {
            Difference(item.path, std::string("kind differs (") + KindWord(item.kind) + " in the archive, " +
                                      (diskKind == BF_KIND_NEITHER ? "a special file" : KindWord(diskKind)) +
                                      " on disk)");
            return false;
        }
        if (item.kind == BF_KIND_DIR) return true;
        const uint64_t diskSize = fs::file_size(disk, ec);
        if (ec) {
            Trouble(disk.string(), "cannot be examined (" + ec.message() + ")");
        } else if (diskSize != item.record->size) {
            Difference(item.path, "size differs (" + std::to_string(item.record->size) + " bytes in the archive, " +
                                      std::to_string(diskSize) + " on disk)");
        } else {
            CompareContents(item, disk);
        }
        return false;
    }

    // Same size: the bytes, read through the handle table against the file.
    void CompareContents(const Item& item, const fs::path& disk) {
        std::FILE* file = std::fopen(disk.string().c_str(), "rb");
        if (!file) {
            return Trouble(disk.string(),
                           tool::WithReason("cannot be read", tool::SystemReason(disk.string().c_str())));
        }
        FileHandle handle = 0;
        bf_.SetError(0, 0);
        if (!bf_.FileOpenIn(item.name, &handle, BF_MODE_BINARY, item.parent)) {
            std::fclose(file);
            return Trouble(item.path, "cannot be opened in the archive: " + tool::ErrorText(bf_));
        }
        bool same = true, readable = true;
        while (same && !bf_.FileEof(handle)) {
            uint32_t got = 0;
            bf_.SetError(0, 0);
            if (!bf_.FileRead(handle, archiveBytes_.data(), kChunk, &got)) {
                readable = false;
                Trouble(item.path, "cannot be read from the archive: " + tool::ErrorText(bf_));
                break;
            }
            if (got == 0) break;  // the sizes agree; nothing more will come
            same = std::fread(diskBytes_.data(), 1, got, file) == got &&
                   std::equal(archiveBytes_.begin(), archiveBytes_.begin() + got, diskBytes_.begin());
        }
        bf_.FileClose(handle);
        if (readable && std::ferror(file))
            Trouble(disk.string(), tool::WithReason("cannot be read", tool::SystemReason(disk.string().c_str())));
        else if (readable && !same)
            Difference(item.path, "contents differ");
        std::fclose(file);
    }

    BigFile& bf_;
    std::string archive_;
    fs::path root_;
    std::vector<unsigned char> archiveBytes_, diskBytes_;
    uint64_t differences_ = 0, troubles_ = 0;
};

int RunDiff(int argc, char** argv) {
    const int used = tool::ParseHelpOnly(
        argc, argv, "diff", kSynopsis,
        "Compares the tree of ARCHIVE (or only the PATHs named) with the folder DIR and\n"
        "prints one line per difference: 'PATH: missing on disk', 'PATH: missing in\n"
        "the archive', 'PATH: size differs (...)', 'PATH: contents differ' or 'PATH:\n"
        "kind differs (...)'. Names are compared byte for byte, links on disk are\n"
        "followed; below a folder that only one side has, nothing more is named.\n"
        "Exit status: 0 when they are the same, 1 when they differ, 2 on trouble\n"
        "(a file that cannot be read, on either side, is named on standard error).",
        2, INT_MAX);
    if (used >= 0) return used;
    const char* archive = argv[optind];
    const char* folder = argv[optind + 1];
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        const std::string reason = tool::SystemReason(folder);
        std::fprintf(stderr, "bigfile diff: %s: %s\n", orvobf::PrintableName(folder).c_str(),
                     reason.empty() ? "not a directory" : reason.c_str());
        return tool::kExitTrouble;
    }
    BigFile bf;
    if (!tool::OpenArchive(bf, "diff", archive)) return tool::kExitTrouble;
    Differ differ(bf, archive, folder);
    if (argc - optind == 2) differ.CompareRoot();
    for (int i = optind + 2; i < argc; ++i) differ.ComparePath(argv[i]);
    if (std::fflush(stdout) != 0 || differ.troubles()) return tool::kExitTrouble;
    return differ.differences() ? tool::kExitSomeFailed : tool::kExitSuccess;
}
}  // namespace

BIGFILE_COMMAND("diff", kSynopsis, "compare an archive's tree with a folder", RunDiff);

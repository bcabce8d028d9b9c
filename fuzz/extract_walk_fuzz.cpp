// Any bytes as an archive, extracted by the engine into a scratch folder:
// nothing appears outside the folder, and every file the walk leaves is one
// it called done, with exactly the bytes a plain read of the entry through
// the handle interface gives. Every file entry is either done or reported
// (itself or a folder above it).
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "extract_engine.h"
#include "fuzz_support.h"
#include "temp_dir.h"

namespace {

// Made once per process; removed with everything in it at exit.
struct Scratch {
    TempDir dir;
    std::string archive = dir.File("archive.bf");  // beside the folder, not in it
    std::string folder = dir.File("walk");         // holds nothing but `out`
    std::string out = folder + "/out";
    Scratch() { Require(mkdir(folder.c_str(), 0700) == 0 && mkdir(out.c_str(), 0700) == 0, "scratch folders"); }
};

const Scratch& Paths() {
    static const Scratch paths;
    return paths;
}

struct Recorder : orvobf::engine::Reporter {
    std::set<std::string> done, reported;
    void FileDone(const std::string& path, uint64_t) override { done.insert(path); }
    void Report(orvobf::engine::Problem, const std::string& path) override { reported.insert(path); }
};

// A plain read of every file entry of the tree whose names are all safe,
// by path: its bytes, or nothing when the entry cannot be read in full.
std::map<std::string, std::pair<bool, std::string>> ReadEntries(BigFile& bf) {
    std::map<std::string, std::pair<bool, std::string>> entries;
    std::vector<std::pair<DirNode*, std::string>> pending{{&bf.root, ""}};
    while (!pending.empty()) {
        auto [node, prefix] = pending.back();
        pending.pop_back();
        for (uint32_t i = 0; i < node->count; ++i) {
            const DirEntry& entry = node->entries[i];
            if (!orvobf::engine::IsSafeName(entry.name)) continue;
            const std::string path = prefix.empty() ? entry.name : prefix + "/" + entry.name;
            if (entry.attributes & BF_ATTR_DIR) {
                if (entry.payload) pending.push_back({static_cast<DirNode*>(entry.payload), path});
                continue;
            }
            bf.SetCurrentDir(node);
            std::string bytes;
            const bool whole = ReadWhole(bf, entry.name, bytes);
            entries[path] = {whole, std::move(bytes)};
        }
    }
    bf.SetCurrentDir(&bf.root);
    return entries;
}

std::string Contents(int folder, const char* name) {
    const int fd = openat(folder, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    Require(fd >= 0);
    std::string bytes;
    char chunk[65536];
    for (ssize_t n; (n = read(fd, chunk, sizeof chunk)) != 0;) {
        Require(n > 0);
        bytes.append(chunk, static_cast<size_t>(n));
    }
    close(fd);
    return bytes;
}

// Takes every regular file below the folder `root` (its descriptor, which
// this closes) into `files` by path, and removes everything below it.
// Anything but folders and regular files is a fault: the walk makes no
// other kind. Descriptors, not paths, so that depth is no limit.
void Harvest(int root, std::map<std::string, std::string>& files) {
    struct Level {
        DIR* dir;
        std::string path, name;
    };
    std::vector<Level> levels;
    levels.push_back({fdopendir(root), "", ""});
    Require(levels.back().dir != nullptr);
    while (!levels.empty()) {
        DIR* dir = levels.back().dir;
        const dirent* e = readdir(dir);
        if (!e) {
            const std::string name = levels.back().name;
            closedir(dir);
            levels.pop_back();
            if (!levels.empty()) Require(unlinkat(dirfd(levels.back().dir), name.c_str(), AT_REMOVEDIR) == 0);
            continue;
        }
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        const std::string path = levels.back().path.empty() ? name : levels.back().path + "/" + name;
        struct stat st;
        Require(fstatat(dirfd(dir), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0);
        if (S_ISREG(st.st_mode)) {
            files[path] = Contents(dirfd(dir), name.c_str());
            Require(unlinkat(dirfd(dir), name.c_str(), 0) == 0);
        } else {
            Require(S_ISDIR(st.st_mode));
            const int sub = openat(dirfd(dir), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            Require(sub >= 0);
            levels.push_back({fdopendir(sub), path, name});
            Require(levels.back().dir != nullptr);
        }
    }
}

// True when `path` or a folder above it was reported.
bool Reported(const std::set<std::string>& reported, std::string path) {
    for (;;) {
        if (reported.count(path)) return true;
        const size_t slash = path.rfind('/');
        if (slash == std::string::npos) return false;
        path.resize(slash);
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    AnswerBoxes();
    const Scratch& paths = Paths();
    WriteFile(paths.archive, data, size);

    BigFile reference, bf;
    reference.Init(BIGFILE_HEADER_VERSION);
    bf.Init(BIGFILE_HEADER_VERSION);
    if (!reference.Open(paths.archive.c_str(), 0) || !bf.Open(paths.archive.c_str(), 0)) return 0;
    const auto entries = ReadEntries(reference);

    Recorder recorder;
    {
        orvobf::engine::DiskTree disk;
        Require(disk.OpenRoot(paths.out));
        orvobf::engine::Engine engine(bf, recorder, disk);
        engine.ExtractTree();
        Require(engine.problems() >= recorder.reported.size());
    }
    bf.Close();

    std::map<std::string, std::string> files;
    Harvest(open(paths.out.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC), files);
    for (const auto& [path, bytes] : files) {
        Require(recorder.done.count(path) == 1);
        const auto entry = entries.find(path);
        Require(entry != entries.end() && entry->second.first && entry->second.second == bytes);
    }
    for (const std::string& path : recorder.done) Require(files.count(path) == 1);
    for (const auto& [path, read] : entries) Require(recorder.done.count(path) == 1 || Reported(recorder.reported, path));

    // Nothing beside the extraction folder.
    DIR* folder = opendir(paths.folder.c_str());
    Require(folder != nullptr);
    for (const dirent* e; (e = readdir(folder)) != nullptr;) {
        const std::string name = e->d_name;
        Require(name == "." || name == ".." || name == "out");
    }
    closedir(folder);
    return 0;
}

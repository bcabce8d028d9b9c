// Any bytes as an archive, extracted by the engine into a scratch folder:
// nothing appears outside the folder, and every file the walk leaves is one
// it called done, with exactly the bytes a plain read of the entry through
// the handle interface gives. Every file entry is either done or reported
// (itself or a folder above it).
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <orvobf/ORVOBF.H>
#include "extract_engine.h"
#include <orvobf/platform.h>

namespace {
int IgnoreBox(void*, const char*, const char*, unsigned, void*) { return 1; }

void Require(bool condition) {
    if (!condition) std::abort();
}

struct Scratch {
    std::string archive;  // beside the folder, not in it
    std::string folder;   // holds nothing but `out`
    std::string out;
};

// Made once and never destroyed, so the exit handler can still use it.
const Scratch& Paths() {
    static const Scratch* const paths = [] {
        const std::string base = "/tmp/orvobf-walk-" + std::to_string(getpid());
        auto* s = new Scratch{base + ".bf", base, base + "/out"};
        Require(mkdir(s->folder.c_str(), 0700) == 0 || errno == EEXIST);
        Require(mkdir(s->out.c_str(), 0700) == 0 || errno == EEXIST);
        return s;
    }();
    static const bool cleanup = std::atexit([] {
        rmdir(Paths().out.c_str());
        rmdir(Paths().folder.c_str());
        unlink(Paths().archive.c_str());
    }) == 0;
    (void)cleanup;
    return *paths;
}

struct Recorder : orvobf::engine::Reporter {
    std::set<std::string> done, reported;
    void FileDone(const std::string& path, uint64_t) override { done.insert(path); }
    void Report(orvobf::engine::Problem, const std::string& path) override { reported.insert(path); }
};

bool IsSafePath(const std::vector<const char*>& names) {
    for (const char* name : names)
        if (!orvobf::engine::IsSafeName(name)) return false;
    return true;
}

// A plain read of every file entry of the tree whose names are all safe,
// by path: its bytes, or nothing when the entry cannot be read in full.
std::map<std::string, std::pair<bool, std::string>> ReadEntries(BigFile& bf) {
    std::map<std::string, std::pair<bool, std::string>> entries;
    std::vector<std::pair<DirNode*, std::string>> pending{{&bf.root, ""}};
    std::vector<unsigned char> buffer(65536);
    while (!pending.empty()) {
        auto [node, prefix] = pending.back();
        pending.pop_back();
        for (uint32_t i = 0; i < node->count; ++i) {
            const DirEntry& entry = node->entries[i];
            if (!IsSafePath({entry.name})) continue;
            const std::string path = prefix.empty() ? entry.name : prefix + "/" + entry.name;
            if (entry.attributes & BF_ATTR_DIR) {
                if (entry.payload) pending.push_back({static_cast<DirNode*>(entry.payload), path});
                continue;
            }
            bf.SetCurrentDir(node);
            FileHandle handle = 0;
            std::pair<bool, std::string> read{false, {}};
            if (bf.FileOpen(entry.name, &handle, BF_MODE_BINARY)) {
                read.first = true;
                while (read.first && !bf.FileEof(handle)) {
                    uint32_t count = 0;
                    read.first = bf.FileRead(handle, buffer.data(), static_cast<uint32_t>(buffer.size()), &count) != 0;
                    read.second.append(reinterpret_cast<const char*>(buffer.data()), count);
                    if (count == 0 && !bf.FileEof(handle)) read.first = false;  // would never end
                }
                bf.FileClose(handle);
            }
            entries[path] = std::move(read);
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
    orvobf::platform::SetMessageBoxHook(&IgnoreBox, nullptr);
    const Scratch& paths = Paths();
    FILE* file = std::fopen(paths.archive.c_str(), "wb");
    Require(file != nullptr);
    if (size) std::fwrite(data, 1, size, file);
    std::fclose(file);

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

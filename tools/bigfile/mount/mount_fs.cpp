// The file system of `bigfile mount`: FUSE 3 operations over
// orvobf::Layers. getattr, the folder operations, open and read answer
// from the layers; every operation that would change something fails with
// EROFS.
// The tree is the archives' index, loaded once at mount time and never
// changed, so the kernel may keep names, attributes and pages as long as
// it likes.
#define FUSE_USE_VERSION 31
#include <fuse.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <orvobf/name_rules.h>
#include <orvobf/orvobf.hpp>
#include "file_pool.h"
#include "mount_fs.h"

extern char** environ;

namespace orvobf::tool {
namespace {

// How long the kernel may keep names, attributes and misses: nothing under
// the mount ever changes.
constexpr double kCacheSeconds = 3600.0;

// The most one read request carries. A large file goes over in pieces of
// this size where the kernel reads ahead that far, instead of 128 KiB (its
// default), with an eighth of the trips. An answer spliced from the
// archive file passes through a pipe, which also holds its header and
// takes at most 1 MiB unless the system lets it grow past that; a larger
// answer would be copied through a buffer of its own instead.
constexpr unsigned kLargestRead = (1u << 20) - (16u << 10);

struct MountState {
    Layers layers;
    std::vector<timespec> times;  // per layer, its archive file's modification time
    uid_t uid = 0;
    gid_t gid = 0;
    FilePool files;
    bool openInKernel = false;  // the kernel can open files itself
};

MountState& State() { return *static_cast<MountState*>(fuse_get_context()->private_data); }

int Errno(const std::error_code& ec) {
    if (ec == errc::not_found) return ENOENT;
    if (ec == errc::not_a_directory) return ENOTDIR;
    if (ec == errc::is_a_directory) return EISDIR;
    if (ec == errc::too_many_open_files) return EMFILE;
    if (ec == errc::out_of_memory) return ENOMEM;
    if (ec == errc::invalid_argument) return EINVAL;
    return EIO;  // damaged packed data, a failed read of an archive
}

// Whether an entry can stand on the mount under the name it has in the
// archive. Left out: names with a '/' or '\' (the layers' lookup splits
// paths at both), "." and "..", names past the 255 bytes a name may have
// here, and names a NUL byte cut short (the tree holds only the part
// before it). A drive prefix means nothing here and stays.
bool Shown(const Entry& entry) {
    const NameFault fault = CheckPortableName(entry.name);
    return (fault == NameFault::None || fault == NameFault::DrivePrefix) && !entry.name_cut;
}

// Paths the kernel hands over are made of names it was given; one with a
// '\' could only come from a name that is not shown, and the layers would
// split it into a different path.
bool Reachable(const char* path) { return path != nullptr && std::strchr(path, '\\') == nullptr; }

void Fill(const MountState& state, const Entry& entry, struct stat* st) {
    std::memset(st, 0, sizeof *st);
    // Folders count no links: 1 tells tools that walk trees not to guess
    // the number of subfolders from it.
    st->st_mode = entry.is_dir ? (S_IFDIR | 0555) : (S_IFREG | 0444);
    st->st_nlink = 1;
    st->st_uid = state.uid;
    st->st_gid = state.gid;
    st->st_size = static_cast<off_t>(entry.size);
    st->st_blocks = static_cast<blkcnt_t>((entry.size + 511) / 512);
    // The root belongs to every layer: it takes the top one's time.
    const size_t top = state.times.size() - 1;
    const size_t layer = entry.path.empty() ? top : std::min<size_t>(entry.layer, top);
    st->st_atim = st->st_mtim = st->st_ctim = state.times[layer];
}

// The entry a path names, if it is shown; else -errno in *error.
std::optional<Entry> Lookup(const char* path, int* error) {
    *error = ENOENT;
    if (!Reachable(path)) return std::nullopt;
    std::error_code ec;
    std::optional<Entry> entry = State().layers.stat(path, ec);
    if (!entry) *error = Errno(ec);
    else if (!entry->path.empty() && !Shown(*entry)) entry.reset();
    return entry;
}

// Runs an operation; running out of memory in it is ENOMEM, not the end of
// the mount.
template <class Body>
int Guarded(Body&& body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return -ENOMEM;
    }
}

void* Init(fuse_conn_info* conn, fuse_config* cfg) {
    cfg->kernel_cache = 1;  // pages stay cached from one open to the next
    cfg->entry_timeout = cfg->attr_timeout = cfg->negative_timeout = kCacheSeconds;
    // The kernel keeps the smaller of this and the mount's own readahead
    // setting (RaiseReadahead).
    conn->max_readahead = kLargestRead;
    conn->max_write = kLargestRead;  // libfuse sizes every request by it
    // Stored bytes go from the archive file to the kernel by splice.
    conn->want |= conn->capable & (FUSE_CAP_SPLICE_WRITE | FUSE_CAP_SPLICE_MOVE);
    auto* state = static_cast<MountState*>(fuse_get_context()->private_data);
    state->openInKernel = (conn->capable & FUSE_CAP_NO_OPEN_SUPPORT) != 0;
    return state;
}

int GetAttr(const char* path, struct stat* st, fuse_file_info*) {
    return Guarded([&] {
        int error = 0;
        const std::optional<Entry> entry = Lookup(path, &error);
        if (!entry) return -error;
        Fill(State(), *entry, st);
        return 0;
    });
}

// An open folder's listing, made at its first read and handed out from
// there by position: 0 is ".", 1 is "..", 2 on the entries shown. With
// positions libfuse hands every entry to the kernel with its attributes
// (the kernel then needs no lookup of its own for it), and a large folder
// goes out in pieces without being listed again.
struct Listing {
    bool made = false;
    std::vector<Entry> entries;
};

Listing& Listed(const fuse_file_info* fi) { return *reinterpret_cast<Listing*>(static_cast<uintptr_t>(fi->fh)); }

int OpenDir(const char*, fuse_file_info* fi) {
    return Guarded([&] {
        fi->fh = reinterpret_cast<uintptr_t>(new Listing);
        return 0;
    });
}

int ReleaseDir(const char*, fuse_file_info* fi) {
    delete &Listed(fi);
    return 0;
}

int ReadDir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t offset, fuse_file_info* fi,
            fuse_readdir_flags flags) {
    return Guarded([&] {
        MountState& state = State();
        Listing& listing = Listed(fi);
        if (!listing.made) {
            if (!Reachable(path)) return -ENOENT;
            std::error_code ec;
            listing.entries = state.layers.list(path, ec);
            if (ec) return -Errno(ec);
            std::erase_if(listing.entries, [](const Entry& entry) { return !Shown(entry); });
            listing.made = true;
        }
        const auto plus = (flags & FUSE_READDIR_PLUS) ? FUSE_FILL_DIR_PLUS : fuse_fill_dir_flags{};
        struct stat st;
        // fill answers 1 once the kernel's buffer is full.
        for (auto at = static_cast<size_t>(std::max<off_t>(offset, 0)); at < listing.entries.size() + 2; ++at) {
            const auto next = static_cast<off_t>(at + 1);
            if (at < 2) {
                if (fill(buffer, at == 0 ? "." : "..", nullptr, next, fuse_fill_dir_flags{}) != 0) break;
                continue;
            }
            const Entry& entry = listing.entries[at - 2];
            Fill(state, entry, &st);
            if (fill(buffer, entry.name.c_str(), &st, next, plus) != 0) break;
        }
        return 0;
    });
}

// Opening needs nothing of ours: where the kernel can open files by
// itself, the first open answers ENOSYS and the kernel opens every later
// one without asking, saving two trips here per file (the open and the
// release); it still keeps the pages it has read. (libfuse cannot let
// folders be opened that way.)
int Open(const char* path, fuse_file_info* fi) {
    return Guarded([&] {
        if ((fi->flags & O_ACCMODE) != O_RDONLY || (fi->flags & O_TRUNC)) return -EROFS;
        int error = 0;
        const std::optional<Entry> entry = Lookup(path, &error);
        if (!entry) return -error;
        if (entry->is_dir) return -EISDIR;
        if (State().openInKernel) return -ENOSYS;
        fi->keep_cache = 1;
        return 0;
    });
}

// A read's answer, in a vector libfuse frees when it has sent it. The
// bytes of a stored entry stay where they are: libfuse splices them from
// the archive file into the kernel's pages without copying them through
// here. A packed entry decodes into the answer's own buffer.
int ReadBuf(const char* path, fuse_bufvec** answer, size_t size, off_t offset, fuse_file_info*) {
    return Guarded([&] {
        if (offset < 0 || !path) return -EINVAL;
        MountState& state = State();
        const auto at = static_cast<uint64_t>(offset);
        std::error_code ec;
        const FilePool::Borrowed borrowed(state.files, path, at, at + size);
        File& file = borrowed.slot->file;
        if (!file.is_open()) {
            int error = 0;
            const std::optional<Entry> entry = Lookup(path, &error);
            if (!entry) return -error;
            if (entry->is_dir) return -EISDIR;
            file = state.layers.open_file(entry->path, ec);
            if (ec) return -Errno(ec);
        }
        const size_t want = at < file.size() ? static_cast<size_t>(std::min<uint64_t>(size, file.size() - at)) : 0;
        std::unique_ptr<fuse_bufvec, decltype(&std::free)> vector(
            static_cast<fuse_bufvec*>(std::malloc(sizeof(fuse_bufvec))), &std::free);
        if (!vector) return -ENOMEM;
        *vector = fuse_bufvec{};  // as FUSE_BUFVEC_INIT, which is C only
        vector->count = 1;
        fuse_buf& piece = vector->buf[0];
        piece.size = want;
        piece.fd = -1;
        if (const std::optional<StoredBytes> stored = file.stored_bytes(); stored && want > 0) {
            piece.flags = static_cast<fuse_buf_flags>(FUSE_BUF_IS_FD | FUSE_BUF_FD_SEEK);
            piece.fd = stored->fd;
            piece.pos = static_cast<off_t>(stored->offset + at);
            *answer = vector.release();
            return 0;
        }
        std::unique_ptr<std::byte, decltype(&std::free)> bytes(static_cast<std::byte*>(std::malloc(want)), &std::free);
        if (!bytes && want > 0) return -ENOMEM;
        size_t done = 0;
        while (done < want && !ec) {
            const size_t got = file.read_at(at + done, {bytes.get() + done, want - done}, ec);
            if (got == 0) break;
            done += got;
        }
        // Never a short count: the kernel would take it for the end of the
        // file and fill the rest of its pages with zeros.
        if (ec) return -Errno(ec);
        if (done != want) return -EIO;
        piece.mem = bytes.release();  // libfuse frees it with the vector
        *answer = vector.release();
        return 0;
    });
}

template <class... Args>
int ReadOnly(Args...) {
    return -EROFS;
}

fuse_operations Operations() {
    fuse_operations ops{};
    ops.init = Init;
    ops.getattr = GetAttr;
    ops.opendir = OpenDir;
    ops.readdir = ReadDir;
    ops.releasedir = ReleaseDir;
    ops.open = Open;
    ops.read_buf = ReadBuf;
    // Mounted read-only, the kernel refuses these itself; they answer the
    // same when a caller's -o rw gets past that.
    ops.mknod = ReadOnly<const char*, mode_t, dev_t>;
    ops.mkdir = ReadOnly<const char*, mode_t>;
    ops.unlink = ReadOnly<const char*>;
    ops.rmdir = ReadOnly<const char*>;
    ops.symlink = ReadOnly<const char*, const char*>;
    ops.rename = ReadOnly<const char*, const char*, unsigned int>;
    ops.link = ReadOnly<const char*, const char*>;
    ops.chmod = ReadOnly<const char*, mode_t, fuse_file_info*>;
    ops.chown = ReadOnly<const char*, uid_t, gid_t, fuse_file_info*>;
    ops.truncate = ReadOnly<const char*, off_t, fuse_file_info*>;
    ops.write = ReadOnly<const char*, const char*, size_t, off_t, fuse_file_info*>;
    ops.setxattr = ReadOnly<const char*, const char*, const char*, size_t, int>;
    ops.removexattr = ReadOnly<const char*, const char*>;
    ops.create = ReadOnly<const char*, mode_t, fuse_file_info*>;
    ops.utimens = ReadOnly<const char*, const timespec*, fuse_file_info*>;
    ops.fallocate = ReadOnly<const char*, int, off_t, off_t, fuse_file_info*>;
    return ops;
}

// Opens every archive as a layer, bottom first, with its file's time.
bool Load(const MountRequest& request, MountState& state) {
    for (const std::string& archive : request.archives) {
        std::error_code ec;
        state.layers.add_archive(archive, ec);
        if (ec) {
            std::fprintf(stderr, "bigfile mount: %s\n", ec.message().c_str());
            return false;
        }
        struct stat st {};
        ::stat(archive.c_str(), &st);
        state.times.push_back(st.st_mtim);
    }
    return true;
}

// Entries left out for their names, each counted once with what is below it.
uint64_t CountHidden(const Layers& layers) {
    uint64_t hidden = 0;
    std::error_code ec;
    layers.walk(
        "",
        [&](const Entry& entry) {
            if (Shown(entry)) return walk_action::next;
            ++hidden;
            return walk_action::skip_children;
        },
        ec);
    return hidden;
}

// The kernel reads ahead on a FUSE mount no further than the mount's
// readahead setting, 128 KiB unless raised, however much a caller asks
// for at once. Raises it for this mount to kLargestRead where the system
// lets us (root may), between the mount and the kernel's first request,
// whose answer settles the smaller of the two (Init); elsewhere reads go
// in 128 KiB pieces. The mount's device comes from the kernel's cache:
// a request now would wait for an answer nobody gives yet.
void RaiseReadahead(const std::string& mountPoint) {
    struct statx st {};
    if (statx(AT_FDCWD, mountPoint.c_str(), AT_STATX_DONT_SYNC, 0, &st) != 0) return;
    const std::string setting = "/sys/class/bdi/" + std::to_string(st.stx_dev_major) + ":" +
                                std::to_string(st.stx_dev_minor) + "/read_ahead_kb";
    if (FILE* out = std::fopen(setting.c_str(), "w")) {
        std::fprintf(out, "%u\n", kLargestRead >> 10);
        std::fclose(out);
    }
}

// libfuse takes -o values with ',' between options; a ',' or '\' in a
// value is escaped with '\'.
std::string EscapedOption(std::string_view value) {
    std::string out;
    for (char c : value) {
        if (c == ',' || c == '\\') out.push_back('\\');
        out.push_back(c);
    }
    return out;
}

}  // namespace

int ServeMount(const MountRequest& request) {
    std::error_code ec;
    if (!std::filesystem::is_directory(request.mountPoint, ec)) {
        std::fprintf(stderr, "bigfile mount: %s: not a folder%s\n", PrintableName(request.mountPoint).c_str(),
                     ec ? (" (" + ec.message() + ")").c_str() : "");
        return 2;
    }
    // Unmounting at the end goes by this path, after the server has left
    // the working folder: it must not be relative.
    std::string mountPoint = std::filesystem::canonical(request.mountPoint, ec).string();
    if (ec) mountPoint = request.mountPoint;
    MountState state;
    state.uid = getuid();
    state.gid = getgid();
    if (!Load(request, state)) return 2;
    if (const uint64_t hidden = CountHidden(state.layers))
        std::fprintf(stderr,
                     "bigfile mount: %llu entr%s left out: names with '/' or '\\', cut by a NUL byte, '.', '..' "
                     "or over 255 bytes cannot be shown here\n",
                     static_cast<unsigned long long>(hidden), hidden == 1 ? "y" : "ies");

    // Ours first, so that the caller's -o comes after and adds to them.
    std::vector<std::string> words = {"bigfile", "-o",
                                      "ro,subtype=bigfile,fsname=" +
                                          EscapedOption(request.archives.back())};
    for (const std::string& option : request.options) {
        words.push_back("-o");
        words.push_back(option);
    }
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    fuse_args args = FUSE_ARGS_INIT(static_cast<int>(argv.size()), argv.data());
    const fuse_operations ops = Operations();
    fuse* fs = fuse_new(&args, &ops, sizeof ops, &state);
    fuse_opt_free_args(&args);
    if (!fs) return 2;  // libfuse named the option it did not take
    if (fuse_mount(fs, mountPoint.c_str()) != 0) {
        fuse_destroy(fs);
        return 2;
    }
    RaiseReadahead(mountPoint);
    if (fuse_daemonize(request.foreground ? 1 : 0) != 0) {
        fuse_unmount(fs);
        fuse_destroy(fs);
        return 2;
    }
    fuse_session* session = fuse_get_session(fs);
    int served = fuse_set_signal_handlers(session);
    if (served == 0) {
        served = fuse_loop_mt(fs, 0);
        fuse_remove_signal_handlers(session);
    }
    fuse_unmount(fs);
    fuse_destroy(fs);
    // The loop reports the signal that ended it; that end is a clean one.
    return served == 0 || served == SIGINT || served == SIGTERM || served == SIGHUP ? 0 : 2;
}

int Unmount(const std::string& mountPoint) {
    // fusermount3 may unmount what its user mounted, which the system call
    // allows only to root.
    std::string words[] = {"fusermount3", "-u", "--", mountPoint};
    char* argv[] = {words[0].data(), words[1].data(), words[2].data(), words[3].data(), nullptr};
    pid_t child = 0;
    if (const int failed = posix_spawnp(&child, argv[0], nullptr, nullptr, argv, environ)) {
        std::fprintf(stderr, "bigfile unmount: cannot run fusermount3 (%s)\n", std::strerror(failed));
        return 2;
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 2;
}

}  // namespace orvobf::tool

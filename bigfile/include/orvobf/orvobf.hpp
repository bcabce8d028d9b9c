// orvobf.hpp - the archive library for C++ programs: archives and the files
// in them by path, errors as std::error_code, several archives and disk
// folders layered into one tree.
//
//   std::error_code ec;
//   orvobf::Archive archive = orvobf::Archive::open("BigTest.bf", ec);
//   std::vector<std::byte> bytes = archive.read_all("Data/palette.pal", ec);
//   if (ec) std::cerr << ec.message() << '\n';
//
// Paths. Every path is taken from the root of the archive (or of the
// layers): components separated by '/' or '\', empty components ignored,
// so "", "/" and "\" all name the root. Names compare as the archive
// compares them: ASCII letters without regard to case. An Entry's path is
// built from the names as stored, joined by '/'.
//
// Errors. Every operation that can fail takes a std::error_code&: a
// failure sets it, a success clears it, so it never holds what an earlier
// call left. Compare it with orvobf::errc (ec == orvobf::errc::not_found)
// or with the std::errc it stands for (std::errc::no_such_file_or_directory);
// its message() names what failed with the path, the operating system's
// reason and the library's own text where there are any. Nothing throws;
// an exception that a walk's visitor throws passes through walk (running
// out of memory excepted: that is errc::out_of_memory). Nothing is
// ever shown on screen: an archive of another format version opens
// quietly and says so through format_version_differs().
//
// Threads. Any number of threads may use one Archive (or one Layers) at
// once through its const operations: stat, list, walk, open_file,
// read_all. Lookups read the archive's tree, which nothing changes while
// the archive is open, and never move any shared current folder, so no
// other thread's call can make one fail. Each File is used by one thread
// at a time; different Files, of one archive or not, run side by side.
// Opening, moving, close() and Layers' add_* must not run while another
// thread uses the same object.
//
// Lifetime. A File shares the ownership of its archive: the archive file
// is closed when the Archive and every File opened from it are gone, so a
// File may outlive its Archive (or Layers) and goes on reading. A File
// reads only the file it was opened on: after close() or a move it fails
// with errc::not_open, whatever is opened since.
#ifndef ORVOBF_HPP
#define ORVOBF_HPP

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <ios>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <type_traits>
#include <vector>

namespace orvobf {

// What went wrong; ec == errc::X tells which. (0 is success.)
enum class errc {
    not_open = 1,         // an empty, closed or moved-from Archive or File
    cannot_open,          // the archive (or a disk file) cannot be opened: missing,
                          // not allowed, a folder
    invalid_archive,      // not an archive, or its header or directory is damaged
    io_error,             // reading failed (a cut archive, the system)
    damaged_packed_data,  // a packed entry does not decode to its size
    out_of_memory,
    not_found,            // no file or folder at that path
    not_a_directory,      // list or walk of a file
    is_a_directory,       // open_file or read_all of a folder
    too_many_open_files,  // the archive's open files are at their limit
    invalid_seek,         // a seek outside 0..size()
    invalid_argument,     // a path with a NUL byte, a seekdir of none of the three,
                          // an empty visitor
};

// The category of every error_code this interface sets; its name() is
// "orvobf".
const std::error_category& error_category() noexcept;
std::error_condition make_error_condition(errc e) noexcept;

// A file or folder. Sizes are 64-bit.
struct Entry {
    std::string name;               // as stored; empty for the root
    std::string path;               // from the root, names joined by '/'
    bool is_dir = false;
    std::uint64_t size = 0;         // contents as read; 0 for a folder
    bool packed = false;            // stored as a packed image
    // Bytes the contents take where they are stored: size for a stored
    // entry and a disk file; for a packed entry the image's length as the
    // archive records it (our writer does), 0 when the archive does not.
    std::uint64_t packed_size = 0;
    std::uint32_t layer = 0;        // Layers: the index of the layer it comes from
    // The archive stores a longer name that a NUL byte cuts to `name`.
    bool name_cut = false;
};

// What a walk's visitor asks for next.
enum class walk_action {
    next,           // go on (into a folder's contents after the folder)
    skip_children,  // after a folder: pass over its contents
    stop,           // end the walk at once, successfully
};
using walk_visitor = std::function<walk_action(const Entry&)>;

// Where a stored entry's bytes lie, as they are, in its archive file.
struct StoredBytes {
    // The archive file's descriptor (a C runtime descriptor on Windows),
    // open as long as the File is. It is the archive's own: read it only
    // at explicit offsets (pread, splice or sendfile with an offset) and
    // never move, change or close it.
    int fd = -1;
    std::uint64_t offset = 0;  // where the entry's byte 0 lies in the file
};

namespace detail {
struct ArchiveState;
struct FileAccess;
}  // namespace detail

// One file opened for reading, from an archive or a disk folder: move-only,
// closed on destruction.
class File {
public:
    File() noexcept = default;
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    bool is_open() const noexcept { return archive_ != nullptr || disk_ != nullptr; }
    // The path it was opened with, as an Entry spells it.
    const std::string& path() const noexcept { return path_; }
    std::uint64_t size() const noexcept { return size_; }
    // The position, 0..size(); -1 when not open.
    std::int64_t tell() const noexcept { return is_open() ? static_cast<std::int64_t>(position_) : -1; }
    // At the end: nothing is left to read.
    bool eof() const noexcept { return is_open() && position_ == size_; }

    // Reads up to buffer.size() bytes at the position and moves past them;
    // fewer only at the end (0 there, which is no error) or on a failure
    // (then what was read before it).
    std::size_t read(std::span<std::byte> buffer, std::error_code& ec);
    // Moves as std::istream::seekg / std::fseek do: from the start (beg),
    // the position (cur) or the end (end; negative offsets move back). A
    // target outside 0..size() fails with errc::invalid_seek and leaves the
    // position. Returns the new position (the old one on failure).
    std::uint64_t seek(std::int64_t offset, std::ios::seekdir dir, std::error_code& ec);
    // seek(offset, beg) and read, as one call.
    std::size_t read_at(std::uint64_t offset, std::span<std::byte> buffer, std::error_code& ec);
    // For a caller that hands a stored entry's bytes on without reading
    // them itself (splice, sendfile): where its size() bytes lie in the
    // archive file. nullopt for a packed entry, a disk file, a File not
    // open, and an entry the archive file as opened does not hold whole
    // (reading it fails part-way).
    std::optional<StoredBytes> stored_bytes() const noexcept;
    void close() noexcept;

private:
    friend struct detail::FileAccess;

    std::shared_ptr<detail::ArchiveState> archive_;
    std::int32_t handle_ = 0;     // in archive_'s handle table
    std::FILE* disk_ = nullptr;   // a disk folder's file
    std::uint64_t size_ = 0;
    std::uint64_t position_ = 0;
    std::string path_;
};

// An open archive: move-only; the archive file closes when it and every
// File opened from it are gone.
class Archive {
public:
    Archive() noexcept = default;
    static Archive open(std::string_view path, std::error_code& ec);

    Archive(Archive&&) noexcept = default;
    Archive& operator=(Archive&&) noexcept = default;
    ~Archive() = default;
    Archive(const Archive&) = delete;
    Archive& operator=(const Archive&) = delete;

    bool is_open() const noexcept { return state_ != nullptr; }
    // Lets go of the archive; Files opened from it go on reading.
    void close() noexcept { state_.reset(); }
    // The disk path it was opened with.
    const std::string& path() const noexcept;

    // The format version in the archive's signature, and whether it
    // differs from the library's own, 2.02.0 (the case in which the
    // system's own interface shows its warning box).
    std::string format_version() const;
    bool format_version_differs() const noexcept;
    // The header's counts.
    std::uint32_t dir_count() const noexcept;
    std::uint32_t file_count() const noexcept;

    // The entry at `path` (the root for ""): nullopt and errc::not_found
    // when there is none. Where one folder holds a folder and a file of the
    // same name, the folder.
    std::optional<Entry> stat(std::string_view path, std::error_code& ec) const;
    // A folder's entries in the archive's name order (a folder and a file
    // of one name both).
    std::vector<Entry> list(std::string_view dir, std::error_code& ec) const;
    // Every entry below `dir`, each folder's entries in name order, a
    // folder's contents right after the folder (no depth limit).
    void walk(std::string_view dir, const walk_visitor& visit, std::error_code& ec) const;
    // The file at `path` (a folder of the same name does not hide it). Up
    // to 4095 Files (and read_all calls) per archive are open at once.
    File open_file(std::string_view path, std::error_code& ec) const;
    std::vector<std::byte> read_all(std::string_view path, std::error_code& ec) const;

private:
    friend class Layers;
    std::shared_ptr<detail::ArchiveState> state_;
};

// A search path of game file systems: archives and disk folders in order,
// later layers over earlier ones (a patch archive over the base). A path
// resolves in the last layer that has it; folders of one path merge their
// contents across layers; names compare without regard to ASCII case in
// disk folders too (an exact match first, else the first spelling in byte
// order; where the system itself ignores case, a path found as asked is
// spelled as asked). In a disk folder "." and ".." name nothing, only files and
// folders count, and symbolic links are not followed (they could lead out
// of the folder or round in a circle). Within one layer a folder hides a
// file of the same name from stat and from the merged list. Move-only;
// the operations below follow the threading rules of Archive.
class Layers {
public:
    Layers() = default;
    Layers(Layers&&) noexcept = default;
    Layers& operator=(Layers&&) noexcept = default;
    ~Layers() = default;
    Layers(const Layers&) = delete;
    Layers& operator=(const Layers&) = delete;

    // Adds a layer over those there are.
    void add_archive(Archive archive, std::error_code& ec);
    void add_archive(std::string_view path, std::error_code& ec);
    void add_folder(std::string_view path, std::error_code& ec);
    std::size_t size() const noexcept { return layers_.size(); }

    // The entry at `path` in the last layer that has one (the root, a
    // folder, for "").
    std::optional<Entry> stat(std::string_view path, std::error_code& ec) const;
    // The merged folder in one call: every name of every layer that has a
    // folder at `dir`, each as stat gives it, in the archive's name order.
    std::vector<Entry> list(std::string_view dir, std::error_code& ec) const;
    // Every entry below `dir` as list gives it, a folder's merged contents
    // right after the folder.
    void walk(std::string_view dir, const walk_visitor& visit, std::error_code& ec) const;
    // The file at `path` in the last layer that has a file there.
    File open_file(std::string_view path, std::error_code& ec) const;
    std::vector<std::byte> read_all(std::string_view path, std::error_code& ec) const;

private:
    struct Layer {
        std::shared_ptr<detail::ArchiveState> archive;  // an archive layer
        std::string folder;                             // else a disk folder
    };
    std::vector<Entry> merged(std::span<const std::string_view> parts, std::string_view shown,
                              std::error_code& ec) const;

    std::vector<Layer> layers_;
};

}  // namespace orvobf

template <>
struct std::is_error_condition_enum<orvobf::errc> : std::true_type {};

#endif

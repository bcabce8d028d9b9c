// File: an archive entry read through a handle of the archive object's
// table (the handle is this File's alone: nothing else can close it, since
// the File shares the archive's ownership), or a disk folder's file.
#include <cerrno>
#include <cstdio>
#include <limits>

#include <orvobf/ORVOBF.H>
#include <orvobf/orvobf.hpp>
#include <orvobf/platform.h>
#include "bigfile_internal.h"
#include "cxx_internal.h"
#include "open_file_state.h"

namespace orvobf {
namespace detail {
namespace {

// FileRead takes 32-bit counts.
constexpr size_t kMaxRead = size_t{1} << 30;

// Reads up to `count` bytes through `handle` into `out`: false with the
// library's error stored when a read fails. *got counts what was read
// until then.
bool ReadHandle(BigFile& bf, FileHandle handle, std::byte* out, size_t count, size_t* got) {
    *got = 0;
    while (*got < count) {
        const size_t piece = count - *got < kMaxRead ? count - *got : kMaxRead;
        uint32_t read = 0;
        if (!bf.FileRead(handle, out + *got, static_cast<uint32_t>(piece), &read)) return false;
        *got += read;
        if (read < piece) break;  // the end of the entry
    }
    return true;
}

// The position of an archive entry's handle, as its state has it (after a
// failed read, which may have moved it by any part of the request).
uint64_t EntryPosition(BigFile& bf, FileHandle handle, uint64_t otherwise) {
    core::HeldHandle held(bf, handle);
    if (!held) return otherwise;
    const OpenFileState* state = held.State();
    return static_cast<uint64_t>(state->position - int64_t{bf.GetDataBase()} - state->record->offset);
}

// Closes a handle at the end of a scope.
struct HandleCloser {
    BigFile& bf;
    FileHandle handle;
    ~HandleCloser() { bf.FileClose(handle); }
};

}  // namespace

File FileAccess::OpenArchive(const std::shared_ptr<ArchiveState>& archive, FileRecord* record, std::string path,
                             std::error_code& ec) {
    BigFile& bf = archive->bf;
    core::ForgetCallError();
    FileHandle handle = 0;
    if (!core::OpenRecord(bf, record, BF_MODE_BINARY, &handle, path.c_str())) {
        // No code: every slot of the table is taken.
        ec = LibraryError(bf, errc::too_many_open_files, path);
        return {};
    }
    File file;
    file.archive_ = archive;
    file.handle_ = handle;
    file.size_ = record->size;
    file.path_ = std::move(path);
    return file;
}

File FileAccess::OpenDisk(const DiskFound& found, std::error_code& ec) {
    errno = 0;
    std::FILE* stream = std::fopen(found.where.string().c_str(), "rb");
    const int64_t length = stream ? platform::StreamLength(stream) : -1;
    if (length < 0) {
        ec = MakeError(errc::cannot_open, found.path, SystemReason(errno));
        if (stream) std::fclose(stream);
        return {};
    }
    File file;
    file.disk_ = stream;
    file.size_ = static_cast<uint64_t>(length);
    file.path_ = found.path;
    return file;
}

std::vector<std::byte> ReadArchiveFile(ArchiveState& archive, FileRecord* record, const std::string& path,
                                       std::error_code& ec) {
    BigFile& bf = archive.bf;
    core::ForgetCallError();
    FileHandle handle = 0;
    if (!core::OpenRecord(bf, record, BF_MODE_BINARY, &handle, path.c_str())) {
        ec = LibraryError(bf, errc::too_many_open_files, path);
        return {};
    }
    const HandleCloser closer{bf, handle};
    std::vector<std::byte> bytes(record->size);
    size_t got = 0;
    if (!ReadHandle(bf, handle, bytes.data(), bytes.size(), &got)) {
        ec = LibraryError(bf, errc::io_error, path);
        return {};
    }
    if (got != bytes.size()) {
        ec = MakeError(errc::io_error, path);
        return {};
    }
    return bytes;
}

}  // namespace detail

File::File(File&& other) noexcept
    : archive_(std::move(other.archive_)),
      handle_(other.handle_),
      disk_(other.disk_),
      size_(other.size_),
      position_(other.position_),
      path_(std::move(other.path_)) {
    other.handle_ = 0;
    other.disk_ = nullptr;
    other.size_ = other.position_ = 0;
    other.path_.clear();
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        archive_ = std::move(other.archive_);
        handle_ = other.handle_;
        disk_ = other.disk_;
        size_ = other.size_;
        position_ = other.position_;
        path_ = std::move(other.path_);
        other.handle_ = 0;
        other.disk_ = nullptr;
        other.size_ = other.position_ = 0;
        other.path_.clear();
    }
    return *this;
}

File::~File() { close(); }

void File::close() noexcept {
    if (archive_) archive_->bf.FileClose(handle_);
    if (disk_) std::fclose(disk_);
    archive_.reset();
    handle_ = 0;
    disk_ = nullptr;
    size_ = position_ = 0;
    path_.clear();
}

std::size_t File::read(std::span<std::byte> buffer, std::error_code& ec) {
    ec.clear();
    if (disk_) {
        errno = 0;
        const size_t got = std::fread(buffer.data(), 1, buffer.size(), disk_);
        position_ += got;
        if (got < buffer.size() && std::ferror(disk_)) {
            std::clearerr(disk_);
            ec = detail::MakeError(errc::io_error, path_, detail::SystemReason(errno));
        }
        return got;
    }
    if (!archive_) {
        ec = detail::MakeError(errc::not_open);
        return 0;
    }
    BigFile& bf = archive_->bf;
    core::ForgetCallError();
    size_t got = 0;
    if (!detail::ReadHandle(bf, handle_, buffer.data(), buffer.size(), &got)) {
        ec = detail::LibraryError(bf, errc::io_error, path_);
        const uint64_t before = position_;
        position_ = detail::EntryPosition(bf, handle_, position_);
        const uint64_t moved = position_ > before ? position_ - before : 0;
        return moved < buffer.size() ? static_cast<size_t>(moved) : buffer.size();
    }
    position_ += got;
    return got;
}

std::uint64_t File::seek(std::int64_t offset, std::ios::seekdir dir, std::error_code& ec) {
    ec.clear();
    if (!is_open()) {
        ec = detail::MakeError(errc::not_open);
        return 0;
    }
    uint64_t base;
    if (dir == std::ios::beg) {
        base = 0;
    } else if (dir == std::ios::cur) {
        base = position_;
    } else if (dir == std::ios::end) {
        base = size_;
    } else {
        ec = detail::MakeError(errc::invalid_argument, path_);
        return position_;
    }
    // In unsigned arithmetic, without overflow: the target must lie in 0..size.
    const uint64_t magnitude = offset < 0 ? uint64_t{0} - static_cast<uint64_t>(offset) : static_cast<uint64_t>(offset);
    if (offset < 0 ? magnitude > base : magnitude > size_ - base) {
        ec = detail::MakeError(errc::invalid_seek, path_);
        return position_;
    }
    const uint64_t target = offset < 0 ? base - magnitude : base + magnitude;
    if (disk_) {
        if (platform::StreamSeek(disk_, static_cast<int64_t>(target), SEEK_SET) != 0) {
            ec = detail::MakeError(errc::io_error, path_, detail::SystemReason(errno));
            return position_;
        }
        position_ = target;
        return position_;
    }
    BigFile& bf = archive_->bf;
    core::ForgetCallError();
    bool moved = false;
    {
        core::HeldHandle held(bf, handle_);
        OpenFileState* state = held.State();
        moved = held && core::SeekEntry(bf, state, int64_t{bf.GetDataBase()} + state->record->offset +
                                                       static_cast<int64_t>(target));
    }
    if (!moved) {
        ec = detail::LibraryError(bf, errc::invalid_seek, path_);
        position_ = detail::EntryPosition(bf, handle_, position_);
        return position_;
    }
    position_ = target;
    return position_;
}

std::optional<StoredBytes> File::stored_bytes() const noexcept {
    if (!archive_) return std::nullopt;
    BigFile& bf = archive_->bf;
    core::HeldHandle held(bf, handle_);
    const OpenFileState* state = held ? held.State() : nullptr;
    if (!state || state->packedFile) return std::nullopt;
    // 64-bit sums of 32-bit fields: no overflow.
    const uint64_t start = uint64_t{bf.GetDataBase()} + state->record->offset;
    if (start + size_ > bf.GetArchiveLength()) return std::nullopt;
    return StoredBytes{platform::StreamDescriptor(bf.GetArchiveStream()), start};
}

std::size_t File::read_at(std::uint64_t offset, std::span<std::byte> buffer, std::error_code& ec) {
    if (offset > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
        ec = is_open() ? detail::MakeError(errc::invalid_seek, path_) : detail::MakeError(errc::not_open);
        return 0;
    }
    seek(static_cast<int64_t>(offset), std::ios::beg, ec);
    return ec ? 0 : read(buffer, ec);
}

}  // namespace orvobf

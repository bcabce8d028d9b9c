// The "orvobf" error category of the C++ interface.
//
// An error_code's message may only depend on its value, yet it should name
// the path and the system's reason of that one failure. So a failure with
// such details is written down in a ring of records, and the value carries
// the kind in its low bits and the record's stamp above them. A record
// that newer failures have pushed out of the ring leaves the kind's own
// text; comparisons look at the kind alone.
#include <array>
#include <cerrno>
#include <new>
#include <string>

#include <orvobf/ORVOBF.H>
#include <orvobf/orvobf.hpp>
#include <orvobf/platform.h>
#include "cxx_internal.h"

namespace orvobf {
namespace {

constexpr int kKindBits = 5;
constexpr int kKindMask = (1 << kKindBits) - 1;
constexpr uint32_t kStampLimit = 1u << (31 - kKindBits);  // values stay positive
constexpr size_t kRecords = 1024;

struct Record {
    uint32_t stamp = 0;
    std::string text;
};

struct Records {
    platform::SlimLock lock{};
    uint32_t lastStamp = 0;
    std::array<Record, kRecords> ring;
};

Records& TheRecords() {
    static Records records;
    return records;
}

const char* KindText(int kind) {
    switch (static_cast<errc>(kind)) {
        case errc::not_open: return "no archive or file open";
        case errc::cannot_open: return "cannot open";
        case errc::invalid_archive: return "not a valid archive";
        case errc::io_error: return "read error";
        case errc::damaged_packed_data: return "damaged packed data";
        case errc::out_of_memory: return "out of memory";
        case errc::not_found: return "no such file or folder";
        case errc::not_a_directory: return "not a folder";
        case errc::is_a_directory: return "is a folder";
        case errc::too_many_open_files: return "too many open files";
        case errc::invalid_seek: return "seek outside the file";
        case errc::invalid_argument: return "invalid argument";
    }
    return kind == 0 ? "success" : "unknown error";
}

// The std::errc each kind stands for, where there is one.
int GenericOf(int kind) {
    switch (static_cast<errc>(kind)) {
        case errc::not_open: return EBADF;
        case errc::io_error: return EIO;
        case errc::out_of_memory: return ENOMEM;
        case errc::not_found: return ENOENT;
        case errc::not_a_directory: return ENOTDIR;
        case errc::is_a_directory: return EISDIR;
        case errc::too_many_open_files: return EMFILE;
        case errc::invalid_seek: return ESPIPE;
        case errc::invalid_argument: return EINVAL;
        default: return 0;
    }
}

// Control bytes as \xNN, so that a name cannot move the cursor or forge a
// line; a path's separators stay as the system writes them.
std::string Printable(std::string_view path) {
    std::string out;
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 32 && byte != 127) {
            out.push_back(c);
            continue;
        }
        static const char digits[] = "0123456789abcdef";
        out.append("\\x").push_back(digits[byte >> 4]);
        out.push_back(digits[byte & 15]);
    }
    return out;
}

class Category final : public std::error_category {
public:
    const char* name() const noexcept override { return "orvobf"; }

    std::string message(int value) const override {
        const uint32_t stamp = static_cast<uint32_t>(value) >> kKindBits;
        if (stamp != 0) {
            Records& records = TheRecords();
            platform::SlimLockEnter(&records.lock);
            const Record& record = records.ring[stamp % kRecords];
            std::string text = record.stamp == stamp ? record.text : std::string();
            platform::SlimLockLeave(&records.lock);
            if (!text.empty()) return text;
        }
        return KindText(value & kKindMask);
    }

    std::error_condition default_error_condition(int value) const noexcept override {
        return {value & kKindMask, *this};
    }

    bool equivalent(int value, const std::error_condition& condition) const noexcept override {
        if (condition.category() == *this) return (value & kKindMask) == condition.value();
        const int generic = GenericOf(value & kKindMask);
        return generic != 0 && condition == std::error_condition(generic, std::generic_category());
    }
};

}  // namespace

const std::error_category& error_category() noexcept {
    static const Category category;
    return category;
}

std::error_condition make_error_condition(errc e) noexcept { return {static_cast<int>(e), error_category()}; }

namespace detail {

std::error_code MakeError(errc kind, std::string_view path, std::string_view reason,
                          std::string_view libraryText) noexcept {
    const int value = static_cast<int>(kind);
    if (path.empty() && reason.empty() && libraryText.empty()) return {value, error_category()};
    try {
        std::string text = KindText(value);
        if (!path.empty()) text += ": " + Printable(path);
        if (!reason.empty()) text.append(" (").append(reason).append(")");
        if (!libraryText.empty()) text.append(" [").append(libraryText).append("]");
        Records& records = TheRecords();
        platform::SlimLockEnter(&records.lock);
        uint32_t stamp = records.lastStamp + 1;
        if (stamp >= kStampLimit) stamp = 1;
        records.lastStamp = stamp;
        Record& record = records.ring[stamp % kRecords];
        record.stamp = stamp;
        record.text.swap(text);
        platform::SlimLockLeave(&records.lock);
        return {value | static_cast<int>(stamp << kKindBits), error_category()};
    } catch (const std::bad_alloc&) {
        return {value, error_category()};
    }
}

std::error_code LibraryError(BigFile& bf, errc fallback, std::string_view path) {
    uint32_t detail = 0;
    const int32_t code = bf.GetCallError(&detail);
    errc kind;
    switch (code) {
        case 0: return MakeError(fallback, path);
        case BFE_CANNOT_OPEN: kind = errc::cannot_open; break;
        case BFE_MEMORY:
        case BFE_CRITICAL_SECTION: kind = errc::out_of_memory; break;
        case BFE_INVALID_BIGFILE: kind = errc::invalid_archive; break;
        case BFE_PACKED_STREAM: kind = errc::damaged_packed_data; break;
        case BFE_BAD_HANDLE: kind = errc::not_open; break;
        case BFE_SEEK: kind = errc::invalid_seek; break;
        case BFE_BAD_PARAMETER:
        case BFE_PACKED_TEXT_MODE: kind = errc::invalid_argument; break;
        default: kind = errc::io_error; break;
    }
    return MakeError(kind, path, {}, bf.GetErrorText(code, detail));
}

std::string SystemReason(int error) {
    return error != 0 ? std::generic_category().message(error) : std::string();
}

}  // namespace detail
}  // namespace orvobf

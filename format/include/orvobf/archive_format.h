// The archive's bytes, defined once: header layout, signature, record and
// entry sizes, attribute bits, the name order and little-endian access.
// The reader, the writer, the tools and the tests' byte builders use this.
#ifndef ORVOBF_ARCHIVE_FORMAT_H
#define ORVOBF_ARCHIVE_FORMAT_H

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace orvobf::format {

// The 16 signature bytes: format name, " - ", format version, 0x1A.
inline constexpr std::string_view kSignature{"OrvoBF - 2.02.0\x1A", 16};
inline constexpr std::size_t kSignatureSize = 16;
inline constexpr std::size_t kFormatVersionAt = 9;
inline constexpr std::string_view kFormatName = kSignature.substr(0, 6);
inline constexpr std::string_view kFormatVersion = kSignature.substr(kFormatVersionAt, 6);
inline constexpr unsigned char kSignatureEnd = 0x1A;

// Header: signature, then four little-endian 32-bit fields.
inline constexpr std::size_t kHeaderSize = 32;
inline constexpr std::size_t kDirCountAt = 16;
inline constexpr std::size_t kFileCountAt = 20;
inline constexpr std::size_t kDirOffsetAt = 24;
inline constexpr std::size_t kDataBaseAt = 28;

// A file record: size, packed, offset.
inline constexpr std::size_t kRecordSize = 12;
inline constexpr std::size_t kRecordSizeAt = 0;
inline constexpr std::size_t kRecordPackedAt = 4;
inline constexpr std::size_t kRecordOffsetAt = 8;
// The fixed part of an entry: name length before the name, attributes after.
inline constexpr std::size_t kEntryFixedSize = 8;

// Attribute bits; the loader picks the payload by kAttrDir alone.
inline constexpr uint32_t kAttrDir = 1;
inline constexpr uint32_t kAttrFile = 2;

// Every position handed to stdio is a signed 32-bit value.
inline constexpr uint64_t kMaxArchiveSize = 0x7FFFFFFFu;

inline uint32_t LoadU32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}
inline void StoreU32(unsigned char* p, uint32_t value) {
    p[0] = static_cast<unsigned char>(value);
    p[1] = static_cast<unsigned char>(value >> 8);
    p[2] = static_cast<unsigned char>(value >> 16);
    p[3] = static_cast<unsigned char>(value >> 24);
}

// Paths inside an archive use the backslash and the slash alike.
inline constexpr bool IsPathSeparator(char c) { return c == '/' || c == '\\'; }
// A ':' as second byte ("C:x"): the lookup of FileOpen drops it.
inline constexpr bool HasDrivePrefix(std::string_view path) { return path.size() >= 2 && path[1] == ':'; }
// A name that a lookup takes as it is: no separator, no drive prefix.
inline constexpr bool IsBareName(std::string_view name) {
    for (char c : name)
        if (IsPathSeparator(c)) return false;
    return !HasDrivePrefix(name);
}

// The non-empty components of `path`, split at every byte `isSeparator`
// accepts.
inline std::vector<std::string_view> PathComponents(std::string_view path,
                                                    bool (*isSeparator)(char) = IsPathSeparator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t at = 0; at <= path.size(); ++at) {
        if (at < path.size() && !isSeparator(path[at])) continue;
        if (at > start) parts.push_back(path.substr(start, at - start));
        start = at + 1;
    }
    return parts;
}

// The name order: bytes compared unsigned after A-Z are mapped onto a-z; a
// proper prefix sorts first. "a" equals "A"; '_' sorts before every letter.
inline unsigned char FoldNameByte(unsigned char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c;
}
inline int CompareNames(const char* a, const char* b) {
    for (;; ++a, ++b) {
        const unsigned char x = FoldNameByte(static_cast<unsigned char>(*a));
        const unsigned char y = FoldNameByte(static_cast<unsigned char>(*b));
        if (x != y) return x < y ? -1 : 1;
        if (x == 0) return 0;
    }
}
inline int CompareNames(std::string_view a, std::string_view b) {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char x = FoldNameByte(static_cast<unsigned char>(a[i]));
        const unsigned char y = FoldNameByte(static_cast<unsigned char>(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

}  // namespace orvobf::format

#endif

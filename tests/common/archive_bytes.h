// Archive bytes written by hand, field by field, so tests can build any
// layout, hostile ones included. Nothing here checks what it is given.
#ifndef ORVOBF_TESTS_ARCHIVE_BYTES_H
#define ORVOBF_TESTS_ARCHIVE_BYTES_H

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

class ArchiveBytes {
public:
    std::vector<unsigned char> bytes;

    size_t Size() const { return bytes.size(); }

    ArchiveBytes& U32(uint32_t value) {
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<unsigned char>(value >> (8 * i)));
        return *this;
    }
    ArchiveBytes& Raw(const std::string& text) {
        bytes.insert(bytes.end(), text.begin(), text.end());
        return *this;
    }
    // The 32-byte header; `signature` must have 16 bytes.
    ArchiveBytes& Header(uint32_t dirCount, uint32_t fileCount, uint32_t dirOffset,
                         uint32_t dataBase,
                         const std::string& signature = std::string("OrvoBF - 2.02.0\x1A", 16)) {
        return Raw(signature).U32(dirCount).U32(fileCount).U32(dirOffset).U32(dataBase);
    }
    // Block count, then entries follow.
    ArchiveBytes& Block(uint32_t count) { return U32(count); }
    // A directory entry; its own block must follow.
    ArchiveBytes& Dir(const std::string& name, uint32_t attributes = 1) {
        return U32(static_cast<uint32_t>(name.size())).Raw(name).U32(attributes);
    }
    ArchiveBytes& File(const std::string& name, uint32_t size, uint32_t offset,
                       uint32_t attributes = 2, uint32_t packed = 0) {
        return U32(static_cast<uint32_t>(name.size())).Raw(name).U32(attributes).U32(size).U32(packed).U32(offset);
    }
    // Overwrites the little-endian word at `at` (for fixing up offsets).
    void Patch(size_t at, uint32_t value) {
        for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<unsigned char>(value >> (8 * i));
    }
};

#endif

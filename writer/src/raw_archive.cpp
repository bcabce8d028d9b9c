// Low-level emitter: bytes exactly as told.
#include <cstdio>

#include <orvobf/archive_writer.h>

namespace orvobf::writer {
namespace fmt = orvobf::format;

RawArchive& RawArchive::U32(uint32_t value) {
    unsigned char bytes[4];
    fmt::StoreU32(bytes, value);
    bytes_.append(reinterpret_cast<const char*>(bytes), sizeof bytes);
    return *this;
}

RawArchive& RawArchive::Bytes(std::string_view bytes) {
    bytes_.append(bytes);
    return *this;
}

RawArchive& RawArchive::Header(uint32_t dirCount, uint32_t fileCount, uint32_t dirOffset,
                               uint32_t dataBase, std::string_view signature) {
    std::string sig(signature.substr(0, fmt::kSignatureSize));
    sig.resize(fmt::kSignatureSize, '\0');
    return Bytes(sig).U32(dirCount).U32(fileCount).U32(dirOffset).U32(dataBase);
}

RawArchive& RawArchive::Block(uint32_t count) { return U32(count); }

RawArchive& RawArchive::Entry(std::string_view name, uint32_t attributes) {
    return U32(static_cast<uint32_t>(name.size())).Bytes(name).U32(attributes);
}

RawArchive& RawArchive::File(std::string_view name, uint32_t size, uint32_t offset,
                             uint32_t packed, uint32_t attributes) {
    return Entry(name, attributes).U32(size).U32(packed).U32(offset);
}

// Bytes past the end are not made: a patch never grows the archive.
RawArchive& RawArchive::PatchU32(size_t at, uint32_t value) {
    unsigned char bytes[4];
    fmt::StoreU32(bytes, value);
    for (size_t i = 0; i < sizeof bytes && at + i < bytes_.size(); ++i) bytes_[at + i] = static_cast<char>(bytes[i]);
    return *this;
}

bool RawArchive::WriteTo(const std::string& path, std::string* error) const {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) {
        if (error) *error = "cannot create " + path;
        return false;
    }
    const bool written = std::fwrite(bytes_.data(), 1, bytes_.size(), out) == bytes_.size();
    const bool closed = std::fclose(out) == 0;
    if (!written || !closed) {
        if (error) *error = "cannot write " + path;
        std::remove(path.c_str());
        return false;
    }
    return true;
}

}  // namespace orvobf::writer

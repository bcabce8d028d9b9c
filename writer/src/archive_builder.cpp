// High-level writer: a tree of directories and files (stored or packed),
// laid out as header at 0, the directory at 32 (pre-order, names in the
// reader's order, so loading appends every entry), then the data area.
#include <algorithm>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <system_error>

#include "ArchiveWriter.h"
#include "image_writer.h"
#include "platform.h"

namespace bfw {

struct ArchiveBuilder::Node {
    std::string name;
    bool isDir = false;
    std::vector<std::unique_ptr<Node>> children;
    std::string contents;  // file from memory
    std::filesystem::path diskPath;  // file from disk (contents empty then)
    uint64_t size = 0;
    uint64_t offset = 0;  // relative to the data area, set by Write
    Packing packing = Packing::Store;
    uint32_t packed = 0;  // the record's packed field: the image's length, or 0
};

namespace {
using Node = ArchiveBuilder::Node;
namespace fs = std::filesystem;

constexpr uint64_t kMaxU32 = std::numeric_limits<uint32_t>::max();
// FileSize and FileTell report sizes as signed 32-bit numbers.
constexpr uint64_t kMaxFileSize = std::numeric_limits<int32_t>::max();
constexpr size_t kCopyChunk = 1 << 20;

bool Fail(std::string* error, std::string message) {
    if (error) *error = std::move(message);
    return false;
}

Node* FindChild(Node* dir, std::string_view name) {
    for (auto& child : dir->children)
        if (CompareNames(child->name, name) == 0) return child.get();
    return nullptr;
}

std::vector<std::string_view> Components(std::string_view path) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string_view::npos) end = path.size();
        if (end > start) parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

void SortTree(Node* dir) {
    std::sort(dir->children.begin(), dir->children.end(),
              [](const auto& a, const auto& b) { return CompareNames(a->name, b->name) < 0; });
    for (auto& child : dir->children)
        if (child->isDir) SortTree(child.get());
}

uint64_t BlockBytes(const Node* dir) {
    uint64_t bytes = 4;
    for (const auto& child : dir->children) {
        bytes += 4 + child->name.size() + 4;
        bytes += child->isDir ? BlockBytes(child.get()) : 12;
    }
    return bytes;
}

// Sizes a reader can report; offsets are checked as the data is written,
// since packed images have their length only then.
bool CheckSizes(const Node* dir, std::string* error) {
    for (const auto& child : dir->children) {
        if (child->isDir) {
            if (!CheckSizes(child.get(), error)) return false;
        } else if (child->size > kMaxFileSize) {
            return Fail(error, "file '" + child->name + "' is larger than 2 GiB - 1 bytes");
        }
    }
    return true;
}

void EmitBlock(const Node* dir, RawArchive& raw) {
    raw.Block(static_cast<uint32_t>(dir->children.size()));
    for (const auto& child : dir->children) {
        if (child->isDir) {
            raw.Dir(child->name);
            EmitBlock(child.get(), raw);
        } else {
            raw.File(child->name, static_cast<uint32_t>(child->size),
                     static_cast<uint32_t>(child->offset), child->packed);
        }
    }
}

// Streams a disk file into the archive; fs::path keeps names intact on
// systems whose narrow strings are not the file system's own encoding.
bool CopyDiskFile(const Node* file, std::FILE* out, std::vector<char>& buffer,
                  std::string* error) {
    std::ifstream in(file->diskPath, std::ios::binary);
    const std::string shown = file->diskPath.string();
    if (!in) return Fail(error, "cannot open " + shown);
    uint64_t copied = 0;
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const size_t n = static_cast<size_t>(in.gcount());
        if (n == 0) break;
        copied += n;
        if (copied > file->size) break;
        if (std::fwrite(buffer.data(), 1, n, out) != n) return Fail(error, "write error");
    }
    if (in.bad()) return Fail(error, "cannot read " + shown);
    if (copied != file->size) return Fail(error, shown + " changed size while the archive was written");
    return true;
}

bool WriteStored(const Node* file, std::FILE* out, std::vector<char>& buffer, std::string* error) {
    if (!file->diskPath.empty()) return CopyDiskFile(file, out, buffer, error);
    if (!file->contents.empty() &&
        std::fwrite(file->contents.data(), 1, file->contents.size(), out) != file->contents.size())
        return Fail(error, "write error");
    return true;
}

// Packs one file at the output's position; *length gets the image's length.
bool WritePacked(const Node* file, std::FILE* out, uint64_t imageStart, uint64_t* length,
                 std::string* error) {
    std::ifstream in;
    size_t memoryTaken = 0;
    if (!file->diskPath.empty()) {
        in.open(file->diskPath, std::ios::binary);
        if (!in) return Fail(error, "cannot open " + file->diskPath.string());
    }
    const SourceReader source = [&](unsigned char* buffer, size_t capacity) -> size_t {
        if (file->diskPath.empty()) {
            const size_t n = std::min(capacity, file->contents.size() - memoryTaken);
            std::memcpy(buffer, file->contents.data() + memoryTaken, n);
            memoryTaken += n;
            return n;
        }
        in.read(reinterpret_cast<char*>(buffer), static_cast<std::streamsize>(capacity));
        if (in.bad()) return SIZE_MAX;
        return static_cast<size_t>(in.gcount());
    };
    uint64_t total = 0;
    const std::string shown = file->diskPath.empty() ? file->name : file->diskPath.string();
    if (!WritePackedImage(out, imageStart, source, length, &total, error)) {
        if (error) *error = shown + ": " + *error;
        return false;
    }
    if (total != file->size) return Fail(error, shown + " changed size while the archive was written");
    return true;
}

// Writes every file's data in pre-order from the output's position
// (dataBase + next) and records where each landed.
bool WriteData(Node* dir, std::FILE* out, uint64_t dataBase, uint64_t& next, std::vector<char>& buffer,
               std::string* error) {
    for (auto& child : dir->children) {
        if (child->isDir) {
            if (!WriteData(child.get(), out, dataBase, next, buffer, error)) return false;
            continue;
        }
        if (next > kMaxU32)
            return Fail(error, "archive data area larger than the format's 32-bit offsets reach");
        child->offset = next;
        child->packed = 0;
        uint64_t length = child->size;
        if (child->packing == Packing::Store) {
            if (!WriteStored(child.get(), out, buffer, error)) return false;
        } else {
            uint64_t image = 0;
            if (!WritePacked(child.get(), out, dataBase + next, &image, error)) return false;
            if (child->packing == Packing::PackIfSmaller && image >= child->size) {
                // No saving: the bytes go in as they are, over the image.
                if (bfplat::StreamSeek(out, static_cast<int64_t>(dataBase + next), SEEK_SET) != 0)
                    return Fail(error, "seek error");
                if (!WriteStored(child.get(), out, buffer, error)) return false;
            } else {
                if (image > kMaxU32) return Fail(error, "packed image of '" + child->name + "' too large");
                length = image;
                child->packed = static_cast<uint32_t>(image);
            }
        }
        next += length;
    }
    return true;
}

uint32_t Count(const Node* dir, bool dirs) {
    uint32_t n = 0;
    for (const auto& child : dir->children) {
        if (child->isDir) n += (dirs ? 1 : 0) + Count(child.get(), dirs);
        else if (!dirs) ++n;
    }
    return n;
}
}  // namespace

ArchiveBuilder::ArchiveBuilder() : root_(std::make_unique<Node>()) { root_->isDir = true; }
ArchiveBuilder::~ArchiveBuilder() = default;

uint32_t ArchiveBuilder::FileCount() const { return Count(root_.get(), false); }
uint32_t ArchiveBuilder::DirCount() const { return Count(root_.get(), true); }

// Walks to the parent directory of the last component, making missing
// directories, and checks the last name. Returns the parent or null.
static Node* ParentFor(Node* root, std::string_view archivePath, std::string& leaf,
                       std::string* error) {
    const auto parts = Components(archivePath);
    const std::string quoted = "'" + std::string(archivePath) + "': ";
    if (parts.empty()) {
        Fail(error, "empty archive path");
        return nullptr;
    }
    // Everything is checked before anything is made, so a refused path
    // leaves the tree as it was.
    for (std::string_view part : parts) {
        const std::string why = CheckName(part);
        if (!why.empty()) {
            Fail(error, quoted + why);
            return nullptr;
        }
    }
    Node* dir = root;
    size_t made = 0;  // components that already exist as directories
    for (; made + 1 < parts.size(); ++made) {
        Node* next = FindChild(dir, parts[made]);
        if (!next) break;
        if (!next->isDir) {
            Fail(error, quoted + "'" + next->name + "' is a file");
            return nullptr;
        }
        dir = next;
    }
    leaf = std::string(parts.back());
    if (made + 1 == parts.size()) {
        if (Node* taken = FindChild(dir, leaf)) {
            Fail(error, quoted + "duplicate of '" + taken->name + "'");
            return nullptr;
        }
    }
    for (; made + 1 < parts.size(); ++made) {
        auto node = std::make_unique<Node>();
        node->name = std::string(parts[made]);
        node->isDir = true;
        Node* next = node.get();
        dir->children.push_back(std::move(node));
        dir = next;
    }
    return dir;
}

bool ArchiveBuilder::AddDirectory(std::string_view archivePath, std::string* error) {
    std::string leaf;
    Node* parent = ParentFor(root_.get(), archivePath, leaf, error);
    if (!parent) return false;
    auto node = std::make_unique<Node>();
    node->name = leaf;
    node->isDir = true;
    parent->children.push_back(std::move(node));
    return true;
}

void ArchiveBuilder::SetDefaultPacking(Packing packing) {
    if (packing != Packing::Default) defaultPacking_ = packing;
}

bool ArchiveBuilder::AddFile(std::string_view archivePath, std::string contents,
                             std::string* error, Packing packing) {
    std::string leaf;
    Node* parent = ParentFor(root_.get(), archivePath, leaf, error);
    if (!parent) return false;
    auto node = std::make_unique<Node>();
    node->name = leaf;
    node->size = contents.size();
    node->contents = std::move(contents);
    node->packing = packing == Packing::Default ? defaultPacking_ : packing;
    parent->children.push_back(std::move(node));
    return true;
}

static bool AddDiskNode(Node* root, std::string_view archivePath, const fs::path& disk,
                        Packing packing, std::string* error) {
    std::error_code ec;
    const auto status = fs::symlink_status(disk, ec);
    if (ec || !fs::is_regular_file(status))
        return Fail(error, disk.string() + ": not a regular file");
    const uint64_t size = fs::file_size(disk, ec);
    if (ec) return Fail(error, disk.string() + ": " + ec.message());
    std::string leaf;
    Node* parent = ParentFor(root, archivePath, leaf, error);
    if (!parent) return false;
    auto node = std::make_unique<Node>();
    node->name = leaf;
    node->size = size;
    node->diskPath = disk;
    node->packing = packing;
    parent->children.push_back(std::move(node));
    return true;
}

bool ArchiveBuilder::AddDiskFile(std::string_view archivePath, const std::string& diskPath,
                                 std::string* error, Packing packing) {
    return AddDiskNode(root_.get(), archivePath, fs::path(diskPath),
                       packing == Packing::Default ? defaultPacking_ : packing, error);
}

static bool AddFolderTree(ArchiveBuilder& builder, Node* root, std::string_view archivePath,
                          const fs::path& folder, Packing packing, std::string* error) {
    std::error_code ec;
    if (!fs::is_directory(fs::symlink_status(folder, ec)))
        return Fail(error, folder.string() + ": not a directory");
    std::vector<fs::directory_entry> entries;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        entries.push_back(*it);
    if (ec) return Fail(error, folder.string() + ": " + ec.message());
    std::sort(entries.begin(), entries.end());
    const std::string prefix = archivePath.empty() ? "" : std::string(archivePath) + "/";
    for (const auto& entry : entries) {
        const std::string inside = prefix + entry.path().filename().string();
        const auto status = entry.symlink_status(ec);
        if (ec) return Fail(error, entry.path().string() + ": " + ec.message());
        if (fs::is_directory(status)) {
            if (!builder.AddDirectory(inside, error) ||
                !AddFolderTree(builder, root, inside, entry.path(), packing, error))
                return false;
        } else if (fs::is_regular_file(status)) {
            if (!AddDiskNode(root, inside, entry.path(), packing, error)) return false;
        } else {
            return Fail(error, entry.path().string() + ": neither a regular file nor a directory");
        }
    }
    return true;
}

bool ArchiveBuilder::AddFolder(std::string_view archivePath, const std::string& diskFolder,
                               std::string* error) {
    return AddFolderTree(*this, root_.get(), archivePath, fs::path(diskFolder), defaultPacking_, error);
}

bool ArchiveBuilder::Write(const std::string& path, std::string* error) {
    if (error) error->clear();
    SortTree(root_.get());
    const uint64_t dirBytes = BlockBytes(root_.get());
    const uint64_t dataBase = 32 + dirBytes;
    if (dataBase > kMaxU32) return Fail(error, "directory too large for the format's 32-bit fields");
    if (!CheckSizes(root_.get(), error)) return false;

    const std::string temp = path + ".partial";
    std::FILE* out = std::fopen(temp.c_str(), "wb");
    if (!out) return Fail(error, "cannot create " + temp);
    std::vector<char> buffer(kCopyChunk);
    // The data first (packed lengths are known only once written), then
    // the header and directory, whose size does not depend on them.
    uint64_t next = 0;
    bool ok = bfplat::StreamSeek(out, static_cast<int64_t>(dataBase), SEEK_SET) == 0 &&
              WriteData(root_.get(), out, dataBase, next, buffer, error);
    if (ok) {
        RawArchive head;
        head.Header(DirCount(), FileCount(), 32, static_cast<uint32_t>(dataBase));
        EmitBlock(root_.get(), head);
        ok = bfplat::StreamSeek(out, 0, SEEK_SET) == 0 &&
             std::fwrite(head.bytes().data(), 1, head.size(), out) == head.size();
    }
    if (std::fclose(out) != 0) ok = false;
    std::error_code ec;
    // A stored copy written over a longer image may leave its tail behind.
    if (ok) fs::resize_file(temp, dataBase + next, ec);
    if (ok && ec) ok = Fail(error, "cannot resize " + temp + ": " + ec.message());
    if (ok) {
        fs::rename(temp, path, ec);  // replaces an existing archive
        if (ec) ok = Fail(error, "cannot rename " + temp + " to " + path + ": " + ec.message());
    }
    if (!ok) {
        std::remove(temp.c_str());
        if (error && error->empty()) *error = "cannot write " + path;
    }
    return ok;
}

}  // namespace bfw

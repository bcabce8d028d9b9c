// High-level writer: a tree of directories and files (stored or packed),
// laid out as header at 0, the directory at 32 (pre-order, names in the
// reader's order, so loading appends every entry), then the data area.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <system_error>
#include <thread>

#include <orvobf/archive_writer.h>
#include <orvobf/packed_stream.h>
#include <orvobf/archive_format.h>
#include <orvobf/name_rules.h>
#include <orvobf/platform.h>
#include "builder_tree.h"
#include "image_feed.h"
#include "output_file.h"
#include "parallel_packer.h"
#include "source_file.h"
#include "task_image.h"

namespace orvobf::writer {

namespace {
using Node = ArchiveBuilder::Node;
namespace fs = std::filesystem;
namespace fmt = orvobf::format;
using fmt::CompareNames;

constexpr uint64_t kMaxU32 = std::numeric_limits<uint32_t>::max();
constexpr size_t kCopyChunk = 1 << 20;

bool Fail(std::string* error, std::string message) {
    if (error) *error = std::move(message);
    return false;
}

void SortTree(Node* dir) {
    std::sort(dir->children.begin(), dir->children.end(),
              [](const auto& a, const auto& b) { return CompareNames(a->name, b->name) < 0; });
    for (auto& child : dir->children)
        if (child->isDir) SortTree(child.get());
}

uint64_t BlockBytes(const Node* dir) {
    uint64_t bytes = 4;  // the entry count
    for (const auto& child : dir->children) {
        bytes += fmt::kEntryFixedSize + child->name.size();
        bytes += child->isDir ? BlockBytes(child.get()) : fmt::kRecordSize;
    }
    return bytes;
}

// Sizes a reader can report, and offsets the records hold, checked before
// anything is written: exactly for stored files; a packed image's length is
// known only once it is written, so its least length (the empty image) is
// counted here and WriteData checks the rest.
bool CheckLayout(const Node* dir, uint64_t& leastOffset, std::string* error) {
    for (const auto& child : dir->children) {
        if (child->isDir) {
            if (!CheckLayout(child.get(), leastOffset, error)) return false;
            continue;
        }
        if (child->size > kMaxFileSize)
            return Fail(error, Label(child.get()) + ": " + std::to_string(child->size) + " bytes, more than the " +
                                   std::to_string(kMaxFileSize) + " a file in an archive can hold");
        if (leastOffset > kMaxFileOffset)
            return Fail(error, Label(child.get()) + ": would start " + std::to_string(leastOffset) +
                                   " bytes into the data area, past the " + std::to_string(kMaxFileOffset) +
                                   " the format's 32-bit offsets reach");
        leastOffset += child->packing == Packing::Store ? child->size : std::min<uint64_t>(child->size, 4);
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

// Where the data goes: the archive being written and the next offset in
// its data area.
struct DataSink {
    std::FILE* out;
    uint64_t dataBase;
    uint64_t next = 0;
    const std::string& archive;  // names the archive in messages
    std::vector<unsigned char> buffer = std::vector<unsigned char>(kCopyChunk);  // copies and packing
    PackedStream* stream = nullptr;  // packs the files in their turn
    ParallelPacker* packer = nullptr;  // packs ahead every file to pack, when there is one
    ArchiveBuilder::Progress progress{};
    const std::function<void(const ArchiveBuilder::Progress&)>* report = nullptr;

    bool WriteFailed(std::string* error) const { return Fail(error, WriteFailure(archive, errno)); }
};

// Streams a disk file into the archive: the file the scan saw, and no other.
bool CopyDiskFile(const Node* file, DataSink& sink, std::string* error) {
    SourceFile in;
    if (!in.Open(file->diskPath, file->stamp, error)) return false;
    const std::string shown = ShownPath(file->diskPath);
    uint64_t copied = 0;
    for (;;) {
        const size_t n = in.Read(sink.buffer.data(), sink.buffer.size());
        if (n == SIZE_MAX) return Fail(error, "cannot read " + shown + ": " + std::strerror(errno));
        if (n == 0) break;
        copied += n;
        if (copied > file->size) break;
        if (std::fwrite(sink.buffer.data(), 1, n, sink.out) != n) return sink.WriteFailed(error);
    }
    if (copied != file->size) return Fail(error, shown + " changed size while the archive was written");
    return true;
}

bool WriteStored(const Node* file, DataSink& sink, std::string* error) {
    if (!file->diskPath.empty()) return CopyDiskFile(file, sink, error);
    if (!file->contents.empty() &&
        std::fwrite(file->contents.data(), 1, file->contents.size(), sink.out) != file->contents.size())
        return sink.WriteFailed(error);
    return true;
}

PackTask TaskFor(const Node* file) {
    PackTask task;
    if (file->diskPath.empty()) task.contents = &file->contents;
    task.diskPath = file->diskPath;
    task.stamp = file->stamp;
    task.size = file->size;
    task.label = Label(file);
    return task;
}

// Copies an image the packer spilled to disk into the archive.
bool CopySpilled(std::FILE* spill, uint64_t length, DataSink& sink, std::string* error) {
    errno = 0;
    if (orvobf::platform::StreamSeek(spill, 0, SEEK_SET) != 0)
        return Fail(error, "cannot read back an image packed beside " + sink.archive + ": " + std::strerror(errno ? errno : EIO));
    for (uint64_t left = length; left > 0;) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(left, sink.buffer.size()));
        errno = 0;
        if (std::fread(sink.buffer.data(), 1, n, spill) != n)
            return Fail(error, "cannot read back an image packed beside " + sink.archive + ": " +
                                   (std::ferror(spill) ? std::strerror(errno ? errno : EIO) : "it is shorter than written"));
        if (std::fwrite(sink.buffer.data(), 1, n, sink.out) != n) return sink.WriteFailed(error);
        left -= n;
    }
    return true;
}

// Writes the image the packer made ahead, unless it is no saving on a file
// that may be stored (*length tells then).
bool WriteMadeImage(const Node* file, DataSink& sink, uint64_t* length, std::string* error) {
    return sink.packer->Take([&](const PackedImage& image) {
        if (!image.ok) return Fail(error, image.error);
        *length = image.length;
        if (file->packing == Packing::PackIfSmaller && *length >= file->size) return true;
        if (image.spill) return CopySpilled(image.spill.get(), image.length, sink, error);
        if (std::fwrite(image.bytes.data(), 1, image.bytes.size(), sink.out) != image.bytes.size())
            return sink.WriteFailed(error);
        return true;
    });
}

// Packs one file at the output's position; *length gets the image's length.
bool WritePacked(const Node* file, DataSink& sink, uint64_t* length, std::string* error) {
    if (sink.packer) return WriteMadeImage(file, sink, length, error);
    FileMedium medium(sink.out, sink.dataBase + sink.next);
    return PackTaskImage(TaskFor(file), *sink.stream, medium, sink.buffer, sink.archive, length, error);
}

// Writes every file's data in pre-order from the output's position
// (dataBase + next) and records where each landed.
bool WriteData(Node* dir, DataSink& sink, std::string* error) {
    for (auto& child : dir->children) {
        if (child->isDir) {
            if (!WriteData(child.get(), sink, error)) return false;
            continue;
        }
        if (sink.next > kMaxFileOffset)
            return Fail(error, Label(child.get()) + ": would start " + std::to_string(sink.next) +
                                   " bytes into the data area, past the " + std::to_string(kMaxFileOffset) +
                                   " the format's 32-bit offsets reach");
        child->offset = sink.next;
        child->packed = 0;
        uint64_t length = child->size;
        if (child->packing == Packing::Store) {
            if (!WriteStored(child.get(), sink, error)) return false;
        } else {
            uint64_t image = 0;
            if (!WritePacked(child.get(), sink, &image, error)) return false;
            if (child->packing == Packing::PackIfSmaller && image >= child->size) {
                // No saving: the bytes go in as they are, over the image.
                if (orvobf::platform::StreamSeek(sink.out, static_cast<int64_t>(sink.dataBase + sink.next), SEEK_SET) != 0)
                    return sink.WriteFailed(error);
                if (!WriteStored(child.get(), sink, error)) return false;
            } else {
                if (image > kMaxU32)
                    return Fail(error, "packed image of '" + orvobf::PrintableName(child->name) + "' too large");
                length = image;
                child->packed = static_cast<uint32_t>(image);
            }
        }
        sink.next += length;
        ++sink.progress.filesDone;
        sink.progress.bytesDone += child->size;
        if (sink.report && *sink.report) (*sink.report)(sink.progress);
    }
    return true;
}

// The files to pack, in the order WriteData meets them; also counts what
// the progress reports are out of.
void PlanData(const Node* dir, std::vector<PackTask>& tasks, ArchiveBuilder::Progress& total) {
    for (const auto& child : dir->children) {
        if (child->isDir) {
            PlanData(child.get(), tasks, total);
            continue;
        }
        ++total.filesTotal;
        total.bytesTotal += child->size;
        if (child->packing == Packing::Store) continue;
        tasks.push_back(TaskFor(child.get()));
    }
}

// Files the filter names are stored whatever their packing.
void ApplyStoreFilter(Node* dir, const std::string& prefix, const std::function<bool(const std::string&)>& store) {
    for (auto& child : dir->children) {
        const std::string path = prefix + child->name;
        if (child->isDir) ApplyStoreFilter(child.get(), path + "/", store);
        else if (store(path)) child->packing = Packing::Store;
    }
}

uint32_t Count(const Node* dir, bool dirs) {
    uint32_t n = 0;
    for (const auto& child : dir->children) {
        if (child->isDir) n += (dirs ? 1 : 0) + Count(child.get(), dirs);
        else if (!dirs) ++n;
    }
    return n;
}

void Visit(const Node* dir, const std::string& prefix, const ArchiveBuilder::EntryVisitor& visit) {
    std::vector<const Node*> sorted;
    for (const auto& child : dir->children) sorted.push_back(child.get());
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const Node* a, const Node* b) { return CompareNames(a->name, b->name) < 0; });
    for (const Node* child : sorted) {
        const std::string path = prefix + child->name;
        visit(path, child->name, child->isDir);
        if (child->isDir) Visit(child, path + "/", visit);
    }
}

bool AddDiskNode(Node* root, std::string_view archivePath, const fs::path& disk, Packing packing,
                 const std::string& label, std::string* error) {
    auto node = std::make_unique<Node>();
    if (!StampSource(disk, false, &node->stamp, error)) return false;
    node->size = node->stamp.size;
    node->diskPath = disk;
    node->packing = packing;
    return AddNode(root, archivePath, std::move(node), label, error);
}

}  // namespace

ArchiveBuilder::ArchiveBuilder() : root_(std::make_unique<Node>()) { root_->isDir = true; }
ArchiveBuilder::~ArchiveBuilder() = default;

uint32_t ArchiveBuilder::FileCount() const { return Count(root_.get(), false); }
uint32_t ArchiveBuilder::DirCount() const { return Count(root_.get(), true); }

void ArchiveBuilder::VisitEntries(const EntryVisitor& visit) const { Visit(root_.get(), "", visit); }

bool ArchiveBuilder::AddDirectory(std::string_view archivePath, std::string* error) {
    auto node = std::make_unique<Node>();
    node->isDir = true;
    return AddNode(root_.get(), archivePath, std::move(node), Quoted(archivePath), error);
}

void ArchiveBuilder::SetPackLevel(PackLevel level) { level_ = level; }
void ArchiveBuilder::SetPackThreads(unsigned threads) { threads_ = threads; }
void ArchiveBuilder::SetPackMemory(uint64_t bytes) { packMemory_ = bytes; }
void ArchiveBuilder::SetStoreFilter(std::function<bool(const std::string&)> store) { store_ = std::move(store); }
void ArchiveBuilder::SetProgress(std::function<void(const Progress&)> progress) { progress_ = std::move(progress); }

void ArchiveBuilder::SetDefaultPacking(Packing packing) {
    if (packing != Packing::Default) defaultPacking_ = packing;
}

bool ArchiveBuilder::AddFile(std::string_view archivePath, std::string contents,
                             std::string* error, Packing packing) {
    auto node = std::make_unique<Node>();
    node->size = contents.size();
    node->contents = std::move(contents);
    node->packing = packing == Packing::Default ? defaultPacking_ : packing;
    return AddNode(root_.get(), archivePath, std::move(node), Quoted(archivePath), error);
}

bool ArchiveBuilder::AddDiskFile(std::string_view archivePath, const std::string& diskPath,
                                 std::string* error, Packing packing) {
    return AddDiskNode(root_.get(), archivePath, fs::path(diskPath),
                       packing == Packing::Default ? defaultPacking_ : packing, Quoted(archivePath), error);
}

bool ArchiveBuilder::AddFolder(std::string_view archivePath, const std::string& diskFolder,
                               std::string* error) {
    std::vector<FolderIssue> issues;
    AddFolder(archivePath, diskFolder, FolderOptions{}, &issues);
    if (issues.empty()) return true;
    std::string all;
    for (const FolderIssue& issue : issues) all += (all.empty() ? "" : "\n") + issue.text;
    return Fail(error, all);
}

bool ArchiveBuilder::Fits(std::string* error) {
    if (error) error->clear();
    SortTree(root_.get());
    if (fmt::kHeaderSize + BlockBytes(root_.get()) > kMaxU32)
        return Fail(error, "directory too large for the format's 32-bit fields");
    if (store_) ApplyStoreFilter(root_.get(), "", store_);
    uint64_t leastData = 0;
    return CheckLayout(root_.get(), leastData, error);
}

bool ArchiveBuilder::Write(const std::string& path, std::string* error) {
    if (!Fits(error)) return false;
    const uint64_t dataBase = fmt::kHeaderSize + BlockBytes(root_.get());
    PackedStream stream;
    int32_t rc = stream.Init(PACKED_STREAM_VERSION);
    if (rc == 0) rc = stream.SetLevel(level_);
    if (rc < 0) return Fail(error, std::string("packer: ") + PackedResultText(rc));

    OutputFile file;  // removed again unless committed
    if (!file.Create(path, error)) return false;
    DataSink sink{file.stream(), dataBase, 0, path};
    sink.stream = &stream;
    sink.report = &progress_;
    std::vector<PackTask> tasks;
    PlanData(root_.get(), tasks, sink.progress);
    const unsigned threads = threads_ ? threads_ : std::max(1u, std::thread::hardware_concurrency());
    std::unique_ptr<ParallelPacker> packer;
    if (threads > 1 && !tasks.empty()) {
        packer = std::make_unique<ParallelPacker>(std::move(tasks), level_, threads, packMemory_, path);
        sink.packer = packer.get();
    }
    // The data first (packed lengths are known only once written), then
    // the header and directory, whose size does not depend on them.
    if (orvobf::platform::StreamSeek(sink.out, static_cast<int64_t>(dataBase), SEEK_SET) != 0) return sink.WriteFailed(error);
    if (!WriteData(root_.get(), sink, error)) return false;
    RawArchive head;
    head.Header(DirCount(), FileCount(), fmt::kHeaderSize, static_cast<uint32_t>(dataBase));
    EmitBlock(root_.get(), head);
    if (orvobf::platform::StreamSeek(sink.out, 0, SEEK_SET) != 0 ||
        std::fwrite(head.bytes().data(), 1, head.size(), sink.out) != head.size())
        return sink.WriteFailed(error);
    return file.Commit(dataBase + sink.next, error);
}

}  // namespace orvobf::writer

// A fuzzed tree description written by the builder and read back through
// the library: the same directories, names and bytes. A name that cannot
// stand in an archive must be refused, naming it, and change nothing.
//
// The input is a packing byte, then records: kind byte (bit 0 file, bits
// 1-2 packing, bit 3 from a disk file, bit 4 a name of 250 + n bytes),
// parent byte (one of the directories made so far), name length byte and
// the name ('/' turns into '\'), then for a file a 2-byte length (modulo
// 4096) and the contents.
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <orvobf/archive_format.h>
#include <orvobf/archive_writer.h>
#include <orvobf/name_rules.h>
#include "fuzz_support.h"

namespace {
namespace fs = std::filesystem;

struct Node {
    bool dir = true;
    std::string contents;
    std::map<std::string, Node> children;  // by exact name
};

// Made for one run and removed after it (the fuzzer may end the process
// without running exit handlers).
const fs::path& Scratch() {
    static const fs::path dir = ScratchPath("writer-fuzz");
    return dir;
}

// The reader's sense of one name.
bool SameName(const std::string& a, const std::string& b) { return orvobf::format::CompareNames(a, b) == 0; }

// The archive's current directory against the model's directory.
void Compare(BigFile& bf, const Node& dir) {
    size_t seen = 0;
    FindData cursor{};
    for (int more = bf.FindFirst(&cursor); more; more = bf.FindNext(&cursor)) {
        const std::string name = cursor.entry->name;
        const auto it = dir.children.find(name);
        Require(it != dir.children.end(), "the archive holds a name that was never added");
        const Node& node = it->second;
        ++seen;
        if (node.dir) {
            Require((cursor.entry->attributes & BF_ATTR_DIR) != 0, "a directory came back as a file");
            Require(bf.PushDir() == 1 && bf.EnterDir(name.c_str()) == 1, "a directory cannot be entered");
            Compare(bf, node);
            Require(bf.PopDir() == 1, "directory stack");
        } else {
            Require(cursor.record != nullptr, "a file came back as a directory");
            Require(cursor.record->size == node.contents.size(), "a file's size differs");
            std::string bytes;
            Require(ReadWhole(bf, name.c_str(), bytes) && bytes == node.contents, "a file's bytes differ");
        }
    }
    Require(seen == dir.children.size(), "an added entry is missing");
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    AnswerBoxes();
    fs::create_directories(Scratch());
    InputBytes in{data, size};
    static constexpr orvobf::writer::Packing kPackings[] = {orvobf::writer::Packing::Default, orvobf::writer::Packing::Store, orvobf::writer::Packing::Pack,
                                                 orvobf::writer::Packing::PackIfSmaller};
    orvobf::writer::ArchiveBuilder builder;
    builder.SetDefaultPacking(kPackings[in.Byte() & 3]);
    Node root;
    std::vector<std::pair<Node*, std::string>> dirs = {{&root, ""}};  // with their archive paths
    for (int record = 0; record < 64 && in.More(); ++record) {
        const uint8_t kind = in.Byte();
        const auto [parent, parentPath] = dirs[in.Byte() % dirs.size()];
        const size_t length = (kind & 16) ? 250 + in.Byte() % 10 : 1 + in.Byte() % 40;
        std::string name = in.Take(length);
        if (name.empty()) break;
        for (char& c : name)
            if (c == '/') c = '\\';
        const std::string path = parentPath.empty() ? name : parentPath + "/" + name;
        const bool isFile = kind & 1;
        std::string contents;
        if (isFile) {
            const size_t low = in.Byte();
            const size_t n = (low | size_t{in.Byte()} << 8) % 4096;
            contents = in.Take(n);
        }
        bool free = orvobf::CheckPortableName(name) == orvobf::NameFault::None;
        for (const auto& [sibling, node] : parent->children) free = free && !SameName(sibling, name);

        const uint32_t files = builder.FileCount(), folders = builder.DirCount();
        std::string error;
        bool added;
        if (!isFile) {
            added = builder.AddDirectory(path, &error);
        } else if (kind & 8) {
            const fs::path disk = Scratch() / ("source" + std::to_string(record));
            WriteFile(disk.string(), reinterpret_cast<const uint8_t*>(contents.data()), contents.size());
            added = builder.AddDiskFile(path, disk.string(), &error, kPackings[(kind >> 1) & 3]);
        } else {
            added = builder.AddFile(path, contents, &error, kPackings[(kind >> 1) & 3]);
        }
        Require(added == free, free ? "a usable name was refused" : "an unusable name was accepted");
        if (!added) {
            Require(error.find(orvobf::PrintableName(name)) != std::string::npos, "a refusal does not name the name");
            Require(builder.FileCount() == files && builder.DirCount() == folders, "a refusal changed the tree");
            continue;
        }
        Node& node = parent->children[name];
        node.dir = !isFile;
        node.contents = std::move(contents);
        if (node.dir) dirs.emplace_back(&node, path);
    }

    const std::string archive = (Scratch() / "archive.bf").string();
    std::string error;
    Require(builder.Write(archive, &error), error.c_str());
    BigFile bf;
    Require(bf.Init(BIGFILE_HEADER_VERSION) == 1 && bf.Open(archive.c_str(), 0) == 1, "the archive does not open");
    Compare(bf, root);
    bf.Close();
    fs::remove_all(Scratch());
    return 0;
}

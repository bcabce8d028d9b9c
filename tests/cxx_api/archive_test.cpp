// Archive and File: every call's success and failure with its error_code,
// seeks against std::ifstream, lifetime and handle identity, and an archive
// of another format version opened without a message box.
#include <algorithm>
#include <filesystem>
#include <fstream>

#include <orvobf/ORVOBF.H>
#include <orvobf/platform.h>
#include "cxx_fixture.h"

namespace {

using orvobf::errc;

const Files kFiles = {{"Data/Big.bin", Contents(300001, 1)}, {"Data/packed/Level.txt", Contents(200003, 2)},
                      {"Data/Sub/deep.txt", "deep"}, {"ReadMe.TXT", "read me"}, {"empty", ""}};

class ArchiveTest : public ::testing::Test {
protected:
    void SetUp() override {
        archive = orvobf::Archive::open(WriteArchive(dir, "a.bf", kFiles), ec);
        ASSERT_FALSE(ec) << ec.message();
    }
    bool Has(const std::string& text) const { return ec.message().find(text) != std::string::npos; }
    // The last call failed with `code`, its message naming each of `texts`.
    void Failed(errc code, std::initializer_list<std::string> texts = {}) const {
        EXPECT_EQ(ec, code);
        for (const std::string& text : texts) EXPECT_TRUE(Has(text)) << ec.message();
    }

    TempDir dir;
    orvobf::Archive archive;
    std::error_code ec;
};

TEST_F(ArchiveTest, OpenFailuresSayWhatAndWhere) {
    const std::string missing = dir.File("missing.bf");
    EXPECT_FALSE(orvobf::Archive::open(missing, ec).is_open());
    Failed(errc::cannot_open, {missing, "No such file or directory", "File cannot be opened"});
    EXPECT_EQ(ec.category().name(), std::string("orvobf"));
    orvobf::Archive::open(dir.File(""), ec);
    Failed(errc::cannot_open, {"Is a directory"});
    orvobf::Archive::open(dir.Write("text.bf", "no archive, only some text here"), ec);
    Failed(errc::invalid_archive, {"text.bf", "BigFile Error -5110"});

    // An empty Archive fails every call, and a success clears what a
    // failure left.
    const orvobf::Archive none;
    EXPECT_FALSE(none.stat("ReadMe.TXT", ec));
    Failed(errc::not_open);
    EXPECT_EQ(archive.stat("ReadMe.TXT", ec)->size, 7u);
    EXPECT_FALSE(ec);
    EXPECT_EQ(archive.dir_count(), 3u);
    EXPECT_EQ(archive.file_count(), 5u);
    EXPECT_EQ(archive.format_version(), "2.02.0");
    EXPECT_FALSE(archive.format_version_differs());
}

TEST_F(ArchiveTest, LookupsByPathFromTheRoot) {
    const auto big = archive.stat("\\data/BIG.bin", ec);
    ASSERT_TRUE(big) << ec.message();
    EXPECT_EQ(big->path, "Data/Big.bin");
    EXPECT_EQ(big->name, "Big.bin");
    EXPECT_FALSE(big->is_dir || big->packed);
    EXPECT_EQ(big->size, 300001u);
    EXPECT_EQ(big->packed_size, 300001u);
    const auto level = archive.stat("Data//Packed/level.TXT", ec);
    ASSERT_TRUE(level);
    EXPECT_TRUE(level->packed);
    EXPECT_GT(level->packed_size, 4u);
    EXPECT_LT(level->packed_size, level->size);
    EXPECT_TRUE(archive.stat("/", ec)->is_dir);

    // Each failure reports its own kind and path, never the one before.
    EXPECT_FALSE(archive.stat("Data/nope", ec));
    Failed(errc::not_found, {"Data/nope"});
    EXPECT_EQ(ec, std::errc::no_such_file_or_directory);
    archive.stat("Data/\x1b[2J", ec);
    Failed(errc::not_found, {"Data/\\x1b[2J"});
    EXPECT_TRUE(archive.list("ReadMe.TXT", ec).empty());
    Failed(errc::not_a_directory, {"ReadMe.TXT"});
    EXPECT_FALSE(Has("nope")) << ec.message();
    EXPECT_TRUE(archive.read_all("data", ec).empty());
    Failed(errc::is_a_directory);
    EXPECT_FALSE(archive.stat(std::string_view("Read\0Me", 7), ec));
    Failed(errc::invalid_argument);

    std::vector<std::string> names;
    for (const orvobf::Entry& entry : archive.list("DATA", ec)) names.push_back(entry.path);
    EXPECT_FALSE(ec);
    EXPECT_EQ(names, (std::vector<std::string>{"Data/Big.bin", "Data/packed", "Data/Sub"}));

    std::vector<std::string> walked;
    archive.walk("", [&](const orvobf::Entry& entry) {
        walked.push_back(entry.path);
        if (entry.name == "packed") return orvobf::walk_action::skip_children;
        return entry.name == "deep.txt" ? orvobf::walk_action::stop : orvobf::walk_action::next;
    }, ec);
    EXPECT_FALSE(ec);
    EXPECT_EQ(walked, (std::vector<std::string>{"Data", "Data/Big.bin", "Data/packed", "Data/Sub",
                                                "Data/Sub/deep.txt"}));
    archive.walk("Data/Big.bin", [](const orvobf::Entry&) { return orvobf::walk_action::next; }, ec);
    Failed(errc::not_a_directory);
}

// Reads and seeks at every origin and boundary give what std::ifstream
// gives on the same bytes; a target outside the file fails and stays put.
TEST_F(ArchiveTest, SeeksAsIfstreamDoes) {
    for (const std::string name : {"Data/Big.bin", "Data/packed/Level.txt"}) {
        SCOPED_TRACE(name);
        const std::string& contents = kFiles.at(name);
        const auto size = static_cast<int64_t>(contents.size());
        std::ifstream disk(dir.Write("extracted", contents), std::ios::binary);
        orvobf::File file = archive.open_file(name, ec);
        ASSERT_TRUE(file.is_open()) << ec.message();
        EXPECT_EQ(file.size(), contents.size());
        using Seek = std::pair<int64_t, std::ios::seekdir>;
        const Seek steps[] = {{0, std::ios::end},      {-1, std::ios::end},       {-size, std::ios::end},
                              {size, std::ios::beg},   {size / 2, std::ios::beg}, {-70100, std::ios::cur},
                              {7, std::ios::cur},      {0, std::ios::beg},        {size - 3, std::ios::beg},
                              {-70000, std::ios::end}, {-65536, std::ios::cur}};
        std::string mine(70000, '\0'), theirs(70000, '\0');
        for (const auto& [offset, whence] : steps) {
            disk.clear();
            disk.seekg(offset, whence);
            EXPECT_EQ(static_cast<int64_t>(file.seek(offset, whence, ec)), static_cast<int64_t>(disk.tellg()));
            EXPECT_FALSE(ec) << ec.message();
            disk.read(theirs.data(), static_cast<std::streamsize>(theirs.size()));
            const size_t got = file.read(AsBytes(mine), ec);
            EXPECT_FALSE(ec) << ec.message();
            ASSERT_EQ(got, static_cast<size_t>(disk.gcount()));
            EXPECT_EQ(mine.compare(0, got, theirs, 0, got), 0) << offset;
            disk.clear();
            EXPECT_EQ(file.tell(), static_cast<int64_t>(disk.tellg()));
        }
        const int64_t at = file.tell();
        for (const auto& [offset, whence] : {Seek{-1, std::ios::beg}, Seek{1, std::ios::end},
                                             Seek{-(size + 1), std::ios::end}, Seek{size + 1, std::ios::cur}}) {
            EXPECT_EQ(static_cast<int64_t>(file.seek(offset, whence, ec)), at);
            Failed(errc::invalid_seek);
        }
        EXPECT_EQ(file.read_at(static_cast<uint64_t>(size - 2), AsBytes(mine), ec), 2u);
        EXPECT_EQ(mine.substr(0, 2), contents.substr(contents.size() - 2));
        EXPECT_TRUE(file.eof());
        EXPECT_EQ(Text(archive.read_all(name, ec)), contents);
    }
}

// Open files have a limit that closing lifts; a File keeps its archive
// alive, and never reads another file through a handle number handed out
// again.
TEST_F(ArchiveTest, FilesHaveALimitOutliveTheArchiveAndKeepTheirIdentity) {
    std::vector<orvobf::File> open;
    for (orvobf::File file; (file = archive.open_file("ReadMe.TXT", ec)).is_open();) open.push_back(std::move(file));
    Failed(errc::too_many_open_files);
    EXPECT_EQ(open.size(), 4095u);
    EXPECT_TRUE(archive.read_all("ReadMe.TXT", ec).empty());
    EXPECT_EQ(ec, std::errc::too_many_files_open);
    open.pop_back();
    EXPECT_EQ(Text(archive.read_all("ReadMe.TXT", ec)), "read me");
    open.clear();

    orvobf::File deep = archive.open_file("data/sub/DEEP.TXT", ec);
    orvobf::File stale = archive.open_file("ReadMe.TXT", ec);
    orvobf::File moved = std::move(stale);
    moved.close();
    orvobf::File big = archive.open_file("Data/Big.bin", ec);  // takes the freed number
    archive = orvobf::Archive();
    std::string buffer(8, '\0');
    EXPECT_EQ(moved.read(AsBytes(buffer), ec), 0u);
    Failed(errc::not_open);
    EXPECT_EQ(stale.read(AsBytes(buffer), ec), 0u);
    Failed(errc::not_open);
    EXPECT_EQ(moved.tell(), -1);
    EXPECT_EQ(deep.read(AsBytes(buffer), ec), 4u);
    EXPECT_EQ(buffer.substr(0, 4), "deep");
    EXPECT_EQ(big.path(), "Data/Big.bin");
    EXPECT_EQ(big.read(AsBytes(buffer), ec), 8u);
    EXPECT_EQ(buffer, kFiles.at("Data/Big.bin").substr(0, 8));
}

// A stored entry's bytes lie in the archive file; a packed entry's, a
// closed File's and a cut entry's (below) are not there to take.
TEST_F(ArchiveTest, StoredBytesLieInTheArchiveFile) {
    orvobf::File big = archive.open_file("Data/Big.bin", ec);
    const std::optional<orvobf::StoredBytes> stored = big.stored_bytes();
    ASSERT_TRUE(stored && stored->fd >= 0);
    EXPECT_TRUE(FileBytes(dir.File("a.bf")).compare(stored->offset, big.size(), kFiles.at("Data/Big.bin")) == 0);
    EXPECT_FALSE(archive.open_file("Data/packed/Level.txt", ec).stored_bytes());
    big.close();
    EXPECT_FALSE(big.stored_bytes());
}

int CountBox(void*, const char*, const char*, unsigned, void* count) {
    ++*static_cast<int*>(count);
    return 1;
}

// What the library reports about the archive's data reaches the error_code
// with the library's own text; another format version opens quietly here
// and is a value to read, while the system's own Open still shows its box.
TEST_F(ArchiveTest, DamagedDataIsReportedByKindAndOtherVersionsOpenWithoutABox) {
    orvobf::writer::RawArchive raw;  // ends 10 bytes into a 1000-byte entry
    raw.Header(0, 1, 32, 0).Block(1).File("s", 1000, 0).DataBaseHere().Bytes("0123456789");
    const orvobf::Archive cut = orvobf::Archive::open(WriteArchive(dir, "cut.bf", raw), ec);
    ASSERT_TRUE(cut.is_open()) << ec.message();
    EXPECT_TRUE(cut.read_all("s", ec).empty());
    Failed(errc::io_error, {"s [", "File i/o error"});
    orvobf::File file = cut.open_file("S", ec);
    EXPECT_FALSE(file.stored_bytes());
    std::string buffer(2000, '\0');
    EXPECT_EQ(file.read(AsBytes(buffer), ec), 10u);
    Failed(errc::io_error);
    EXPECT_EQ(file.tell(), 10);

    orvobf::writer::RawArchive packed;  // an image that decodes to another size than its record's
    packed.Header(0, 1, 32, 0).Block(1).File("p", 100, 0, 20).DataBaseHere().Bytes(std::string(20, '\x05'));
    EXPECT_FALSE(orvobf::Archive::open(WriteArchive(dir, "p.bf", packed), ec).open_file("p", ec).is_open());
    Failed(errc::damaged_packed_data);

    orvobf::writer::RawArchive other;
    other.Header(0, 0, 32, 36, "OrvoBF - 2.03.0\x1A").Block(0);
    const std::string newer = WriteArchive(dir, "newer.bf", other);
    int boxes = 0;
    orvobf::platform::SetMessageBoxHook(CountBox, &boxes);
    const orvobf::Archive opened = orvobf::Archive::open(newer, ec);
    EXPECT_TRUE(opened.is_open()) << ec.message();
    EXPECT_EQ(opened.format_version(), "2.03.0");
    EXPECT_TRUE(opened.format_version_differs());
    EXPECT_EQ(boxes, 0);
    BigFile bf;
    bf.Init(BIGFILE_HEADER_VERSION);
    EXPECT_EQ(bf.Open(newer.c_str(), 0), 1);
    EXPECT_EQ(boxes, 1);
    orvobf::platform::SetMessageBoxHook(nullptr, nullptr);
}

}  // namespace

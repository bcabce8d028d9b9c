// Reading archives: header, signature, directory blocks, hostile input.
#include "core_fixture.h"

namespace {

using FormatTest = CoreTest;

// Every cut of the small archive short of its data fails in the step it
// lands in and leaves a clean object; the whole archive loads.
TEST_F(FormatTest, EveryCutFailsWithItsStepsDetailAndTheWholeArchiveLoads) {
    const std::string good = SmallArchive().bytes();
    ASSERT_EQ(good.size(), 73u);
    auto expected = [](size_t length) -> uint32_t {
        if (length < 36) return 1;  // header, root count
        if (length < 40) return 2;  // nameLength of d
        if (length < 41) return 3;  // name
        if (length < 45) return 4;  // attributes
        if (length < 49) return 1;  // block count of d
        if (length < 53) return 2;
        if (length < 54) return 3;
        if (length < 58) return 4;
        return 5;                   // record
    };
    for (size_t length = 0; length < 70; ++length) {
        const std::string file = dir.Write("cut.bf", good.substr(0, length));
        EXPECT_EQ(bf.Open(file.c_str(), 0), 0) << length;
        ExpectError(BFE_FILE_IO, expected(length));
        EXPECT_EQ(bf.IsOpen(), 0u);
        EXPECT_EQ(bf.GetName(), nullptr);
        EXPECT_EQ(bf.root.count, 0u);
        EXPECT_EQ(bf.current, &bf.root);
        if (length < 32) {
            EXPECT_EQ(bf.ProbeFile(file.c_str()), 0);
            ExpectError(BFE_FILE_IO, 0);
        }
    }
    EXPECT_EQ(Open(orvobf::writer::RawArchive().Header(0, 0, 5000, 0)), 0);  // directory past the end
    ExpectError(BFE_FILE_IO, 1);

    ASSERT_EQ(bf.Open(dir.Write("small.bf", good).c_str(), 0), 1);
    EXPECT_EQ(bf.dirCount, 1u);
    EXPECT_EQ(bf.fileCount, 1u);
    EXPECT_EQ(bf.dirOffset, 32u);
    EXPECT_EQ(bf.dataBase, 70u);
    EXPECT_EQ(bf.current, &bf.root);
    EXPECT_EQ(bf.FindFile("f"), nullptr);
    ASSERT_EQ(bf.ChangeDir("D"), 1);
    const FileRecord* record = bf.FindFile("F");
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->size, 3u);
    EXPECT_EQ(bf.dataBase + record->offset, 70u);
    EXPECT_EQ(bf.GetErrorCode(), 0);
}

TEST_F(FormatTest, SignatureBytesCheckedAsDescribed) {
    const orvobf::writer::RawArchive good = SmallArchive();
    // Bytes 0-5 and 15 are checked; 6-8 are free; 9-14 (the version) warn
    // with both signatures shown, then the archive loads.
    for (size_t at = 0; at < 16; ++at) {
        std::string bytes = good.bytes();
        bytes[at] = at == 15 ? '\0' : '#';
        const std::string file = dir.Write("sig.bf", bytes);
        boxes.clear();
        const int opened = bf.Open(file.c_str(), 0);
        if (at <= 5 || at == 15) {
            EXPECT_EQ(opened, 0) << at;
            ExpectError(BFE_FILE_IO, 1);
            EXPECT_EQ(bf.ProbeFile(file.c_str()), 0);
            ExpectError(BFE_INVALID_BIGFILE, 0);
        } else {
            EXPECT_EQ(opened, 1) << at;
            EXPECT_EQ(bf.ChangeDir("d"), 1) << at;
            ASSERT_EQ(boxes.size(), at >= 9 ? 1u : 0u) << at;
            if (at >= 9) {
                EXPECT_EQ(boxes[0].caption, "BIGFILE FILE VERSION WARNING...");
                EXPECT_EQ(boxes[0].text, "Current version : \nOrvoBF - 2.02.0\x1A\nBigfile version : \n" +
                                             bytes.substr(0, 16));
            }
        }
        bf.Close();
    }
    for (const char* name : {"ORVOBF", "orvobf"}) {
        const std::string file = dir.Write("case.bf", name + good.bytes().substr(6));
        EXPECT_EQ(bf.Open(file.c_str(), 0), 1) << name;
        bf.Close();
    }
}

TEST_F(FormatTest, HostileLengthsAndCountsFailWithoutHugeAllocations) {
    struct Case {
        orvobf::writer::RawArchive archive;
        uint32_t detail;
    };
    const auto header = [](uint32_t files) { return orvobf::writer::RawArchive().Header(0, files, 32, 0); };
    const std::vector<Case> cases = {
        {header(1).Block(1).U32(0).U32(2), 3},                           // nameLength 0
        {header(1).Block(1).U32(0xFFFFFFF0u).Bytes("abc"), 3},           // a name past the end
        {header(1).Block(1).U32(9).Bytes("12345678"), 3},                // one byte more than is left
        {header(1).Block(1).U32(8).Bytes("12345678"), 4},                // all that is left: no attributes
        {header(1).Block(0xFFFFFFFFu).File("a", 0, 0), 2},               // the second entry is not there
        {header(1).Block(1).File(std::string("\0x", 2), 0, 0), 3},       // cut to nothing by a NUL
        {header(2).Block(2).File("Same", 1, 0).File("sAME", 1, 0), 6},  // one file name twice
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        orvobf::platform::ResetAllocationCount();
        const std::string file = dir.Write("hostile.bf", cases[i].archive.bytes());
        EXPECT_EQ(bf.Open(file.c_str(), 0), 0) << i;
        ExpectError(BFE_FILE_IO, cases[i].detail);
        EXPECT_LT(orvobf::platform::AllocationCount(), 20u) << i;
        EXPECT_EQ(bf.IsOpen(), 0u);
    }
    // The accepting side: a 70000-byte name whose record ends exactly at
    // the end of the file.
    const std::string longName(70000, 'n');
    ASSERT_EQ(Open(header(1).Block(1).File(longName, 0, 0)), 1) << bf.GetLastErrorText();
    ASSERT_EQ(bf.root.count, 1u);
    EXPECT_EQ(std::string(bf.root.entries[0].name), longName);
    EXPECT_NE(bf.FindFile(longName.c_str()), nullptr);
}

// Entries listed in any order are sorted, letters folded and bytes
// unsigned; a directory and a file may share a name whichever comes
// first; directories of one name merge whatever their other bits; a
// second file of one name is refused without an error of its own; names
// that a NUL byte cuts short are marked.
TEST_F(FormatTest, EntriesSortMergeAndKeepBothKinds) {
    orvobf::writer::RawArchive a;
    a.Header(5, 10, 32, 0).Block(13);
    a.File(std::string("ab\0cd", 5), 1, 0).Dir(std::string("d\0", 2)).Block(0);
    a.File("b", 1, 0).File("\xE9t\xE9", 1, 0).File("_x", 1, 0).File("9", 1, 0).File("Z", 1, 0);
    a.Dir("sub").Block(1).File("one", 1, 0);
    a.Dir("SUB", 1 | 0x100).Block(1).File("two", 1, 0);  // other bits: still merged
    a.Dir("b", 1 | 2).Block(0);                          // both bits: a directory
    a.Dir("Q").Block(0).File("q", 7, 0);
    a.File("plain", 5, 0, 0, 0);  // neither kind: a record that is never a file
    ASSERT_EQ(Open(a), 1) << bf.GetLastErrorText();
    EXPECT_EQ(Names(), (std::vector<std::string>{"9", "_x", "ab", "b", "b", "d", "plain", "Q", "q", "sub", "Z",
                                                 "\xE9t\xE9"}));
    FileRecord* record = bf.FindFile("B");
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->size, 1u);
    EXPECT_NE(bf.FindEntry("b", BF_ATTR_DIR), nullptr);
    EXPECT_NE(static_cast<void*>(record), bf.FindEntry("b", BF_ATTR_DIR));
    EXPECT_EQ(bf.FindEntry("b", BF_ATTR_DIR | BF_ATTR_FILE), nullptr);
    EXPECT_EQ(bf.FindEntry("z", BF_ATTR_DIR), nullptr);
    EXPECT_EQ(bf.FindFile("Q")->size, 7u);
    EXPECT_NE(bf.FindEntry("q", BF_ATTR_DIR), nullptr);
    EXPECT_EQ(bf.FindFile("plain"), nullptr);
    EXPECT_NE(bf.FindEntry("plain", 0), nullptr);
    EXPECT_EQ(bf.FindFile("nothing"), nullptr);

    const FileRecord other{99, 0, 0};
    EXPECT_EQ(bf.AddEntry("B", BF_ATTR_FILE, &other, nullptr), 0);
    EXPECT_EQ(bf.GetErrorCode(), 0);
    EXPECT_EQ(bf.FindFile("b")->size, 1u);
    void* again = nullptr;
    EXPECT_EQ(bf.AddEntry("Sub", BF_ATTR_DIR, nullptr, &again), 1);
    EXPECT_EQ(again, bf.FindEntry("sub", BF_ATTR_DIR));
    EXPECT_EQ(bf.root.count, 12u);
    ASSERT_EQ(bf.ChangeDir("sub"), 1);
    EXPECT_EQ(Names(), (std::vector<std::string>{"one", "two"}));
    bf.ChangeDir("/");
    FindData cursor{};
    ASSERT_EQ(bf.FindFirst(&cursor), 1);
    int withRecord = 0;
    std::string cut;
    do {
        if (cursor.record) ++withRecord;
        if (cursor.entry->nameCut) cut += std::string(cursor.entry->name) + ";";
        if (cursor.entry->attributes & BF_ATTR_DIR) {
            EXPECT_EQ(cursor.record, nullptr);
        }
    } while (bf.FindNext(&cursor));
    EXPECT_EQ(withRecord, 7);  // the files alone: neither directories nor "plain"
    EXPECT_EQ(cut, "ab;d;");
}

std::vector<int32_t> g_progress;
int Record(int32_t value) {
    g_progress.push_back(value);
    return 0;
}

TEST_F(FormatTest, ProgressReportsPercentagesAndNeverDividesByZero) {
    auto archiveWith = [&](uint32_t headerFiles) {
        orvobf::writer::RawArchive a;
        a.Header(1, headerFiles, 32, 0).Block(11).Dir("dir").Block(0);
        for (int i = 0; i < 10; ++i) a.File("f" + std::to_string(i), 0, 0);
        return dir.Write("p" + std::to_string(headerFiles) + ".bf", a.bytes());
    };
    struct Case {
        uint32_t headerFiles, interval;
        std::vector<int32_t> expected;
    };
    const Case cases[] = {
        {10, 5, {-1, 50, 100, -2}},
        {10, 3, {-1, 30, 60, 90, -2}},
        {0, 5, {-1, 100, 100, -2}},
        {10, 0, {-1, -2}},
    };
    for (const Case& c : cases) {
        g_progress.clear();
        bf.SetProgressCallback(&Record, c.interval);
        ASSERT_EQ(bf.Open(archiveWith(c.headerFiles).c_str(), 0), 1);
        EXPECT_EQ(g_progress, c.expected) << c.headerFiles << "/" << c.interval;
        bf.Close();
    }
}

}  // namespace

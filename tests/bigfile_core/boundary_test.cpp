// The accepting side of the core's limits: the longest name that still
// loads, and the deepest directory stack each operation still works at.
#include "core_fixture.h"

namespace {

using BoundaryTest = CoreTest;

TEST_F(BoundaryTest, NameLengthsUpToWhatTheFileHolds) {
    // A 70000-byte name whose record ends exactly at the end of the file.
    const std::string longName(70000, 'n');
    orvobf::writer::RawArchive whole;
    whole.Header(0, 1, 32, 0).Block(1).File(longName, 0, 0);
    ASSERT_EQ(bf.Open(dir.Write("long.bf", whole.bytes()).c_str(), 0), 1) << bf.GetLastErrorText();
    ASSERT_EQ(bf.root.count, 1u);
    EXPECT_EQ(std::string(bf.root.entries[0].name), longName);
    EXPECT_NE(bf.FindFile(longName.c_str()), nullptr);

    // A nameLength equal to the bytes left passes the length check and
    // fails only where the attributes should follow; one more is refused
    // as a name the file cannot hold.
    for (uint32_t extra : {0u, 1u}) {
        orvobf::writer::RawArchive cut;
        cut.Header(0, 1, 32, 0).Block(1).U32(8 + extra).Bytes("12345678");
        EXPECT_EQ(bf.Open(dir.Write("cut.bf", cut.bytes()).c_str(), 0), 0);
        ExpectError(BFE_FILE_IO, extra == 0 ? 4 : 3);
    }
}

TEST_F(BoundaryTest, EveryOperationWorksUpToTheLastFreeStackEntry) {
    orvobf::writer::RawArchive a;
    a.Header(1, 2, 32, 0).Block(2).Dir("d").Block(1).File("f", 0, 0).File("g", 0, 0);
    ASSERT_EQ(bf.Open(dir.Write("two.bf", a.bytes()).c_str(), 0), 1);
    FindData cursor{};
    ASSERT_EQ(bf.FindFirst(&cursor), 1);
    // FileOpen needs two free entries, ChangeDir and FindNext one.
    while (bf.dirStackDepth < BF_DIR_STACK_SIZE - 2) ASSERT_EQ(bf.PushDir(), 1);
    FileHandle h = 0;
    ASSERT_EQ(bf.FileOpen("d/f", &h, BF_MODE_BINARY), 1) << bf.GetLastErrorText();
    EXPECT_EQ(bf.dirStackDepth, BF_DIR_STACK_SIZE - 2);
    EXPECT_EQ(bf.FileClose(h), 1);

    ASSERT_EQ(bf.PushDir(), 1);
    ASSERT_EQ(bf.ChangeDir("d"), 1) << bf.GetLastErrorText();
    DirNode* d = bf.current;
    EXPECT_STREQ(d->entries[0].name, "f");
    ASSERT_EQ(bf.FindNext(&cursor), 1) << bf.GetLastErrorText();
    EXPECT_STREQ(cursor.entry->name, "g");
    EXPECT_EQ(bf.current, d);
    EXPECT_EQ(bf.dirStackDepth, BF_DIR_STACK_SIZE - 1);

    // The 256th entry is the last one the stack holds.
    ASSERT_EQ(bf.PushDir(), 1);
    EXPECT_EQ(bf.dirStackDepth, BF_DIR_STACK_SIZE);
    bf.SetCurrentDir(&bf.root);
    ASSERT_EQ(bf.PopDir(), 1);
    EXPECT_EQ(bf.current, d);
}

}  // namespace

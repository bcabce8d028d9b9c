// Navigation over a loaded tree, and the tree when memory runs out.
#include "core_fixture.h"

namespace {

using TreeTest = CoreTest;

TEST_F(TreeTest, ChangeDirMovesOnlyOnSuccess) {
    ASSERT_EQ(Open(SmallTree()), 1);
    EXPECT_EQ(bf.ChangeDir(""), 1);
    EXPECT_EQ(bf.current, &bf.root);
    ASSERT_EQ(bf.ChangeDir("a\\X"), 1);  // case folded, either separator
    DirNode* x = bf.current;
    EXPECT_EQ(Names(), std::vector<std::string>{});
    ASSERT_EQ(bf.ChangeDir("/A"), 1);  // a leading separator starts at the root
    ASSERT_EQ(bf.ChangeDir("x"), 1);
    EXPECT_EQ(bf.current, x);
    EXPECT_EQ(bf.ChangeDir("\\"), 1);
    EXPECT_EQ(bf.current, &bf.root);
    EXPECT_EQ(bf.ChangeDir("/"), 1);
    EXPECT_EQ(bf.current, &bf.root);

    ASSERT_EQ(bf.ChangeDir("A"), 1);
    DirNode* a = bf.current;
    ASSERT_EQ(bf.PushDir(), 1);
    for (const char* bad : {"x//", "..", "y", "x/missing", "/A/y"}) {
        EXPECT_EQ(bf.ChangeDir(bad), 0) << bad;
        EXPECT_EQ(bf.current, a) << bad;
        EXPECT_EQ(bf.dirStackDepth, 1u) << bad;
    }
}

TEST_F(TreeTest, EveryOperationWorksUpToItsLastFreeEntryAndFailsPastIt) {
    orvobf::writer::RawArchive a;
    a.Header(1, 2, 32, 0).Block(2).Dir("d").Block(1).File("f", 0, 0).File("g", 0, 0);
    ASSERT_EQ(Open(a), 1);
    EXPECT_EQ(bf.PopDir(), 0);
    ExpectError(BFE_DIR_STACK_EMPTY, 0);
    EXPECT_EQ(bf.DropDir(), 0);
    ExpectError(BFE_DIR_STACK_EMPTY, 0);

    FindData cursor{}, stalled{};
    ASSERT_EQ(bf.FindFirst(&cursor), 1);
    ASSERT_EQ(bf.FindFirst(&stalled), 1);
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

    // The 256th entry is the last one the stack holds; past it every
    // operation fails and leaves the directory and the stack alone.
    ASSERT_EQ(bf.PushDir(), 1);
    EXPECT_EQ(bf.dirStack[BF_DIR_STACK_SIZE - 1], d);
    EXPECT_EQ(bf.PushDir(), 0);
    ExpectError(BFE_DIR_STACK_FULL, 0);
    EXPECT_EQ(bf.ChangeDir("/"), 0);
    ExpectError(BFE_DIR_STACK_FULL, 0);
    EXPECT_EQ(bf.FindNext(&stalled), 0);
    ExpectError(BFE_DIR_STACK_FULL, 0);
    EXPECT_EQ(bf.current, d);
    EXPECT_EQ(bf.dirStackDepth, BF_DIR_STACK_SIZE);
    bf.SetCurrentDir(&bf.root);
    ASSERT_EQ(bf.PopDir(), 1);
    EXPECT_EQ(bf.current, d);
    ASSERT_EQ(bf.DropDir(), 1);
    EXPECT_EQ(bf.FindNext(&stalled), 1);
    EXPECT_STREQ(stalled.entry->name, "g");
}

TEST_F(TreeTest, EnumerationFollowsTheCursorsNode) {
    ASSERT_EQ(Open(SmallTree()), 1);
    FindData cursor{};
    ASSERT_EQ(bf.ChangeDir("A/x"), 1);
    EXPECT_EQ(bf.FindFirst(&cursor), 0);
    ExpectError(BFE_NO_MORE_ENTRIES, 0);

    ASSERT_EQ(bf.ChangeDir("/"), 1);
    ASSERT_EQ(bf.FindFirst(&cursor), 1);
    EXPECT_EQ(cursor.index, 1u);
    EXPECT_STREQ(cursor.entry->name, "A");
    EXPECT_EQ(cursor.record, nullptr);
    ASSERT_EQ(bf.ChangeDir("A"), 1);
    DirNode* a = bf.current;
    std::vector<uint32_t> sizes;
    while (bf.FindNext(&cursor)) sizes.push_back(cursor.record ? cursor.record->size : 0);
    ExpectError(BFE_NO_MORE_ENTRIES, 0);
    EXPECT_EQ(sizes, (std::vector<uint32_t>{1, 2, 3}));
    EXPECT_EQ(bf.current, a);
}

TEST_F(TreeTest, FailedAllocationsLeaveTheTreeAsItWas) {
    ASSERT_EQ(Open(SmallTree()), 1);
    // AddEntry makes the payload, the name copy and (at capacity 4) the
    // grown array: fail each in turn.
    ASSERT_EQ(bf.root.count, bf.root.capacity);
    const std::vector<std::string> names = Names();
    const uint32_t details[] = {1, 2, 2};
    for (uint64_t n = 1; n <= 3; ++n) {
        orvobf::platform::FailAllocationAfter(n);
        EXPECT_EQ(bf.AddEntry("d", BF_ATTR_FILE, nullptr, nullptr), 0) << n;
        ExpectError(BFE_MEMORY, details[n - 1]);
        EXPECT_EQ(Names(), names);
    }
    orvobf::platform::FailAllocationAfter(1);
    EXPECT_EQ(bf.AddEntry("d", BF_ATTR_DIR, nullptr, nullptr), 0);
    ExpectError(BFE_MEMORY, 0);

    // ChangeDir's path split failing anywhere restores the directory.
    ASSERT_EQ(bf.ChangeDir("A"), 1);
    DirNode* a = bf.current;
    for (uint64_t n = 1; n <= 4; ++n) {
        orvobf::platform::FailAllocationAfter(n);
        EXPECT_EQ(bf.ChangeDir("/A/x"), 0) << n;
        ExpectError(BFE_MEMORY, 0);
        EXPECT_EQ(bf.current, a);
        EXPECT_EQ(bf.dirStackDepth, 0u);
    }
    orvobf::platform::FailAllocationAfter(0);
    EXPECT_EQ(bf.ChangeDir("/A/x"), 1);
}

}  // namespace

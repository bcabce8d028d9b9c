// The in-memory tree built through AddEntry, and navigation over it.
#include "core_fixture.h"

namespace {

class TreeTest : public CoreTest {
protected:
    void TearDown() override {
        bf.BigFileCore::Close();  // frees a tree built without Open
        CoreTest::TearDown();
    }
    DirNode* AddDir(const char* name) {
        void* node = nullptr;
        EXPECT_EQ(bf.AddEntry(name, BF_ATTR_DIR, nullptr, &node), 1) << name;
        return static_cast<DirNode*>(node);
    }
    void AddFile(const char* name, uint32_t size = 0, uint32_t attributes = BF_ATTR_FILE) {
        const FileRecord record{size, 0, 0};
        EXPECT_EQ(bf.AddEntry(name, attributes, &record, nullptr), 1) << name;
    }
    // root: A/ (x/, y), a, b; A/x/ is empty.
    void SmallTree() {
        DirNode* a = AddDir("A");
        AddFile("a", 1);
        AddFile("b", 2);
        bf.SetCurrentDir(a);
        AddDir("x");
        AddFile("y", 3);
        bf.SetCurrentDir(&bf.root);
    }
};

TEST_F(TreeTest, OrderAndNamesakesOfBothKinds) {
    AddFile("b");
    AddFile("c");
    AddDir("A");
    AddFile("a");
    EXPECT_EQ(Names(), (std::vector<std::string>{"A", "a", "b", "c"}));
    AddFile("_u");
    AddFile("9");
    AddFile("Z");
    AddFile("\xC3\xA9");  // bytes >= 0x80 sort after every letter, unsigned
    EXPECT_EQ(Names(), (std::vector<std::string>{"9", "_u", "A", "a", "b", "c", "Z", "\xC3\xA9"}));

    // The file was added after the directory of its name, and the other
    // way round for "q": both are found whichever came first.
    AddFile("q", 7);
    AddDir("Q");
    ASSERT_NE(bf.FindFile("A"), nullptr);
    EXPECT_EQ(bf.FindFile("Q")->size, 7u);
    EXPECT_NE(bf.FindEntry("a", BF_ATTR_DIR), nullptr);
    EXPECT_NE(bf.FindEntry("q", BF_ATTR_DIR), nullptr);
    EXPECT_NE(bf.FindEntry("C", 0), nullptr);
    EXPECT_EQ(bf.FindEntry("b", BF_ATTR_DIR), nullptr);
    EXPECT_EQ(bf.FindFile("nothing"), nullptr);

    // A second file of one name is refused quietly; a second directory is
    // the first one handed out again, so its entries merge.
    const uint32_t before = bf.root.count;
    const FileRecord other{99, 0, 0};
    EXPECT_EQ(bf.AddEntry("B", BF_ATTR_FILE, &other, nullptr), 0);
    EXPECT_EQ(bf.GetErrorCode(), 0);
    EXPECT_EQ(bf.FindFile("b")->size, 0u);
    DirNode* first = AddDir("sub");
    bf.SetCurrentDir(first);
    AddFile("one");
    bf.SetCurrentDir(&bf.root);
    EXPECT_EQ(AddDir("SUB"), first);
    bf.SetCurrentDir(first);
    AddFile("two");
    EXPECT_EQ(Names(), (std::vector<std::string>{"one", "two"}));
    bf.SetCurrentDir(&bf.root);
    EXPECT_EQ(bf.root.count, before + 1);

    // Neither kind bit set: an entry with a record that is never a file.
    AddFile("plain", 5, 0);
    EXPECT_EQ(bf.FindFile("plain"), nullptr);
    EXPECT_NE(bf.FindEntry("plain", 0), nullptr);
}

TEST_F(TreeTest, ChangeDirMovesOnlyOnSuccess) {
    SmallTree();
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

using StackTest = CoreTest;

TEST_F(StackTest, EveryOperationWorksUpToItsLastFreeEntryAndFailsPastIt) {
    orvobf::writer::RawArchive a;
    a.Header(1, 2, 32, 0).Block(2).Dir("d").Block(1).File("f", 0, 0).File("g", 0, 0);
    ASSERT_EQ(bf.Open(dir.Write("two.bf", a.bytes()).c_str(), 0), 1);
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
    SmallTree();
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
    EXPECT_EQ(sizes, (std::vector<uint32_t>{1, 2}));
    EXPECT_EQ(bf.current, a);
}

TEST_F(TreeTest, FailedAllocationsLeaveTheTreeAsItWas) {
    SmallTree();
    // AddEntry makes the payload, the name copy and (at capacity 4) the
    // grown array: fail each in turn.
    AddFile("c");
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

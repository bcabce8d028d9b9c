// BigFileWalker: every entry of a loaded tree with its full path, kind and
// record, at any depth, without the directory stack or the current
// directory.
#include "core_fixture.h"

namespace {

using WalkTest = CoreTest;

// An entry as the walker yields it: "path kind depth size", size -1 for
// no record.
std::string Seen(const std::string& path, uint32_t kind, uint32_t depth, int64_t size) {
    return path + " " + std::to_string(kind) + " " + std::to_string(depth) + " " + std::to_string(size);
}

std::vector<std::string> WalkAll(BigFileWalker& walker) {
    std::vector<std::string> seen;
    WalkEntry e{};
    while (walker.Next(&e)) {
        seen.push_back(Seen(e.path, e.kind, e.depth, e.record ? int64_t{e.record->size} : -1));
        EXPECT_STREQ(e.name, e.entry->name);
    }
    return seen;
}

// Root (listed unsorted): d, a chain of 300 directories d whose every
// level but the last also holds "d" and a file f of the level's number;
// zeta; odd (neither kind); both (both bits: a directory); Alpha holding x.
constexpr uint32_t kLevels = 300;

orvobf::writer::RawArchive ShapedArchive() {
    orvobf::writer::RawArchive a;
    a.Header(kLevels + 2, kLevels + 3, 32, 0).Block(5).Dir("d");
    for (uint32_t j = 1; j < kLevels; ++j) a.Block(2).Dir("d");
    a.Block(1).File("f", kLevels, 0);
    for (uint32_t j = kLevels - 1; j >= 1; --j) a.File("f", j, 0);
    a.File("zeta", 1, 0).File("odd", 5, 0, 0, 0).Dir("both", 3).Block(0).Dir("Alpha").Block(1).File("x", 7, 0);
    return a;
}

TEST_F(WalkTest, YieldsEveryEntryInPreOrderWhateverTheStackAndCurrentDirectory) {
    ASSERT_EQ(Open(ShapedArchive()), 1) << bf.GetLastErrorText();
    std::vector<std::string> expected = {Seen("Alpha", BF_KIND_DIR, 0, -1), Seen("Alpha/x", BF_KIND_FILE, 1, 7),
                                         Seen("both", BF_KIND_DIR, 0, -1)};
    std::string chain;
    for (uint32_t j = 1; j <= kLevels; ++j) {
        chain += j == 1 ? "d" : "/d";
        expected.push_back(Seen(chain, BF_KIND_DIR, j - 1, -1));
    }
    for (uint32_t j = kLevels; j >= 1; --j) {
        expected.push_back(Seen(chain + "/f", BF_KIND_FILE, j, j));
        chain.resize(chain.size() - (j == 1 ? 1 : 2));
    }
    expected.push_back(Seen("odd", BF_KIND_NEITHER, 0, 5));
    expected.push_back(Seen("zeta", BF_KIND_FILE, 0, 1));

    // The caller's directory and a full stack are left as they are.
    ASSERT_EQ(bf.ChangeDir("Alpha"), 1);
    DirNode* alpha = bf.current;
    for (uint32_t i = 0; i < BF_DIR_STACK_SIZE; ++i) ASSERT_EQ(bf.PushDir(), 1);
    BigFileWalker walker(bf);
    EXPECT_EQ(WalkAll(walker), expected);
    ExpectError(BFE_NO_MORE_ENTRIES, 0);
    WalkEntry e{};
    EXPECT_EQ(walker.Next(&e), 0);
    EXPECT_EQ(walker.Failed(), 0);
    EXPECT_EQ(bf.current, alpha);
    EXPECT_EQ(bf.dirStackDepth, BF_DIR_STACK_SIZE);
    EXPECT_EQ(walker.Next(nullptr), 0);
    ExpectError(BFE_BAD_PARAMETER, 1);

    // The parent handed out is where the entry's name is found.
    BigFileWalker again(bf);
    while (again.Next(&e)) {
        if (e.kind != BF_KIND_FILE) continue;
        bf.SetCurrentDir(e.parent);
        EXPECT_EQ(bf.FindFile(e.name), e.record) << e.path;
    }
}

// Loading, walking and freeing a tree deeper than any call stack.
TEST_F(WalkTest, HundredThousandLevelsAndAnEmptyTree) {
    const uint32_t levels = 100000;
    orvobf::writer::RawArchive a;
    a.Header(levels, 1, 32, 0).Nested(levels, "d").Block(1).File("leaf", 0, 0);
    ASSERT_EQ(Open(a), 1) << bf.GetLastErrorText();
    EXPECT_EQ(bf.current, &bf.root);
    BigFileWalker walker(bf);
    WalkEntry e{};
    uint32_t count = 0;
    std::string last;
    while (walker.Next(&e)) {
        ++count;
        if (e.kind == BF_KIND_FILE) last = e.path;
    }
    EXPECT_EQ(count, levels + 1);
    EXPECT_EQ(e.depth, levels);
    std::string path;
    for (uint32_t i = 0; i < levels; ++i) path += "d/";
    EXPECT_EQ(last, path + "leaf");
    EXPECT_EQ(bf.Close(), 1);
    EXPECT_EQ(bf.root.entries, nullptr);

    ASSERT_EQ(Open(orvobf::writer::RawArchive().Header(0, 0, 32, 0).Block(0)), 1);
    BigFileWalker none(bf);
    EXPECT_EQ(none.Next(&e), 0);
    ExpectError(BFE_NO_MORE_ENTRIES, 0);
}

TEST_F(WalkTest, RunningOutOfMemoryEndsTheWalkAsAFailure) {
    ASSERT_EQ(Open(ShapedArchive()), 1);
    size_t complete = 0;
    {
        BigFileWalker walker(bf);
        complete = WalkAll(walker).size();
    }
    int failures = 0;
    for (uint64_t n = 1; n < 100; ++n) {
        BigFileWalker walker(bf);
        orvobf::platform::FailAllocationAfter(n);
        const size_t seen = WalkAll(walker).size();
        orvobf::platform::FailAllocationAfter(0);
        if (!walker.Failed()) {
            EXPECT_EQ(seen, complete) << n;
            break;
        }
        ++failures;
        ExpectError(BFE_MEMORY, 5);
        EXPECT_LT(seen, complete) << n;
        WalkEntry e{};
        EXPECT_EQ(walker.Next(&e), 0) << "a failed walk stays failed";
    }
    EXPECT_GE(failures, 3);  // the first level, the path, and their growth
}

}  // namespace

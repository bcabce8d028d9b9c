// The archive object's life: Init, Open, Close and probing.
#include "core_fixture.h"

namespace {

using LifecycleTest = CoreTest;

int g_progressCalls = 0;
int CountProgress(int32_t) { return ++g_progressCalls; }

TEST_F(LifecycleTest, OpenReopenAndFailuresLeaveACleanObject) {
    const std::string small = dir.Write("Small.bf", SmallArchive().bytes());
    bf.SetSearchArchive(0);
    bf.SetProgressCallback(&CountProgress, 1);
    ASSERT_EQ(bf.Open(small.c_str(), 0), 1);
    EXPECT_EQ(bf.searchArchive, 1u);  // Open resets the settings
    bf.SetSearchArchive(0);
    g_progressCalls = 0;
    std::string upper = small;
    upper.replace(upper.size() - 8, 8, "SMALL.BF");
    // The same archive in other letter case is not read again.
    ASSERT_EQ(bf.Open(upper.c_str(), 0), 1);
    EXPECT_EQ(g_progressCalls, 0);
    EXPECT_EQ(bf.searchArchive, 0u);

    // Opening another archive closes the first with all its handles.
    FileHandle disk = 0;
    const std::string loose = dir.Write("loose.txt", std::vector<unsigned char>{'x'});
    ASSERT_EQ(bf.FileOpen(loose.c_str(), &disk, BF_MODE_BINARY), 1);
    const std::string other = dir.Write("other.bf", SmallArchive().bytes());
    ASSERT_EQ(bf.Open(other.c_str(), 0), 1);
    EXPECT_EQ(bf.FileTell(disk), -1);
    ExpectError(BFE_BAD_HANDLE, 0);

    const std::string missing = dir.File("missing.bf");
    EXPECT_EQ(bf.Open(missing.c_str(), 0), 0);
    ExpectError(BFE_CANNOT_OPEN, 0);
    EXPECT_EQ(bf.IsOpen(), 0u);
    EXPECT_EQ(bf.GetName(), nullptr);

    ASSERT_EQ(bf.Open(small.c_str(), 0), 1);
    EXPECT_EQ(bf.Close(), 1);
    EXPECT_EQ(bf.Close(), 1);
    EXPECT_EQ(bf.IsOpen(), 0u);
}

TEST_F(LifecycleTest, EveryFailedAllocationOfOpenIsReportedAndUndone) {
    orvobf::writer::RawArchive a;
    a.Header(2, 3, 32, 0).Block(3).Dir("d").Block(2).File("f", 1, 0).File("g", 1, 1).Dir("e").Block(0).File("h", 1, 2);
    a.DataBaseHere().Bytes("abc");
    const std::string file = dir.Write("alloc.bf", a.bytes());
    int failures = 0;
    for (uint64_t n = 1; n < 1000; ++n) {
        orvobf::platform::FailAllocationAfter(n);
        const int ok = bf.Open(file.c_str(), 0);
        orvobf::platform::FailAllocationAfter(0);
        if (ok) break;
        ++failures;
        EXPECT_EQ(bf.GetErrorCode(), BFE_MEMORY) << n;
        EXPECT_EQ(bf.IsOpen(), 0u) << n;
        EXPECT_EQ(bf.root.count, 0u) << n;
        EXPECT_EQ(bf.current, &bf.root) << n;
    }
    EXPECT_GT(failures, 8);  // path, names, entries and payloads all allocate
    ASSERT_EQ(bf.IsOpen(), 1u);
    ASSERT_EQ(bf.ChangeDir("d"), 1);
    EXPECT_EQ(Names(), (std::vector<std::string>{"f", "g"}));
}

TEST_F(LifecycleTest, VersionWarningAndProbe) {
    BigFile other;
    EXPECT_EQ(other.Init(2069), 1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "WARNING...");
    EXPECT_EQ(boxes[0].text,
              "ORVOBF.H reports to be at version 2070\nand LIBRARY indicates version 2069.\n"
              "Check out for updated library\nat technical direction offices.");
    BfLock* lock = other.lock;
    EXPECT_EQ(other.Init(BIGFILE_HEADER_VERSION), 1);
    EXPECT_EQ(other.lock, lock);  // a lock in use is never replaced

    const std::string small = dir.Write("small.bf", SmallArchive().bytes());
    ASSERT_EQ(bf.Open(small.c_str(), 0), 1);
    EXPECT_EQ(bf.ProbeFile(small.c_str()), 1);  // probing leaves the open archive alone
    EXPECT_EQ(bf.IsOpen(), 1u);
    EXPECT_EQ(bf.ChangeDir("d"), 1);
}

}  // namespace

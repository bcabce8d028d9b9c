// Forwarding details of the plain functions that a caller relies on.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include <orvobf/archive_writer.h>
#include <orvobf/ORVOBF.H>
#include <orvobf/platform.h>
#include <orvobf/platform_test_hooks.h>
#include "temp_dir.h"

namespace {
// One stored text file and one packed entry (its image is never valid
// here: what matters is how far the open gets in each mode).
std::string WriteArchive(const TempDir& dir) {
    orvobf::writer::RawArchive raw;
    raw.Header(0, 2, 32, 0).Block(2).File("p.bin", 100, 0, 1).File("t.txt", 4, 0);
    raw.DataBaseHere().Bytes("a\r\nb");
    const std::string path = dir.File("a.bf");
    std::string error;
    EXPECT_TRUE(raw.WriteTo(path, &error)) << error;
    return path;
}

struct Recording : BigFile {
    int inits = 0, opens = 0, closes = 0;
    int Init(int32_t version) override { return ++inits, BigFile::Init(version); }
    int Open(const char* path, uint32_t flags) override { return ++opens, BigFile::Open(path, flags); }
    int Close() override { return ++closes, BigFile::Close(); }
};

std::vector<int32_t> g_progress;
int Progress(int32_t value) { return g_progress.push_back(value), 0; }
}  // namespace

TEST(FlatApi, OpenCloseInitGoThroughTheVirtualSlots) {
    TempDir dir;
    const std::string path = WriteArchive(dir);
    Recording r;
    EXPECT_EQ(BF_Init(&r, BIGFILE_HEADER_VERSION), 1);
    EXPECT_EQ(BF_Open(&r, dir.File("none.bf").c_str(), 0), 0);
    EXPECT_EQ(BF_GetErrorCode(&r), BFE_CANNOT_OPEN);
    EXPECT_EQ(BF_Open(&r, path.c_str(), BF_OPEN_UNBUFFERED), 1);
    EXPECT_EQ(BF_Close(&r), 1);
    EXPECT_EQ(r.inits, 1);
    EXPECT_EQ(r.opens, 2);
    EXPECT_GE(r.closes, 1);
    EXPECT_EQ(BF_IsOpen(&r), 0u);
}

// BF_Create's object through the plain functions alone: both open modes,
// the argument check and the settings, and BF_Destroy closing the handles
// and, last, the log.
TEST(FlatApi, CreateOpensChecksSettingsAndDestroyClosesEverything) {
    BF_Destroy(nullptr);
    orvobf::platform::FailAllocationAfter(1);
    EXPECT_EQ(BF_Create(), nullptr);
    orvobf::platform::FailAllocationAfter(0);

    TempDir dir;
    const std::string path = WriteArchive(dir);
    BigFile* bf = BF_Create();
    ASSERT_NE(bf, nullptr);
    EXPECT_EQ(bf->handleCount, 256u);
    ASSERT_EQ(BF_Init(bf, BIGFILE_HEADER_VERSION), 1);
    EXPECT_EQ(BF_Open(bf, dir.File("none.bf").c_str(), 0), 0);
    int value = 0;
    EXPECT_EQ(BF_CheckArgument(bf, &value, 0), 1);
    EXPECT_EQ(BF_GetErrorCode(bf), BFE_CANNOT_OPEN);  // untouched by a pass
    EXPECT_EQ(BF_CheckArgument(bf, nullptr, 3), 0);
    EXPECT_EQ(BF_GetErrorCode(bf), BFE_BAD_PARAMETER);
    EXPECT_EQ(BF_GetErrorDetail(bf), 1u);

    ASSERT_EQ(BF_SetLogFile(bf, dir.File("log.txt").c_str()), 1);
    BF_SetProgressCallback(bf, Progress, 1);
    ASSERT_EQ(BF_Open(bf, path.c_str(), 0), 1);
    EXPECT_EQ(g_progress, (std::vector<int32_t>{-1, 50, 100, -2}));
    FileHandle binary = 0, text = 0;
    ASSERT_EQ(BF_FileOpen(bf, "t.txt", &binary), 1);
    ASSERT_EQ(BF_FileOpenText(bf, "T.TXT", &text), 1);
    char bytes[8];
    uint32_t got = 0;
    EXPECT_EQ(BF_FileRead(bf, binary, bytes, 8, &got), 1);
    EXPECT_EQ(std::string(bytes, got), "a\r\nb");
    EXPECT_EQ(BF_FileRead(bf, text, bytes, 8, &got), 1);
    EXPECT_EQ(std::string(bytes, got), "a\nb");

    // A packed entry fails through each plain open exactly as FileOpen
    // fails in that mode on an object of its own.
    BigFile direct;
    direct.Init(BIGFILE_HEADER_VERSION);
    ASSERT_EQ(direct.Open(path.c_str(), 0), 1);
    for (uint32_t mode : {BF_MODE_BINARY, BF_MODE_TEXT}) {
        FileHandle h = 0, d = 0;
        const int flat = mode == BF_MODE_TEXT ? BF_FileOpenText(bf, "p.bin", &h) : BF_FileOpen(bf, "p.bin", &h);
        const int ref = direct.FileOpen("p.bin", &d, mode);
        EXPECT_EQ(flat, ref) << mode;
        EXPECT_EQ(BF_GetErrorCode(bf), direct.GetErrorCode()) << mode;
        EXPECT_EQ(BF_GetErrorDetail(bf), direct.GetErrorDetail()) << mode;
        if (flat) BF_FileClose(bf, h);
        if (ref) direct.FileClose(d);
    }

    FileHandle h = 0;
    BF_SetSearchArchive(bf, 0);
    EXPECT_EQ(BF_FileOpen(bf, "t.txt", &h), 0);
    EXPECT_EQ(BF_GetErrorCode(bf), BFE_CANNOT_OPEN);
    BF_SetSearchArchive(bf, 1);
    BF_SetDiskFirst(bf, 1);
    ASSERT_EQ(BF_FileOpen(bf, path.c_str(), &h), 1);  // the archive itself, from disk
    EXPECT_EQ(BF_FileSize(bf, h), static_cast<int32_t>(FileBytes(path).size()));
    BF_Destroy(bf);
    const std::string log = FileBytes(dir.File("log.txt"));
    EXPECT_NE(log.find("[t.txt] in mode 32768 handle 1\n"), std::string::npos) << log;
    EXPECT_NE(log.find("[T.TXT] in mode 16384 handle 2\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Closing file 1 \n"), std::string::npos) << log;
}

// The object's error state shows whichever thread failed last; each
// thread's own call error shows its own failure.
TEST(FlatApi, CallErrorsAreEachThreadsOwn) {
    TempDir dir;
    const std::string path = WriteArchive(dir);
    BigFile bf;
    ASSERT_EQ(BF_Init(&bf, BIGFILE_HEADER_VERSION), 1);
    ASSERT_EQ(BF_Open(&bf, path.c_str(), 0), 1);
    char buffer[4];
    uint32_t got = 0, detail = 0;
    BF_ClearError(&bf);
    EXPECT_EQ(BF_FileRead(&bf, 7, buffer, 4, &got), 0);
    std::thread([&] {
        EXPECT_EQ(BF_GetCallError(&bf, nullptr), 0);
        EXPECT_EQ(BF_FileRead(&bf, 1, nullptr, 4, &got), 0);
        EXPECT_EQ(BF_GetCallError(&bf, &detail), BFE_BAD_PARAMETER);
    }).join();
    EXPECT_EQ(BF_GetErrorCode(&bf), BFE_BAD_PARAMETER);
    EXPECT_EQ(BF_GetCallError(&bf, &detail), BFE_BAD_HANDLE);
    EXPECT_EQ(detail, 0u);
}

// Every row of the error-text table written out in full: prefix "BigFile
// Error %4d" and a tab, the message, the detail in lower-case hex without
// leading zeros.
#include "core_fixture.h"

namespace {

using ErrorTextTest = CoreTest;

struct Row {
    int32_t code;
    uint32_t detail;
    const char* text;
};

const Row kRows[] = {
    {BFE_UNDEFINED, 0, "BigFile Error -5050\tUndefined error (0)."},
    {BFE_UNDEFINED, 0xabc, "BigFile Error -5050\tUndefined error (abc)."},
    {BFE_CANNOT_OPEN, 0xfe, "BigFile Error -5100\tFile cannot be opened.(fe)."},
    {BFE_FILE_IO, 0xfe, "BigFile Error -5110\tFile i/o error (fe)."},
    {BFE_MEMORY, 0xfe, "BigFile Error -5120\tMemory allocation error (fe)."},
    {BFE_FATAL, 0xfe, "BigFile Error -5130\tFatal error (fe)."},
    {BFE_BAD_PARAMETER, 26, "BigFile Error -5360\tBad parameter (1a)."},
    {BFE_DIR_STACK_FULL, 0xfe, "BigFile Error -5500\tDirectory stack is full (fe)."},
    {BFE_DIR_STACK_EMPTY, 0xfe, "BigFile Error -5510\tDirectory stack is empty (fe)."},
    {BFE_NO_MORE_ENTRIES, 0xfe, "BigFile Error -5520\tNo more entries in directory (fe)."},
    {BFE_INVALID_BIGFILE, 0xfe, "BigFile Error -5530\tSpecified big file error is invalid (fe)."},
    {BFE_SEEK, 0xfe, "BigFile Error -5540\tSeek file error (fe)."},
    {BFE_BAD_HANDLE, 0xfe, "BigFile Error -5550\tbad big file handle (fe)."},
    // The longest text of all.
    {BFE_CRITICAL_SECTION, 0xFFFFFFFFu, "BigFile Error -5560\tcannot initialize critical section handle (ffffffff)."},
    // No message of their own: no detail shown.
    {BFE_PACKED_STREAM, 0, "BigFile Error -5570\tUndefined error."},
    {BFE_PACKED_STREAM, 1, "BigFile Error -5570\tUndefined error."},
    {BFE_PACKED_TEXT_MODE, 0, "BigFile Error -5580\tUndefined error."},
    {0, 0, "BigFile Error    0\tUndefined error."},
    {-1, 7, "BigFile Error   -1\tUndefined error."},
    {12, 0, "BigFile Error   12\tUndefined error."},
    {-5111, 0, "BigFile Error -5111\tUndefined error."},
    {INT32_MIN, 0, "BigFile Error -2147483648\tUndefined error."},
};

TEST_F(ErrorTextTest, EveryCodeAndDetailHasTheTablesText) {
    for (const Row& row : kRows) {
        EXPECT_STREQ(bf.GetErrorText(row.code, row.detail), row.text) << row.code << "/" << row.detail;
        bf.SetError(row.code, row.detail);
        EXPECT_STREQ(bf.GetLastErrorText(), row.text) << row.code << "/" << row.detail;
    }
    // One buffer: the next text replaces the last one.
    const char* first = bf.GetErrorText(BFE_SEEK, 1);
    EXPECT_EQ(bf.GetErrorText(BFE_MEMORY, 2), first);
    EXPECT_STREQ(first, "BigFile Error -5120\tMemory allocation error (2).");

    // A successful Open clears the state.
    ASSERT_EQ(bf.Open(dir.Write("small.bf", SmallArchive().bytes()).c_str(), 0), 1);
    EXPECT_STREQ(bf.GetLastErrorText(), "BigFile Error    0\tUndefined error.");
}

}  // namespace

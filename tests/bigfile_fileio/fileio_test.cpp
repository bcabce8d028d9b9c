// Files through the handle table: end-of-file rules, seeks, several
// handles on one entry, slots, lookups and their longest names, disk
// handles, text mode, entries at and past the archive's end, bad handles
// and the debug log.
#include <regex>

#include "fileio_fixture.h"
#include <orvobf/platform.h>
#include <orvobf/platform_test_hooks.h>

namespace {
const std::string kTen = "0123456789";
}

TEST_F(ArchiveFixture, EndOfFileOnlyPastTheEndAndSeeksStayInsideTheEntry) {
    Make({{"ten", kTen}, {"next", "NEXT"}});
    FileHandle h = OpenOk("ten");
    EXPECT_EQ(bf.FileSize(h), 10);
    EXPECT_EQ(Read(h, 10), kTen);
    EXPECT_EQ(bf.FileEof(h), 0);
    EXPECT_EQ(Read(h, 1), "");
    EXPECT_EQ(bf.FileEof(h), 1);
    ASSERT_EQ(bf.FileSeek(h, 0, 0), 1);
    EXPECT_EQ(bf.FileEof(h), 0);
    EXPECT_EQ(bf.FileTell(h), 0);
    EXPECT_EQ(Read(h, 20), kTen);  // never the next entry's bytes
    EXPECT_EQ(bf.FileEof(h), 1);
    ASSERT_EQ(bf.FileSeek(h, 3, 0), 1);
    EXPECT_EQ(Read(h, 1), "3");  // the one-byte path
    EXPECT_EQ(bf.FileTell(h), 4);

    EXPECT_EQ(bf.FileSeek(h, 0, 2), 1);
    EXPECT_EQ(bf.FileTell(h), 10);
    EXPECT_EQ(bf.FileSeek(h, 10, 2), 1);  // from the end, counted backwards
    EXPECT_EQ(bf.FileTell(h), 0);
    EXPECT_EQ(bf.FileSeek(h, 4, 1), 1);
    const int32_t code = bf.GetErrorCode();
    EXPECT_EQ(bf.FileSeek(h, -1, 2), 0);
    EXPECT_EQ(bf.FileSeek(h, 11, 0), 0);
    EXPECT_EQ(bf.FileSeek(h, -5, 1), 0);
    EXPECT_EQ(bf.FileSeek(h, INT32_MAX, 1), 0);  // no wrap into a neighbour
    EXPECT_EQ(bf.GetErrorCode(), code);         // out of range sets no code
    EXPECT_EQ(bf.FileTell(h), 4);
    EXPECT_EQ(bf.FileSeek(h, 10, 0), 1);
    EXPECT_EQ(bf.FileSeek(h, 99, 7), 1);  // other origins go to the start
    EXPECT_EQ(Read(h, 2), "01");
}

// Handles on one stored entry, on one packed entry and on another entry
// read in turns, each its own bytes from its own position.
TEST_F(ArchiveFixture, HandlesReadTheirOwnBytesInTurns) {
    const std::string big = Contents(150000, 1);
    Make({{"big", big}, {"p/big", big}, {"ten", kTen}}, "p/");
    const FileHandle handles[] = {OpenOk("big"), OpenOk("big"), OpenOk("p/big"), OpenOk("p/big")};
    const FileHandle c = OpenOk("ten");
    std::string got[4], gotC;
    for (int round = 0; round < 40; ++round) {
        got[0] += Read(handles[0], 1000 + round);
        got[1] += Read(handles[1], 3 - round % 3);
        got[2] += Read(handles[2], 3333);
        got[3] += Read(handles[3], 1 + round % 2);
        if (round % 4 == 0) gotC += Read(c, 1);
        if (round == 20) {
            ASSERT_EQ(bf.FileSeek(handles[1], 0, 1), 1);  // seeking one leaves the others alone
        }
    }
    for (int i = 0; i < 4; ++i) EXPECT_EQ(got[i], big.substr(0, got[i].size())) << i;
    EXPECT_EQ(gotC, kTen);

    // Reads are positioned: no handle moves a stream position that another
    // handle would have to put back, whatever the order of reads and seeks.
    const uint64_t seeks = orvobf::platform::StreamSeekCount();
    ASSERT_EQ(bf.FileSeek(handles[0], 0, 0), 1);
    EXPECT_EQ(Read(handles[0], 10), big.substr(0, 10));
    EXPECT_EQ(Read(handles[1], 1), big.substr(got[1].size(), 1));
    EXPECT_EQ(Read(handles[0], 100), big.substr(10, 100));
    EXPECT_EQ(orvobf::platform::StreamSeekCount(), seeks);
}

TEST_F(ArchiveFixture, SlotsAreLowestFirstAndRunOutAt255ForDiskAndArchiveAlike) {
    Make({{"f", "x"}});
    const std::string disk = dir.Write("disk.bin", {'d'});
    bf.SetSearchArchive(0);
    for (FileHandle i = 1; i < 255; ++i) ASSERT_EQ(OpenOk(disk.c_str()), i);
    bf.SetSearchArchive(1);
    EXPECT_EQ(OpenOk("f"), 255);  // the last slot goes to an archive entry
    // No slot left: no code set, and each kind hands back its own value.
    EXPECT_EQ(FailedOpen("f"), 0);
    bf.SetSearchArchive(0);
    FileHandle more = 99;
    EXPECT_EQ(bf.FileOpen(disk.c_str(), &more, BF_MODE_BINARY), 0);
    EXPECT_EQ(more, -1);
    EXPECT_EQ(bf.GetErrorCode(), 0);
    bf.SetSearchArchive(1);
    EXPECT_EQ(bf.FileClose(17), 1);
    EXPECT_EQ(OpenOk("f"), 17);
    ASSERT_EQ(bf.Close(), 1);  // closes every handle
    EXPECT_EQ(bf.FindFreeHandle(), 1);
}

// Lookups split the path like the runtime: either separator, letters in
// any case, a drive left out, a leading separator from the root, the rest
// from the current directory. The longest name and directory part (255
// characters to the last separator) open; one character more cannot.
TEST_F(ArchiveFixture, LookupSplitsThePathLikeTheRuntime) {
    const std::string name259(259, 'n'), dir254(254, 'D');
    orvobf::writer::RawArchive a;
    a.Header(3, 5, 32, 0).Block(5).Dir("Top").Block(1).Dir("Sub").Block(1).File("File.Txt", 4, 0);
    a.Dir(dir254).Block(1).File("f", 1, 4);
    a.File("root.bin", 1, 4).File(name259, 1, 4).File(name259 + "x", 1, 4);
    Make(a.DataBaseHere().Bytes("deepr"));
    for (const char* path : {"top\\SUB/file.txt", "C:/Top/Sub/File.Txt"}) EXPECT_EQ(Read(OpenOk(path), 9), "deep");
    for (const std::string& path : {name259, dir254 + "/f", "C:" + dir254 + "\\f"})
        EXPECT_EQ(Read(OpenOk(path.c_str()), 9), "r");
    EXPECT_EQ(FailedOpen(name259 + "x"), BFE_BAD_PARAMETER);
    EXPECT_EQ(FailedOpen("/" + dir254 + "/f"), BFE_BAD_PARAMETER);

    ASSERT_EQ(bf.ChangeDir("Top"), 1);
    EXPECT_EQ(Read(OpenOk("Sub/File.Txt"), 9), "deep");
    EXPECT_EQ(Read(OpenOk("\\root.bin"), 9), "r");
    EXPECT_EQ(FailedOpen("root.bin"), 0);  // not in Top
    EXPECT_EQ(FailedOpen("Sub"), 0);       // a directory
    while (bf.dirStackDepth < 255) ASSERT_EQ(bf.PushDir(), 1);
    EXPECT_EQ(FailedOpen("Sub/File.Txt"), BFE_DIR_STACK_FULL);
    EXPECT_EQ(bf.dirStackDepth, 255u);
    FileHandle h = 0;
    EXPECT_EQ(bf.FileOpen(nullptr, &h, 0), 0);
    EXPECT_EQ(bf.GetErrorDetail(), 1u);
    EXPECT_EQ(bf.FileOpen("x", nullptr, 0), 0);
    EXPECT_EQ(bf.GetErrorDetail(), 2u);
}

TEST_F(ArchiveFixture, DiskHandlesFollowTheSettings) {
    Make({{"only-in-archive", "A"}, {"both", "archive"}});
    const std::string disk = dir.Write("both", "disk copy of both");
    bf.SetSearchArchive(0);
    FileHandle h = 0;
    EXPECT_EQ(bf.FileOpen("only-in-archive", &h, BF_MODE_BINARY), 0);
    EXPECT_EQ(bf.GetErrorCode(), BFE_CANNOT_OPEN);
    bf.SetSearchArchive(1);
    bf.SetDiskFirst(1);
    h = OpenOk(disk.c_str());
    EXPECT_EQ(bf.handleKinds[h], 0u);
    EXPECT_EQ(bf.FileSize(h), 17);
    EXPECT_EQ(bf.FileSeek(h, -10, 2), 1);
    EXPECT_EQ(Read(h, 100), "py of both");
    EXPECT_EQ(bf.FileEof(h), 1);
    EXPECT_EQ(bf.FileSeek(h, 0, 7), 0);
    EXPECT_EQ(Read(OpenOk("only-in-archive"), 5), "A");  // falls back
}

TEST_F(ArchiveFixture, TextModeJoinsCrLfAcrossPiecesAndStaysInTheEntry) {
    const std::string text = "a\r\nb\r\r\n\r\nc\r";
    Make({{"t.txt", text}, {"u.txt", "\nNEXT"}});
    for (uint32_t piece = 1; piece <= 5; ++piece) {
        FileHandle h = OpenOk("t.txt", BF_MODE_TEXT);
        std::string got;
        while (!bf.FileEof(h)) got += Read(h, piece);
        EXPECT_EQ(got, "a\nb\r\n\nc\r") << piece;
        bf.FileClose(h);
    }
}

// "last" takes the archive's last 5 bytes and "empty" starts at its very
// end: both read to it. The archive was cut short of "cut" and "past":
// their reads come short, with no end-of-file.
TEST_F(ArchiveFixture, EntriesAtAndPastTheArchivesEnd) {
    const auto archive = [](uint32_t data) {
        orvobf::writer::RawArchive a;
        a.Header(0, 4, 32, 0).Block(4).File("cut", 1000, data).File("empty", 0, data + 5);
        a.File("last", 5, data).File("past", 9, data + 1000);
        return a;
    };
    Make(archive(static_cast<uint32_t>(archive(0).size())).Bytes("12345"));
    const FileHandle last = OpenOk("last"), empty = OpenOk("empty"), cut = OpenOk("cut"), past = OpenOk("past");
    EXPECT_EQ(Read(last, 5), "12345");
    EXPECT_EQ(Read(last, 1), "");
    EXPECT_EQ(bf.FileEof(last), 1);
    ASSERT_EQ(bf.FileSeek(last, 1, 2), 1);  // one byte before the end
    EXPECT_EQ(Read(last, 9), "5");
    EXPECT_EQ(bf.FileTell(last), 5);
    EXPECT_EQ(bf.FileSize(empty), 0);
    EXPECT_EQ(Read(empty, 1), "");
    EXPECT_EQ(bf.FileEof(empty), 1);
    ASSERT_EQ(bf.FileSeek(empty, 0, 2), 1);

    int ok = 1;
    EXPECT_EQ(Read(cut, 2000, &ok), "12345");
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(bf.GetErrorCode(), BFE_FILE_IO);
    EXPECT_EQ(bf.FileEof(cut), 0);  // not an end the entry has
    EXPECT_EQ(Read(past, 1, &ok), "");
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(bf.GetErrorCode(), BFE_FILE_IO);
}

TEST_F(ArchiveFixture, BadHandlesFailOnEveryOperation) {
    Make({{"f", "x"}});
    FileHandle closed = OpenOk("f");
    bf.FileClose(closed);
    char byte;
    uint32_t got;
    for (FileHandle h : {0, -1, 256, 100000, closed}) {
        EXPECT_EQ(bf.FileRead(h, &byte, 1, &got), 0);
        EXPECT_EQ(bf.GetErrorCode(), BFE_BAD_HANDLE);
        EXPECT_EQ(bf.FileSeek(h, 0, 0), 0);
        EXPECT_EQ(bf.FileTell(h), -1);
        EXPECT_EQ(bf.FileSize(h), -1);
        EXPECT_EQ(bf.FileEof(h), 1);
        EXPECT_EQ(bf.FileClose(h), 0);
    }
    orvobf::platform::FailAllocationAfter(1);
    EXPECT_EQ(FailedOpen("f"), BFE_MEMORY);
    orvobf::platform::FailAllocationAfter(0);
    EXPECT_EQ(bf.FindFreeHandle(), 1);
}

TEST_F(ArchiveFixture, LogLinesHaveTheirExactTexts) {
    Make({{"f", "xyz"}});
    const std::string log = dir.File("log.txt");
    ASSERT_EQ(bf.SetLogFile(log.c_str()), 1);
    FileHandle h = OpenOk("f");
    Read(h, 2);
    bf.FileClose(h);
    const std::string disk = dir.Write("disk", "d");
    bf.SetDiskFirst(1);
    bf.FileClose(OpenOk(disk.c_str()));  // disk handles log nothing
    bf.Log("%s %d", "value", 42);
    ASSERT_EQ(bf.SetLogFile(nullptr), 1);
    const std::string text = FileBytes(log);
    EXPECT_TRUE(std::regex_match(text, std::regex("[ 0-9]{7}[0-9] : Opening file \\[f\\] in mode 32768 handle 1\n\n"
                                                  "[ 0-9]{7}[0-9] : Reading 2 bytes of file 1\n"
                                                  "[ 0-9]{7}[0-9] : Closing file 1 \n"
                                                  "[ 0-9]{7}[0-9] : value 42\n")))
        << text;
    EXPECT_EQ(bf.SetLogFile(dir.File("no/such/dir/x.log").c_str()), 0);
    bf.Log("nothing");  // no log: nothing happens
}

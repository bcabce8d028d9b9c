// The `bigfile` program's exact output for list, info, test and cat on
// archives written byte by byte here: every line, the stream it goes to
// and the exit code; and the --json documents of list, info and test read
// back by Python's json module (json_readback.py): names in UTF-8, outside
// it and with control bytes come back byte for byte.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include <orvobf/archive_writer.h>
#include "run_tool.h"
#include "temp_dir.h"

namespace {

// Root: hdr (stored at archive position 0: the signature's first bytes),
// odd (neither kind), Sub/ with inner.bin and Packed (a stored image,
// header word -7), top.txt. The data sits at 512: "TOP!", "abc", the image.
orvobf::writer::RawArchive HandArchive() {
    orvobf::writer::RawArchive a;
    a.Header(1, 5, 32, 0).Block(4);
    a.File("top.txt", 4, 512).File("hdr", 6, 0).File("odd", 2, 0, 0, 0);
    a.Dir("Sub").Block(2).File("Packed", 7, 519, 11).File("inner.bin", 3, 516);
    a.Bytes(std::string(512 - a.size(), '\0'));
    a.Bytes("TOP!abc").U32(0xFFFFFFF9u).Bytes("packed!");
    return a;
}

std::string Lines(std::initializer_list<const char*> lines) {
    std::string text;
    for (const char* line : lines) text += std::string(line) + "\n";
    return text;
}

TEST(ToolOutput, ListInfoTestAndCatOfAHandWrittenArchive) {
    TempDir dir;
    const std::string archive = dir.Write("hand.bf", HandArchive().bytes());

    SplitOutcome run = ToolSplit("list " + archive);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, Lines({"hdr  6 B", "odd  2 B", "Sub/", "  inner.bin  3 B", "  Packed  7 B", "top.txt  4 B",
                              "5 files, 1 directories, 22 B"}));

    run = ToolSplit("list -l " + archive);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out,
              Lines({"hdr                                       6  stored                   offset 0",
                     "odd                                       2  stored                   offset 0  (not a file entry)",
                     "Sub/",
                     "  inner.bin                                 3  stored                   offset 516",
                     "  Packed                                    7  packed 11 (157.1%)       offset 519",
                     "top.txt                                   4  stored                   offset 512",
                     "5 files, 1 directories, 22 B"}));

    run = ToolSplit("info " + archive);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, "archive:         " + archive + "\n" +
                           Lines({"signature:       OrvoBF - 2.02.0", "format version:  2.02.0",
                                  "directories:     1 (header says 1)", "files:           5 (header says 5)",
                                  "directory at:    32", "data base:       0", "archive length:  530 bytes"}));

    run = ToolSplit("test -v " + archive);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, Lines({"ok  hdr (6 B)", "ok  Sub/inner.bin (3 B)", "ok  Sub/Packed (7 B)", "ok  top.txt (4 B)"}) +
                           archive + ": tested 4 files (20 B) in 1 directories: 1 problem\n");
    EXPECT_EQ(run.err, "bigfile test: odd: neither a file nor a directory (attributes 0)\n");

    // The entry at position 0 gives the header's bytes whatever was read before.
    run = ToolSplit("cat " + archive + " top.txt hdr Sub/Packed sub/INNER.BIN");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "TOP!OrvoBFpacked!abc");
    EXPECT_EQ(run.err, "");
    run = ToolSplit("cat " + archive + " nope top.txt odd");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "TOP!");
    EXPECT_EQ(run.err, "bigfile cat: nope: no such file in the archive\nbigfile cat: odd: no such file in the archive\n");
}

TEST(ToolOutput, ControlCharactersInNamesAreShownEscaped) {
    TempDir dir;
    orvobf::writer::RawArchive a;
    a.Header(1, 3, 32, 0).Block(3);
    a.Dir("d\a").Block(1).File("e\x1b[2J", 1, 0);
    a.File("t\tab", 0, 0, 0, 0).File("back\\slash", 0, 0);
    const std::string archive = dir.Write("ctl.bf", a.bytes());

    SplitOutcome run = ToolSplit("list " + archive);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, Lines({"back\\\\slash  0 B", "d\\x07/", "  e\\x1b[2J  1 B", "t\\x09ab  0 B",
                              "3 files, 1 directories, 1 B"}));
    run = ToolSplit("test -v " + archive);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "ok  d\\x07/e\\x1b[2J (1 B)\n" + archive + ": tested 2 files (1 B) in 1 directories: 2 problems\n");
    EXPECT_EQ(run.err, Lines({"bigfile test: back\\\\slash: the name cannot be looked up through the handle table",
                              "bigfile test: t\\x09ab: neither a file nor a directory (attributes 0)"}));
    run = ToolSplit("cat " + archive + " \"$(printf 'x\\033]0;')\"");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "bigfile cat: x\\x1b]0;: no such file in the archive\n");
    run = ToolSplit("\"$(printf 'li\\033st')\"");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err.substr(0, run.err.find('\n')), "bigfile: unknown command 'li\\x1bst'");
}

TEST(ToolOutput, DeepTreesAreListedToTheBottom) {
    TempDir dir;
    constexpr int kLevels = 300;
    orvobf::writer::RawArchive a;
    a.Header(kLevels, 1, 32, 0).Nested(kLevels, "d").Block(1).File("leaf", (1 << 21) + 3, 0);
    a.DataBaseHere().Bytes(std::string(1 << 21, 'x') + "end");  // read in more than one piece
    const std::string archive = dir.Write("deep.bf", a.bytes());

    std::string expected, path;
    for (int i = 0; i < kLevels; ++i) expected += std::string(2 * i, ' ') + "d/\n", path += "d/";
    expected += std::string(2 * kLevels, ' ') + "leaf  2.0 MiB\n1 files, 300 directories, 2.0 MiB\n";
    SplitOutcome run = ToolSplit("list " + archive);
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.out == expected) << "last lines: " << run.out.substr(run.out.rfind("d/"));

    run = ToolSplit("info " + archive);
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("\ndirectories:     300 (header says 300)\nfiles:           1 (header says 1)\n"),
              std::string::npos)
        << run.out;
    run = ToolSplit("test -v " + archive);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "ok  " + path + "leaf (2.0 MiB)\n" + archive + ": tested 1 files (2.0 MiB) in 300 directories: no problems\n");
}

TEST(ToolOutput, ErrorLinesGiveTheSystemsReasonOrAPlainWord) {
    TempDir dir;
    const std::string missing = dir.File("missing.bf");
    SplitOutcome run = ToolSplit("list " + missing);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "bigfile list: " + missing +
                           ": BigFile Error -5100\tFile cannot be opened.(0). (No such file or directory)\n");

    const std::string junk = dir.Write("junk.bf", std::vector<unsigned char>(64, 'x'));
    const std::string folder = dir.File("folder.bf");
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    run = ToolSplit("info " + folder);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "bigfile info: " + folder + ": BigFile Error -5110\tFile i/o error (1). (Is a directory)\n");

    run = ToolSplit("unpack " + missing + " " + dir.File("out"));
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "bigfile unpack: " + missing + ": cannot open (No such file or directory)\n");
    run = ToolSplit("pack " + folder + " " + dir.File("out"));
    EXPECT_EQ(run.err, "bigfile pack: " + folder + ": read error (Is a directory)\n");
    run = ToolSplit("pack " + junk + " " + dir.File("no/such/dir/out"));
    EXPECT_EQ(run.err, "bigfile pack: " + dir.File("no/such/dir/out") + ": cannot create (No such file or directory)\n");

    // A file that opens but is no archive: the library's text alone.
    run = ToolSplit("test " + junk);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "bigfile test: " + junk + ": BigFile Error -5110\tFile i/o error (1).\n");

    {
        // The superuser reads whatever the mode says: it runs the tool as
        // nobody, who may enter the folder but not read the file.
        const std::string locked = dir.Write("locked.bf", std::vector<unsigned char>(64, 'x'));
        ASSERT_EQ(chmod(locked.c_str(), 0), 0);
        const std::string runner = geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
        run = ToolSplit("cat " + locked + " x", runner);
        EXPECT_EQ(run.err, "bigfile cat: " + locked +
                               ": BigFile Error -5100\tFile cannot be opened.(0). (Permission denied)\n");
    }

    // Packed entries: an image naming another size than its record, and
    // one whose body the archive cuts short; stored ones that run past the
    // archive's end, or end exactly there.
    orvobf::writer::RawArchive a;
    a.Header(0, 4, 32, 0).Block(4).File("cut", 40, 0, 1).File("other", 9, 0, 1).File("past", 10, 2).File("tail", 2, 6);
    a.DataBaseHere().U32(40).U32(0);  // packed, 40 bytes, then one code word and the end
    const std::string damaged = dir.Write("damaged.bf", a.bytes());
    run = ToolSplit("cat " + damaged + " other cut nope");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, Lines({"bigfile cat: other: BigFile Error -5570\tUndefined error. (damaged packed data)",
                              "bigfile cat: cut: BigFile Error -5570\tUndefined error. (damaged packed data)",
                              "bigfile cat: nope: no such file in the archive"}));
    run = ToolSplit("test -v " + damaged);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "ok  tail (2 B)\n" + damaged + ": tested 4 files (8 B) in 0 directories: 3 problems\n");
    EXPECT_EQ(run.err, Lines({"bigfile test: cut: read failed after 0 of 40 bytes: BigFile Error -5570\t"
                              "Undefined error. (damaged packed data)",
                              "bigfile test: other: packed entry cannot be opened: BigFile Error -5570\t"
                              "Undefined error. (damaged packed data)"}) +
                           "bigfile test: past: read failed after 6 of 10 bytes: BigFile Error -5110\tFile i/o error "
                           "(0).; the entry runs past the end of the archive (ends at " + std::to_string(a.size() + 4) +
                           ", the archive has " + std::to_string(a.size()) + " bytes)\n");
}

std::string Hex(const std::string& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const unsigned char byte : bytes) hex += {kDigits[byte >> 4], kDigits[byte & 15]};
    return hex;
}

// The tool's document for `command` through the reader, with the tool's
// exit code first.
std::string ReadBack(const std::string& command, const std::string& archive, const TempDir& dir) {
    const std::string json = dir.File("out.json");
    return Shell(std::string(BIGFILE_TOOL) + " " + command + " --json '" + archive + "' >" + json +
                 "; echo \"exit $?\"; " + PYTHON3 + " " + JSON_READBACK + " " + command + " <" + json)
        .out;
}

TEST(JsonOutput, ListInfoAndTestReadBackAsTheArchiveHoldsThem) {
    const std::string utf8 = "caf\xc3\xa9.txt", latin1Dir = "D\xe9j\xe0", raw = "\xff\xfe raw", tab = "tab\there";
    orvobf::writer::RawArchive a;
    a.Header(1, 9, 32, 0).Block(5);
    a.File(utf8, 4, 0).File(raw, 3, 4).File(tab, 2, 7).File("odd", 1, 0, 0, 0);
    a.Dir(latin1Dir).Block(1).File("inner", 9, 9, 8);  // its image says 40 bytes
    const uint32_t dataBase = static_cast<uint32_t>(a.size());
    a.DataBaseHere().Bytes("dataabcxy").U32(40).U32(0);
    TempDir dir;
    const std::string archive = dir.Write("arch\xe9.bf", a.bytes());

    EXPECT_EQ(ReadBack("list", archive, dir),
              "exit 0\narchive " + Hex(archive) + "\n" +                                               //
                  "file|" + Hex(utf8) + "|" + Hex(utf8) + "|4|stored|None|0\n" +                       //
                  "dir|" + Hex(latin1Dir) + "|" + Hex(latin1Dir) + "\n" +                              //
                  "file|" + Hex(latin1Dir + "/inner") + "|" + Hex("inner") + "|9|packed|8|9\n" +       //
                  "other|" + Hex("odd") + "|" + Hex("odd") + "|1|stored|None|0\n" +                    //
                  "file|" + Hex(tab) + "|" + Hex(tab) + "|2|stored|None|7\n" +                         //
                  "file|" + Hex(raw) + "|" + Hex(raw) + "|3|stored|None|4\n" +                         //
                  "totals 5 1 19 None None\n");

    EXPECT_EQ(ReadBack("info", archive, dir),
              "exit 0\narchive " + Hex(archive) + "\nsignature OrvoBF - 2.02.0\nformat_version 2.02.0\n" +
                  "directories 1\nfiles 5\nheader_directories 1\nheader_files 9\ndirectory_offset 32\n" +
                  "data_base " + std::to_string(dataBase) + "\narchive_length " + std::to_string(a.size()) + "\n");

    const std::string damaged = "BigFile Error -5570\tUndefined error. (damaged packed data)";
    EXPECT_EQ(ReadBack("test", archive, dir),
              "exit 1\narchive " + Hex(archive) + "\n" +                                                 //
                  "file|" + Hex(utf8) + "|4|4|True|None|None|None\n" +                                   //
                  "file|" + Hex(latin1Dir + "/inner") + "|9|0|False|-5570|" + damaged +                  //
                  "|packed entry cannot be opened: " + damaged + "\n" +                                  //
                  "other|" + Hex("odd") + "|1|0|False|None|None|neither a file nor a directory (attributes 0)\n" +
                  "file|" + Hex(tab) + "|2|2|True|None|None|None\n" +                                    //
                  "file|" + Hex(raw) + "|3|3|True|None|None|None\n" +                                    //
                  "totals 4 1 9 2 None\n");
}

}  // namespace

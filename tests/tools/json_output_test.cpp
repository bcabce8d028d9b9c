// `bigfile list|info|test --json` read back by Python's json module
// (json_readback.py) and compared with the archive they ran on: names in
// UTF-8, outside it and with control bytes come back byte for byte.
#include <gtest/gtest.h>

#include <string>

#include <orvobf/archive_writer.h>
#include "run_tool.h"
#include "temp_dir.h"

namespace {

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

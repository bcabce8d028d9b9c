// `bigfile create`: the names it warns about (or refuses, when told to),
// and what it leaves behind when the disk fills up under it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "run_tool.h"
#include "temp_dir.h"

namespace fs = std::filesystem;

TEST(Create, WarnsOfNamesWindowsRefusesAndStrictNamesRefusesThem) {
    TempDir dir;
    const fs::path win = dir.File("win");
    fs::create_directories(win / "Sub");
    for (const char* name : {"aux.txt", "ab:c", "trail.", "q?", "ctl\x01x", "ok.txt", "Sub/CON"})
        std::ofstream(win / name) << "w";
    const char* warnings[] = {
        "ab:c: name contains ':' (a stream of another file on Windows)",
        "aux.txt: name is a Windows device name",
        "ctl\\x01x: name contains a control character (refused on Windows)",
        "q?: name contains one of < > \" | ? * (refused on Windows)",
        "Sub/CON: name is a Windows device name",
        "trail.: name ends with a dot or a space (stripped on Windows)",
    };
    const auto said = [&](const std::string& lead) {
        std::string text;
        for (const char* line : warnings) text += "bigfile create: " + lead + line + ", cannot be extracted on Windows\n";
        return text;
    };
    const std::string kept = dir.File("win.bf");
    Outcome warned = Tool("create " + kept + " " + win.string());
    EXPECT_EQ(warned.status, 0) << warned.out;
    EXPECT_EQ(warned.out, said("warning: ") + kept + ": 7 files in 1 directories\n");
    EXPECT_NE(FileBytes(kept).find("ctl\x01x"), std::string::npos);  // the name as it is, only shown escaped

    const std::string strictArchive = dir.File("strict.bf");
    std::ofstream(strictArchive) << "old";
    Outcome strict = Tool("create --strict-names " + strictArchive + " " + win.string());
    EXPECT_EQ(strict.status, 1);
    EXPECT_EQ(strict.out, said("") + "bigfile create: 6 names cannot be extracted on Windows; nothing written\n");
    EXPECT_EQ(FileBytes(strictArchive), "old");
    EXPECT_NE(Tool("create --help").out.find("--strict-names"), std::string::npos);
}

// A file system of 16 pages (a private tmpfs in a mount namespace of its
// own) filled up to a given number of free pages before the archive is
// written into it. Needs the right to mount; skipped without it.
TEST(Create, FullDiskFailsSaysWhyAndLeavesNothingBehind) {
    TempDir dir;
    const fs::path src = dir.File("src");
    fs::create_directories(src);
    // Twenty names of 200 bytes put the data area past the first page, so
    // with one page free the data fits and the header is what fails to go
    // out, when the archive is flushed at the end.
    for (char c = 'a'; c < 'a' + 20; ++c) std::ofstream(src / std::string(200, c)) << c;
    const std::string mount = dir.File("mnt");
    fs::create_directories(mount);
    for (int freePages : {0, 1}) {
        const std::string script =
            "mount -t tmpfs -o size=64k orvobf-full " + mount + " || exit 77\n" +
            "dd if=/dev/zero of=" + mount + "/filler bs=4096 count=" + std::to_string(16 - freePages) +
            " 2>/dev/null\n" + BIGFILE_TOOL + " create " + mount + "/out.bf " + src.string() +
            "\necho \"exit $?\"\nls -A " + mount + "\n";
        const std::string scriptPath = dir.File("full.sh");
        std::ofstream(scriptPath) << script;
        Outcome run = Shell("unshare -m sh " + scriptPath);
        if (run.status == 77 || run.out.find("unshare: ") == 0) GTEST_SKIP() << "cannot mount here: " << run.out;
        ASSERT_EQ(run.status, 0) << run.out;
        EXPECT_EQ(run.out, "bigfile create: cannot write " + mount + "/out.bf: No space left on device\nexit 2\nfiller\n")
            << freePages << " pages free";
    }
}

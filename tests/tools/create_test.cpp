// `bigfile create` on real folders: links followed (or left out), names the
// archive cannot hold side by side, files it cannot read or hold; every
// problem named in one run, and a refusal that leaves nothing behind; names
// an extraction on Windows refuses warned about; a disk that fills up.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "run_tool.h"
#include "temp_dir.h"

namespace {
namespace fs = std::filesystem;

// "bigfile create: " before each line.
std::string Said(std::initializer_list<std::string> lines) {
    std::string text;
    for (const std::string& line : lines) text += "bigfile create: " + line + "\n";
    return text;
}

const std::string kCase = " only in case (names are compared without regard to case)";
}  // namespace

TEST(CreateFolder, LinksStandForWhatTheyPointToOrAreLeftOut) {
    TempDir dir;
    const fs::path src = dir.File("src"), outside = dir.File("outside");
    fs::create_directories(src / "sub");
    fs::create_directories(outside);
    std::ofstream(src / "a.txt") << "aaa";
    std::ofstream(src / "sub" / "f") << "in sub";
    std::ofstream(outside / "o.txt") << "from outside";
    fs::create_symlink("a.txt", src / "file_link");
    fs::create_directory_symlink("sub", src / "dir_link");
    fs::create_symlink("../outside/o.txt", src / "out_file");
    fs::create_directory_symlink("../outside", src / "out_dir");
    fs::create_symlink("nowhere", src / "dangling");
    fs::create_symlink("self", src / "self");
    fs::create_directory_symlink("..", src / "sub" / "up");  // reached again through dir_link
    const std::string s = src.string() + "/", archive = dir.File("links.bf");

    // Packed on two threads: files reached through links are read by the
    // workers too.
    SplitOutcome run = ToolSplit("create --pack -j 2 " + archive + " " + src.string());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, Said({s + "dangling: a symbolic link to 'nowhere', which does not exist; skipped",
                             s + "dir_link/up: a symbolic link to '..', a folder it is in (a loop); skipped",
                             s + "self: a symbolic link loop; skipped",
                             s + "sub/up: a symbolic link to '..', a folder it is in (a loop); skipped",
                             "4 entries skipped"}));
    EXPECT_EQ(run.out, archive + ": 6 files in 3 directories\n");
    const Outcome read = Tool("cat " + archive + " file_link dir_link/f out_file out_dir/o.txt");
    EXPECT_EQ(read.out, "aaain subfrom outsidefrom outside");
    EXPECT_EQ(Tool("test " + archive).status, 0);

    run = ToolSplit("create --no-dereference " + archive + " " + src.string());
    EXPECT_EQ(run.status, 0);
    std::string notes;
    for (const char* link : {"dangling", "dir_link", "file_link", "out_dir", "out_file", "self", "sub/up"})
        notes += "bigfile create: note: " + s + link + ": a symbolic link; left out\n";
    EXPECT_EQ(run.err, notes);
    EXPECT_EQ(run.out, archive + ": 2 files in 1 directories\n");
}

TEST(CreateFolder, NamesThatCannotStandSideBySideAreAllNamedBeforeAnythingIsWritten) {
    TempDir dir;
    const fs::path src = dir.File("src"), out = dir.File("out");
    fs::create_directories(src / "Docs");
    fs::create_directories(src / "2:d");
    fs::create_directories(out);
    std::ofstream(src / "Docs" / "D") << "in Docs";
    std::ofstream(src / "docs") << "file docs";
    std::ofstream(src / "Index.html") << "first";
    std::ofstream(src / "index.html") << "second";
    // 2:d is refused and still looked into.
    for (const char* name : {"1:x", "_:y", "a\\b", "ok", "Docs/_:z", "2:d/X", "2:d/x"}) std::ofstream(src / name) << "x";
    const std::string s = src.string() + "/", archive = (out / "a.bf").string();
    std::ofstream(archive) << "old";

    SplitOutcome run = ToolSplit("create " + archive + " " + src.string());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, Said({s + "1:x: name begins with a drive prefix", s + "2:d: name begins with a drive prefix",
                             s + "2:d/x: differs from " + s + "2:d/X" + kCase, s + "Docs/_:z: name begins with a drive prefix",
                             s + "_:y: name begins with a drive prefix", s + "a\\\\b: name contains a path separator",
                             s + "docs: differs from " + s + "Docs" + kCase,
                             s + "index.html: differs from " + s + "Index.html" + kCase, "nothing written"}));
    EXPECT_EQ(FileBytes(archive), "old");
    EXPECT_EQ(FolderNames(out), std::set<std::string>{"a.bf"});

    // The first of each clash in name order stays.
    run = ToolSplit("create --skip-conflicts " + archive + " " + src.string());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, Said({"note: " + s + "1:x: name begins with a drive prefix; left out",
                             "note: " + s + "2:d: name begins with a drive prefix; left out",
                             "note: " + s + "Docs/_:z: name begins with a drive prefix; left out",
                             "note: " + s + "_:y: name begins with a drive prefix; left out",
                             "note: " + s + "a\\\\b: name contains a path separator; left out",
                             "note: " + s + "docs: differs from " + s + "Docs" + kCase + "; left out",
                             "note: " + s + "index.html: differs from " + s + "Index.html" + kCase + "; left out"}));
    EXPECT_EQ(run.out, archive + ": 3 files in 1 directories\n");
    EXPECT_EQ(Tool("cat " + archive + " index.html docs/D").out, "firstin Docs");
}

TEST(CreateFolder, SpecialAndUnreadableFilesAreSkippedByName) {
    TempDir dir;
    const fs::path src = dir.File("src"), out = dir.File("out");
    fs::create_directories(src / "locked");
    fs::create_directories(out);
    fs::permissions(out, fs::perms::all);
    std::ofstream(src / "a") << "kept";
    std::ofstream(src / "locked" / "in") << "x";
    std::ofstream(src / "secret") << "x";
    ASSERT_EQ(mkfifo((src / "fifo").c_str(), 0644), 0);
    ASSERT_EQ(Shell(std::string(PYTHON3) + " -c 'import socket; socket.socket(socket.AF_UNIX).bind(\"" +
                    (src / "sock").string() + "\")'").status, 0);
    fs::create_symlink("/dev/null", src / "null");
    ASSERT_EQ(chmod((src / "secret").c_str(), 0), 0);
    ASSERT_EQ(chmod((src / "locked").c_str(), 0), 0);
    // The superuser reads whatever the mode says: the tool runs as nobody.
    const std::string runner = geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
    const std::string s = src.string() + "/", archive = (out / "s.bf").string();

    const SplitOutcome run = ToolSplit("create " + archive + " " + src.string(), runner);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, Said({s + "fifo: a FIFO, not a regular file; skipped", s + "locked: Permission denied; skipped",
                             s + "null: a device, not a regular file; skipped",
                             s + "secret: Permission denied; skipped", s + "sock: a socket, not a regular file; skipped",
                             "5 entries skipped"}));
    EXPECT_EQ(run.out, archive + ": 1 files in 0 directories\n");
    EXPECT_EQ(Tool("cat " + archive + " a").out, "kept");
}

TEST(CreateFolder, SizesTheFormatCannotHoldAreRefusedBeforeAnythingIsWritten) {
    TempDir dir;
    const fs::path src = dir.File("src"), out = dir.File("out");
    fs::create_directories(src);
    fs::create_directories(out);
    // Sparse files: they take no room, and nothing may read them. The
    // limit on written bytes makes a writer that goes ahead fail at once.
    const auto run = [&] { return Shell("ulimit -f 2048; " + std::string(BIGFILE_TOOL) + " create " +
                                        (out / "big.bf").string() + " " + src.string()); };
    fs::resize_file(dir.Write("src/huge", ""), (uint64_t{4} << 30) + 1);
    std::ofstream(src / "1:x") << "x";
    EXPECT_EQ(run().out, Said({src.string() + "/1:x: name begins with a drive prefix",
                               src.string() + "/huge: 4294967297 bytes, more than the 2147483647 a file in an "
                                              "archive can hold",
                               "nothing written"}));
    fs::remove(src / "huge");
    fs::remove(src / "1:x");

    // Each file fits, but the fourth would start past the offsets' reach.
    for (const char* name : {"f1", "f2", "f3", "f4"}) fs::resize_file(dir.Write(std::string("src/") + name, ""), 0x7FFFFFFF);
    const Outcome offsets = run();
    EXPECT_EQ(offsets.status, 1);
    EXPECT_EQ(offsets.out, Said({src.string() + "/f4: would start 6442450941 bytes into the data area, past the "
                                                "4294967295 the format's 32-bit offsets reach"}));
    EXPECT_TRUE(FolderNames(out).empty());
}

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

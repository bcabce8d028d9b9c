// `bigfile mount` through the kernel: the demo archive reads as its
// extraction, layered archives form one tree, writes fail with EROFS,
// damage gives EIO without taking the mount down, names that cannot be
// shown stay out, and unmount, SIGTERM and Ctrl-C unmount and leave no
// process behind.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "bit_writer.h"
#include "mount_harness.h"

namespace fs = std::filesystem;
using namespace mount_test;

namespace {

// Unmounts at the end of a test that mounted in the background.
struct UnmountAtEnd {
    std::string mountPoint;
    ~UnmountAtEnd() {
        if (IsMounted(mountPoint)) Shell("fusermount3 -u -z " + mountPoint);
    }
};

bool SameTime(const std::string& a, const std::string& b) {
    struct stat x {}, y {};
    return stat(a.c_str(), &x) == 0 && stat(b.c_str(), &y) == 0 && x.st_mtim.tv_sec == y.st_mtim.tv_sec &&
           x.st_mtim.tv_nsec == y.st_mtim.tv_nsec;
}

// Opens a file with `flags` and writes a byte: -1 with errno set when
// either fails.
int WriteByte(const std::string& path, int flags) {
    const int fd = open(path.c_str(), flags);
    if (fd < 0) return -1;
    const ssize_t wrote = write(fd, "x", 1);
    const int error = errno;
    close(fd);
    errno = error;
    return wrote == 1 ? 0 : -1;
}

// Reads a file in pages to its end or its first failure: the bytes, and
// errno of the failure (0 at the end).
std::pair<std::string, int> ReadToFailure(const std::string& path) {
    std::pair<std::string, int> read{"", ENOENT};
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) return read;
    char piece[4096];
    ssize_t n = 0;
    while ((n = ::read(fd, piece, sizeof piece)) > 0) read.first.append(piece, static_cast<size_t>(n));
    read.second = n < 0 ? errno : 0;
    close(fd);
    return read;
}

}  // namespace

TEST(Mount, DemoArchiveReadsAsItsExtractionAndSigtermUnmountsAndEndsTheServer) {
    SKIP_WITHOUT_MOUNTS();
    TempDir dir;
    const std::string sample = dir.File("sample"), archive = dir.File("BigTest.bf"), out = dir.File("out"),
                      mnt = dir.File("mnt");
    ASSERT_EQ(Shell(std::string(MAKE_SAMPLE_TREE) + " " + sample).status, 0);
    ASSERT_EQ(Tool("create -q --pack-if-smaller " + archive + " " + sample).status, 0);
    ASSERT_EQ(Tool("extract -C " + out + " " + archive).status, 0);
    fs::create_directory(mnt);
    UnmountAtEnd unmount{mnt};
    // A relative mount point (the server leaves the working folder), and
    // one no other process names.
    const fs::path root = fs::path(mnt).parent_path();
    const std::string relative = (root.filename() / "mnt").string();
    const Outcome mounted = Shell("cd " + root.parent_path().string() + " && " + BIGFILE_TOOL + " mount " +
                                  (root.filename() / "BigTest.bf").string() + " " + relative);
    ASSERT_EQ(mounted.status, 0) << mounted.out;
    ASSERT_TRUE(IsMounted(mnt));
    const std::vector<pid_t> server = ProcessesWith(relative);
    ASSERT_EQ(server.size(), 1u);

    const Outcome diff = Shell("diff -r " + out + " " + mnt);
    EXPECT_EQ(diff.status, 0) << diff.out;
    // Read-only files and folders, timed as the archive file; names in any case.
    struct stat file {}, folder {};
    ASSERT_EQ(stat((mnt + "/DATA/levels/ACT_1/map01.lvl").c_str(), &file), 0) << std::strerror(errno);
    ASSERT_EQ(stat((mnt + "/Empty Dir").c_str(), &folder), 0);
    EXPECT_EQ(file.st_mode, S_IFREG | 0444);
    EXPECT_EQ(file.st_size, 1572864);
    EXPECT_EQ(folder.st_mode, S_IFDIR | 0555);
    EXPECT_TRUE(SameTime(mnt + "/DATA/levels/ACT_1/map01.lvl", archive));
    EXPECT_EQ(open((mnt + "/ReadMe.TXT").c_str(), O_WRONLY), -1);
    EXPECT_EQ(errno, EROFS);

    ASSERT_EQ(kill(server[0], SIGTERM), 0);
    EXPECT_TRUE(Within(5, [&] { return Gone(server[0]); })) << "the server is still running";
    EXPECT_FALSE(IsMounted(mnt));
}

TEST(Mount, LaterArchivesWinFoldersMergeNamesIgnoreCaseWritesFailAndUnmountEndsTheServer) {
    SKIP_WITHOUT_MOUNTS();
    TempDir dir;
    std::map<std::string, std::string> baseFiles = {
        {"Data/readme.txt", "base readme"}, {"Data/keep.txt", "kept"}, {"Maps/one.map", "map"}};
    std::map<std::string, std::string> patchFiles = {
        {"DATA/README.TXT", "patched readme, longer"}, {"DATA/new.txt", "added"}, {"Sounds/a.wav", ""}};
    // A merged folder too large for one answer to the kernel.
    std::set<std::string> many;
    for (int i = 0; i < 3000; ++i) {
        const std::string name = (i % 2 ? "b" : "p") + std::to_string(10000 + i);
        many.insert(name);
        (i % 2 ? baseFiles : patchFiles)["Many/" + name] = "";
    }
    const std::string base = WriteArchive(dir, "base.bf", baseFiles, false);
    const std::string patch = WriteArchive(dir, "patch.bf", patchFiles, true);
    const timespec times[2] = {{UTIME_OMIT, UTIME_OMIT}, {1000000000, 5}};
    ASSERT_EQ(utimensat(AT_FDCWD, base.c_str(), times, 0), 0);
    // -o rw lets writes past the kernel: the file system itself refuses them.
    Mount mount("-o rw " + base + " " + patch, dir.File("mnt"));
    ASSERT_TRUE(mount.ready()) << mount.Errors();
    const std::string mnt = dir.File("mnt");

    EXPECT_EQ(FolderNames(mnt), (std::set<std::string>{"DATA", "Many", "Maps", "Sounds"}));
    EXPECT_EQ(FolderNames(mnt + "/Many"), many);
    EXPECT_EQ(FolderNames(mnt + "/data"), (std::set<std::string>{"README.TXT", "keep.txt", "new.txt"}));
    EXPECT_EQ(FileBytes(mnt + "/Data/readme.txt"), "patched readme, longer");
    EXPECT_EQ(FileBytes(mnt + "/data/KEEP.TXT"), "kept");
    EXPECT_EQ(FileBytes(mnt + "/DATA/new.txt"), "added");
    EXPECT_EQ(FileBytes(mnt + "/maps/One.Map"), "map");
    EXPECT_TRUE(SameTime(mnt + "/Data/keep.txt", base));
    EXPECT_TRUE(SameTime(mnt + "/Data/readme.txt", patch));

    const std::string file = mnt + "/Data/readme.txt";
    std::string refused;
    auto expectRofs = [&](const char* what, int result) {
        if (result != -1 || errno != EROFS) refused += std::string(what) + " ";
    };
    expectRofs("write", WriteByte(file, O_WRONLY));
    expectRofs("rdwr", WriteByte(file, O_RDWR));
    expectRofs("create", open((mnt + "/Data/made").c_str(), O_WRONLY | O_CREAT, 0644));
    expectRofs("mkdir", mkdir((mnt + "/Data/sub").c_str(), 0755));
    expectRofs("rename", rename(file.c_str(), (mnt + "/Data/other").c_str()));
    expectRofs("unlink", unlink(file.c_str()));
    expectRofs("rmdir", rmdir((mnt + "/Sounds").c_str()));
    expectRofs("chmod", chmod(file.c_str(), 0666));
    expectRofs("truncate", truncate(file.c_str(), 0));
    expectRofs("symlink", symlink("x", (mnt + "/Data/link").c_str()));
    expectRofs("utimes", utimensat(AT_FDCWD, file.c_str(), nullptr, 0));
    EXPECT_EQ(refused, "") << "not refused with EROFS";
    EXPECT_EQ(FileBytes(file), "patched readme, longer");

    EXPECT_TRUE(mount.Unmount());
}

TEST(Mount, DamageGivesEioAfterRealBytesOnlyNamesThatCannotBeShownStayOutAndCtrlCUnmounts) {
    SKIP_WITHOUT_MOUNTS();
    TempDir dir;
    // `packed` and `stored` promise 100000 bytes and hold the first 60000:
    // the packed image ends early, the archive file ends inside `stored`.
    std::mt19937 rng(7);
    std::string real(60000, '\0');
    for (char& c : real) c = static_cast<char>(rng());
    BitWriter bits;
    for (char c : real) bits.Literal(static_cast<unsigned char>(c));
    const Bytes image = bits.Image(100000);
    const auto imageSize = static_cast<uint32_t>(image.size());
    const std::string good = "good bytes";
    orvobf::writer::RawArchive raw;
    raw.Header(1, 9, 32, 0).Block(10);
    raw.File(".", 1, 0).File("..", 1, 0).File("a\\b", 1, 0).File(std::string("cut\0off", 7), 1, 0);
    raw.File("good", static_cast<uint32_t>(good.size()), imageSize);
    raw.File(std::string(256, 'n'), 1, 0);
    raw.File("packed", 100000, 0, imageSize).File("stored", 100000, imageSize + static_cast<uint32_t>(good.size()));
    raw.File("x/y", 1, 0).Dir("z").Block(0);
    raw.DataBaseHere().Bytes(std::string(image.begin(), image.end())).Bytes(good).Bytes(real);
    std::string error;
    ASSERT_TRUE(raw.WriteTo(dir.File("hostile.bf"), &error)) << error;

    Mount mount(dir.File("hostile.bf"), dir.File("mnt"));
    ASSERT_TRUE(mount.ready()) << mount.Errors();
    const std::string mnt = dir.File("mnt");
    EXPECT_NE(mount.Errors().find("bigfile mount: 6 entries left out"), std::string::npos) << mount.Errors();
    EXPECT_EQ(FolderNames(mnt), (std::set<std::string>{"good", "packed", "stored", "z"}));
    EXPECT_FALSE(fs::exists(mnt + "/a\\b") || fs::exists(mnt + "/cut"));

    for (const char* name : {"packed", "stored"}) {
        const auto [got, failure] = ReadToFailure(mnt + "/" + name);
        EXPECT_EQ(failure, EIO) << name;
        EXPECT_GT(got.size(), 0u) << name;
        EXPECT_TRUE(got.size() <= real.size() && real.compare(0, got.size(), got) == 0) << name << " " << got.size();
    }
    EXPECT_EQ(FileBytes(mnt + "/good"), good);
    EXPECT_TRUE(fs::is_directory(mnt + "/z"));

    ASSERT_EQ(kill(mount.pid(), SIGINT), 0);
    EXPECT_EQ(mount.ExitCode(10), 0) << mount.Errors();
    EXPECT_FALSE(IsMounted(mnt));
}

TEST(Mount, WrongUseIsReportedAndMountsNothing) {
    SKIP_WITHOUT_MOUNTS();
    TempDir dir;
    const std::string archive = WriteArchive(dir, "a.bf", {{"f", "x"}}, false);
    const std::string mnt = dir.File("mnt");
    fs::create_directory(mnt);
    UnmountAtEnd unmount{mnt};
    // The output of a refused mount when it exits with 2, else "exit N".
    auto refused = [](const std::string& args) {
        const Outcome run = Tool("mount " + args);
        return run.status == 2 ? run.out : "exit " + std::to_string(run.status);
    };
    EXPECT_NE(refused(archive).find("Usage"), std::string::npos);
    EXPECT_NE(refused(archive + " " + dir.File("none.bf") + " " + mnt).find("none.bf"), std::string::npos);
    EXPECT_NE(refused(archive + " " + dir.File("a.bf")).find("not a folder"), std::string::npos);
    EXPECT_NE(refused("-o no_such_option " + archive + " " + mnt).find("no_such_option"), std::string::npos);
    EXPECT_FALSE(IsMounted(mnt));
    EXPECT_EQ(Tool("unmount " + mnt).status, 2);
}

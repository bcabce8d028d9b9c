// Reads through a mount at every kind of boundary, from several threads
// at once, packed and stored, each checked against the bytes the archive
// was made from.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "mount_harness.h"
#include "text_contents.h"

using namespace mount_test;

namespace {

// Offsets on both sides of power-of-two block edges from 4 KiB to 512 KiB
// (the packed stream's buffers, its checkpoints, the kernel's pages and
// read sizes), the ends of the file, and some anywhere.
std::vector<uint64_t> Offsets(uint64_t size, std::mt19937& rng) {
    std::vector<uint64_t> at = {0, 1, size - 1, size, size + 1};
    for (uint64_t block = 4096; block <= (512u << 10); block *= 2)
        for (uint64_t edge = block; edge < size; edge += block * 5)
            for (uint64_t near : {edge - 1, edge, edge + 1}) at.push_back(near);
    for (int i = 0; i < 16; ++i) at.push_back(rng() % size);
    return at;
}

}  // namespace

TEST(MountReads, EveryBoundaryFromSeveralThreadsGivesTheArchivedBytes) {
    SKIP_WITHOUT_MOUNTS();
    TempDir dir;
    const std::string data = Contents((1u << 20) + 12345, 1);
    const std::string packed = WriteArchive(dir, "packed.bf", {{"big.dat", data}}, true);
    const std::string stored = WriteArchive(dir, "stored.bf", {{"stored/big.dat", data}}, false);
    Mount mount(packed + " " + stored, dir.File("mnt"));
    ASSERT_TRUE(mount.ready()) << mount.Errors();

    // Two threads on each descriptor, so that reads of one open file meet
    // in the file system; half the descriptors bypass the page cache, so
    // that every read of theirs reaches it at its own offset and length.
    const std::string files[] = {dir.File("mnt/big.dat"), dir.File("mnt/stored/big.dat")};
    int fds[4];
    for (int i = 0; i < 4; ++i) {
        fds[i] = open(files[i % 2].c_str(), O_RDONLY | (i < 2 ? O_DIRECT : 0));
        ASSERT_GE(fds[i], 0) << files[i % 2];
    }
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            std::mt19937 rng(static_cast<unsigned>(t));
            std::vector<uint64_t> offsets = Offsets(data.size(), rng);
            std::shuffle(offsets.begin(), offsets.end(), rng);
            std::string buffer(200000, '\0');
            for (uint64_t at : offsets) {
                const size_t lengths[] = {1, 4095, 4096, 65537, buffer.size()};
                const size_t length = lengths[rng() % 5];
                const ssize_t n = pread(fds[t % 4], buffer.data(), length, static_cast<off_t>(at));
                const size_t expected = at < data.size() ? std::min(length, data.size() - at) : 0;
                if (n != static_cast<ssize_t>(expected) ||
                    (expected > 0 && data.compare(at, expected, buffer, 0, expected) != 0))
                    ++wrong;
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (int fd : fds) close(fd);
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_TRUE(mount.Unmount());
}

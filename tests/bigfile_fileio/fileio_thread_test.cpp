// Several threads on one archive object: what they see is what one thread
// sees, opens and closes go on while others read, a thread that navigates
// never disturbs the opens of the others, and a handle operation that
// waits holds up no other handle.
#include <atomic>
#include <chrono>
#include <future>
#include <random>
#include <sstream>
#include <thread>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "fileio_fixture.h"

namespace {

// Stored and packed entries, their contents by name.
std::map<std::string, std::string> Entries() {
    std::map<std::string, std::string> files;
    for (int i = 0; i < 8; ++i)
        files[(i % 2 ? "packed/e" : "stored/e") + std::to_string(i)] = Contents(60000 + 9001 * i, 100 + i);
    return files;
}

class ThreadsTest : public ArchiveFixture {
protected:
    // One thread's work: four handles (two stored, two packed entries)
    // read in turns with seeks from every origin, everything they answer
    // written down. Each read must be the entry's bytes at the position
    // the handle told.
    std::string Script(int thread) {
        std::mt19937 rng(static_cast<unsigned>(thread) * 7919u + 1u);
        std::vector<std::string> names;
        std::vector<FileHandle> handles;
        for (int h = 0; h < 4; ++h) {
            names.push_back(std::next(files.begin(), (thread + 3 * h) % 8)->first);
            FileHandle id = 0;
            if (!bf.FileOpen(("\\" + names.back()).c_str(), &id, BF_MODE_BINARY)) return "open failed";
            handles.push_back(id);
        }
        std::ostringstream log;
        std::string buffer;
        for (int step = 0; step < 120; ++step) {
            const size_t h = rng() % 4;
            const std::string& contents = files.at(names[h]);
            const int32_t size = static_cast<int32_t>(contents.size());
            switch (rng() % 5) {
                case 0: {
                    const int32_t origin = static_cast<int32_t>(rng() % 3);
                    const int32_t offset = origin == 1 ? static_cast<int32_t>(rng() % 20001) - 10000
                                                       : static_cast<int32_t>(rng() % (size + 2));
                    log << "seek " << bf.FileSeek(handles[h], offset, origin) << '\n';
                    break;
                }
                default: {
                    const int32_t at = bf.FileTell(handles[h]);
                    const uint32_t count = rng() % 3 == 0 ? rng() % 16 : rng() % 40000;
                    buffer.assign(count, '\0');
                    uint32_t got = 0;
                    const int ok = bf.FileRead(handles[h], buffer.data(), count, &got);
                    buffer.resize(got);
                    if (buffer != contents.substr(static_cast<size_t>(at), got)) log << "WRONG BYTES ";
                    log << "read " << at << ' ' << ok << ' ' << got << ' ' << bf.FileEof(handles[h]) << '\n';
                }
            }
        }
        for (FileHandle id : handles) log << "tell " << bf.FileTell(id) << " close " << bf.FileClose(id) << '\n';
        return log.str();
    }

    std::map<std::string, std::string> files;
};

TEST_F(ThreadsTest, EightThreadsOnFourHandlesEachSeeWhatOneThreadSees) {
    files = Entries();
    Make(files, "packed/");
    constexpr int kThreads = 8;
    std::vector<std::string> alone(kThreads), together(kThreads);
    for (int t = 0; t < kThreads; ++t) alone[t] = Script(t);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) threads.emplace_back([&, t] { together[t] = Script(t); });
    for (auto& thread : threads) thread.join();
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(alone[t].find("WRONG"), std::string::npos) << alone[t];
        EXPECT_EQ(together[t], alone[t]) << "thread " << t;
    }
    EXPECT_EQ(bf.FindFreeHandle(), 1);
}

TEST_F(ThreadsTest, OpensAndClosesGoOnWhileOthersReadAndOneThreadNavigates) {
    files = Entries();
    files["deep/er/x"] = "x";
    Make(files, "packed/");
    ASSERT_EQ(bf.ChangeDir("packed"), 1);
    const DirNode* packedFolder = bf.GetCurrentDir();
    ASSERT_EQ(bf.ChangeDir("/"), 1);
    std::atomic<int> faults{0};

    // Reads through a handle until it fails, each whole and right.
    const auto readUntilGone = [&](FileHandle h, const std::string& contents, const std::atomic<bool>* stop,
                                   std::atomic<int>* reads) {
        std::string piece(3000, '\0'), got;
        uint32_t n = 0;
        while (!(stop && *stop) && bf.FileRead(h, piece.data(), static_cast<uint32_t>(piece.size()), &n)) {
            got.append(piece, 0, n);
            if (got != contents.substr(0, got.size())) ++faults;
            if (n == 0 && bf.FileSeek(h, 0, 0) == 1) got.clear();
            if (reads) ++*reads;
        }
    };

    // A handle closed while another thread reads it: the reads before the
    // close are whole and right, the ones after it fail.
    const FileHandle doomed = OpenOk("packed/e1");
    std::atomic<int> doomedReads{0};
    std::thread reader(readUntilGone, doomed, std::cref(files.at("packed/e1")), nullptr, &doomedReads);
    while (doomedReads < 20) std::this_thread::yield();
    EXPECT_EQ(bf.FileClose(doomed), 1);
    reader.join();
    EXPECT_EQ(bf.GetErrorCode(), BFE_BAD_HANDLE);

    // Readers of their own handles, a navigator that lists every folder
    // again and again with the directory stack and the current directory,
    // and openers of entries by paths from the root and from a folder of
    // their own, with a packed entry in text mode, which is refused.
    std::atomic<bool> stop{false};
    std::vector<std::thread> others;
    for (const char* name : {"stored/e2", "packed/e5"})
        others.emplace_back(readUntilGone, OpenOk(name), std::cref(files.at(name)), &stop, nullptr);
    others.emplace_back([&] {
        while (!stop) {
            for (const char* folder : {"stored", "packed", "deep/er", "deep"}) {
                if (!bf.PushDir() || !bf.ChangeDir(folder)) ++faults;
                FindData cursor{};
                for (int more = bf.FindFirst(&cursor); more; more = bf.FindNext(&cursor)) {
                }
                if (!bf.PopDir()) ++faults;
            }
        }
    });
    std::vector<std::thread> openers;
    for (int t = 0; t < 3; ++t) {
        openers.emplace_back([&, t] {
            std::string piece(7000, '\0');
            for (int round = 0; round < 300; ++round) {
                const int e = (t + round) % 8;
                const std::string name = (e % 2 ? "packed/e" : "stored/e") + std::to_string(e);
                const std::string& contents = files.at(name);
                FileHandle h = 0;
                const bool opened = e % 2 ? bf.FileOpenIn(("e" + std::to_string(e)).c_str(), &h, BF_MODE_BINARY,
                                                          packedFolder) == 1
                                          : bf.FileOpen(("/" + name).c_str(), &h, BF_MODE_BINARY) == 1;
                if (!opened) {
                    ++faults;
                    continue;
                }
                // Every tenth open reads the whole entry, the others a header.
                std::string got;
                uint32_t n = 0;
                const size_t wanted = round % 10 ? 64 : contents.size();
                while (got.size() < wanted && !bf.FileEof(h) &&
                       bf.FileRead(h, piece.data(), static_cast<uint32_t>(piece.size()), &n))
                    got.append(piece, 0, n);
                if (got.substr(0, wanted) != contents.substr(0, wanted)) ++faults;
                if (bf.FileClose(h) != 1) ++faults;
                FileHandle text = -1;
                if (bf.FileOpen("/packed/e3", &text, BF_MODE_TEXT) != 0 || text != 0) ++faults;
            }
        });
    }
    for (auto& t : openers) t.join();
    stop = true;
    for (auto& t : others) t.join();

    EXPECT_EQ(faults.load(), 0);
    EXPECT_EQ(bf.dirStackDepth, 0u);
    EXPECT_EQ(bf.GetCurrentDir(), bf.GetRootDir());
    EXPECT_EQ(bf.FindFreeHandle(), 3) << "the readers' two handles stay open";
    EXPECT_EQ(Read(OpenOk("deep/er/x"), 5), "x") << "relative opens start at the current directory";
}

#ifndef _WIN32
// A disk handle on a pipe whose read waits for a writer: while it waits,
// reads of other handles go on, and another operation on the waiting
// handle takes its turn after it.
TEST_F(ThreadsTest, AWaitingOperationHoldsUpOnlyItsOwnHandle) {
    files = {{"stored/s", Contents(50000, 1)}, {"packed/p", Contents(50000, 2)}};
    Make(files, "packed/");
    const std::string pipe = dir.File("pipe");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    const int writer = open(pipe.c_str(), O_RDWR);  // so that opening it to read does not wait
    ASSERT_GE(writer, 0);
    const FileHandle s = OpenOk("stored/s"), p = OpenOk("packed/p");
    bf.SetDiskFirst(1);
    const FileHandle waiting = OpenOk(pipe.c_str());
    bf.SetDiskFirst(0);

    const auto readPipe = [&] {
        char bytes[4] = {};
        uint32_t n = 0;
        const int ok = bf.FileRead(waiting, bytes, 4, &n);
        return std::string(bytes, ok ? n : 0);
    };
    std::promise<void> calling;
    auto piped = std::async(std::launch::async, [&] {
        calling.set_value();
        return readPipe();
    });
    calling.get_future().wait();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    auto second = std::async(std::launch::async, readPipe);
    auto others = std::async(std::launch::async, [&] {
        return Read(s, 50000) == files.at("stored/s") && Read(p, 50000) == files.at("packed/p");
    });
    const bool othersWentOn = others.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    EXPECT_TRUE(othersWentOn) << "reads of other handles waited for the pipe";
    EXPECT_EQ(second.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout)
        << "a second read of the waiting handle did not wait its turn";
    ASSERT_EQ(write(writer, "PIPEpipe", 8), 8);
    EXPECT_EQ(piped.get(), "PIPE");
    EXPECT_EQ(second.get(), "pipe");
    EXPECT_TRUE(others.get());
    close(writer);
}
#endif

}  // namespace

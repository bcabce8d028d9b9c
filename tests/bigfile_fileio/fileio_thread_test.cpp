// Several threads, each with its own handles on one archive object, on
// packed and stored entries: every handle delivers exactly its entry's
// bytes, although packed and stored reads share one file offset.
#include <atomic>
#include <thread>

#include "fileio_fixture.h"

TEST_F(ArchiveFixture, FourThreadsReadTheirOwnHandlesOfBothKinds) {
    std::map<std::string, std::string> files;
    for (int f = 0; f < 4; ++f) {
        std::string data(200000 + f * 777, '\0');
        for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>((i * (f + 3)) ^ (i >> 9));
        files["f" + std::to_string(f)] = data;
    }
    Make(files, [](const std::string& name) { return name == "f0" || name == "f2" ? bfw::Packing::Pack : bfw::Packing::Store; });
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 6; ++round) {
                const std::string name = "f" + std::to_string((t + round) % 4);
                FileHandle h = 0;
                if (!bf.FileOpen(name.c_str(), &h, BF_MODE_BINARY)) {
                    ++mismatches;
                    continue;
                }
                std::string got, piece(4096 + t * 1000, '\0');
                uint32_t n = 0;
                while (!bf.FileEof(h) && bf.FileRead(h, piece.data(), static_cast<uint32_t>(piece.size()), &n))
                    got.append(piece, 0, n);
                if (got != files[name]) ++mismatches;
                bf.FileClose(h);
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(mismatches.load(), 0);
}

// Eight threads on one Archive at once, listing, stat-ing, opening,
// seeking, reading and failing: each sees what one thread alone sees, and
// each failure is its own.
#include <thread>

#include "cxx_fixture.h"

namespace {

using orvobf::errc;

TEST(CxxThreads, EightThreadsOnOneArchive) {
    Files files;
    for (int i = 0; i < 8; ++i)
        files[(i % 2 ? "Data/packed/e" : "Data/stored/e") + std::to_string(i)] = Contents(30000 + 7001 * i, 10 + i);
    TempDir dir;
    std::error_code ec;
    const orvobf::Archive archive = orvobf::Archive::open(WriteArchive(dir, "a.bf", files), ec);
    ASSERT_FALSE(ec) << ec.message();

    std::vector<std::string> problems(8);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&, t] {
            std::mt19937 rng(static_cast<unsigned>(t));
            std::error_code error;
            std::string& problem = problems[t];
            const std::string missing = "Data/missing" + std::to_string(t);
            std::string buffer;
            for (int round = 0; round < 40 && problem.empty(); ++round) {
                const auto& [name, contents] = *std::next(files.begin(), (t + round) % 8);
                const size_t entries = archive.list(round % 2 ? "data/packed" : "DATA/STORED", error).size();
                if (error || entries != 4) problem = "list: " + error.message();
                const auto entry = archive.stat(name, error);
                if (!entry || entry->size != contents.size()) problem = "stat " + name + ": " + error.message();
                // A failure among the others' successes reports its own path.
                if (archive.stat(missing, error) || error != errc::not_found ||
                    error.message().find(missing) == std::string::npos)
                    problem = "miss: " + error.message();
                orvobf::File file = archive.open_file(name, error);
                const auto at = rng() % contents.size();
                buffer.assign(rng() % 20000, '\0');
                const size_t got = file.read_at(at, AsBytes(buffer), error);
                if (error || contents.compare(at, got, buffer, 0, got) != 0 ||
                    got != std::min(buffer.size(), contents.size() - at))
                    problem = "read " + name + ": " + error.message();
                size_t walked = 0;
                archive.walk("", [&](const orvobf::Entry&) {
                    ++walked;
                    return orvobf::walk_action::next;
                }, error);
                if (error || walked != 11) problem = "walk: " + error.message();
                if (round % 8 == t % 8 && Text(archive.read_all(name, error)) != contents)
                    problem = "read_all " + name + ": " + error.message();
            }
        });
    for (std::thread& thread : threads) thread.join();
    for (const std::string& problem : problems) EXPECT_EQ(problem, "");
}

}  // namespace

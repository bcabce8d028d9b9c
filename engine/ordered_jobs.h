// Jobs that report through a Reporter, run on worker threads, with their
// reports passed on in the order the jobs were added, one job's reports
// together: several threads extract while what a reader sees is the
// report of one thread walking.
#ifndef ORVOBF_ORDERED_JOBS_H
#define ORVOBF_ORDERED_JOBS_H

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "extract_engine.h"

namespace orvobf::engine {

class OrderedJobs {
public:
    using Job = std::function<void(Reporter&)>;

    // With fewer than two workers every job runs at once on the adding
    // thread and reports straight to `out`.
    OrderedJobs(Reporter& out, unsigned workers);
    ~OrderedJobs();
    OrderedJobs(const OrderedJobs&) = delete;
    OrderedJobs& operator=(const OrderedJobs&) = delete;

    // Queues a job for a worker; waits while many are still unreported, so
    // the walk keeps only a few folders ahead of the copies.
    void Add(Job job);
    // Runs a job on the adding thread at once; its reports wait their turn.
    void Now(const Job& job);
    // Waits until every job has run and reported.
    void Finish();

private:
    // One reported event, kept until the job's turn comes.
    struct Event {
        enum Kind { Starting, Chunk, Done, DirectoryDone, Problem } kind;
        std::string path;
        uint64_t bytes;
        orvobf::engine::Problem problem;
    };
    class Recording;
    struct Entry {
        Job job;  // empty once taken
        std::vector<Event> events;
        bool done = false;
    };

    void Work();
    void PassOnFinished();  // called holding mutex_

    Reporter& out_;
    std::vector<std::thread> threads_;
    std::mutex mutex_;
    std::condition_variable work_;  // a job to take, or the end
    std::condition_variable room_;  // an entry reported, or all of them
    std::deque<Entry> entries_;     // added and not yet reported, oldest first
    size_t untaken_ = 0;            // entries_ from here on wait for a worker...
    size_t waiting_ = 0;            // ...this many of them
    size_t limit_ = 0;
    bool finishing_ = false;
};

}  // namespace orvobf::engine

#endif

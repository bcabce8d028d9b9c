#include "ordered_jobs.h"

namespace orvobf::engine {

// Keeps a job's reports for later.
class OrderedJobs::Recording : public Reporter {
public:
    explicit Recording(std::vector<Event>& events) : events_(events) {}
    void FileStarting(const std::string& path) override { events_.push_back({Event::Starting, path, 0, {}}); }
    void ChunkWritten(uint32_t bytes) override { events_.push_back({Event::Chunk, {}, bytes, {}}); }
    void FileDone(const std::string& path, uint64_t bytes) override {
        events_.push_back({Event::Done, path, bytes, {}});
    }
    void DirectoryDone(const std::string& path) override { events_.push_back({Event::DirectoryDone, path, 0, {}}); }
    void Report(orvobf::engine::Problem problem, const std::string& path) override {
        events_.push_back({Event::Problem, path, 0, problem});
    }

private:
    std::vector<Event>& events_;
};

OrderedJobs::OrderedJobs(Reporter& out, unsigned workers) : out_(out) {
    if (workers < 2) return;
    limit_ = 4 * static_cast<size_t>(workers) + 16;
    for (unsigned i = 0; i < workers; ++i) threads_.emplace_back([this] { Work(); });
}

OrderedJobs::~OrderedJobs() { Finish(); }

void OrderedJobs::Add(Job job) {
    if (threads_.empty()) {
        job(out_);
        return;
    }
    std::unique_lock<std::mutex> hold(mutex_);
    room_.wait(hold, [this] { return entries_.size() < limit_; });
    entries_.push_back(Entry{std::move(job), {}, false});
    ++waiting_;
    work_.notify_one();
}

void OrderedJobs::Now(const Job& job) {
    if (threads_.empty()) {
        job(out_);
        return;
    }
    Entry entry;
    Recording recording(entry.events);
    job(recording);
    entry.done = true;
    std::lock_guard<std::mutex> hold(mutex_);
    entries_.push_back(std::move(entry));
    PassOnFinished();
}

void OrderedJobs::Work() {
    std::unique_lock<std::mutex> hold(mutex_);
    for (;;) {
        work_.wait(hold, [this] { return waiting_ > 0 || finishing_; });
        if (waiting_ == 0) return;
        // The oldest entry that still waits for a worker.
        while (!entries_[untaken_].job) ++untaken_;
        Entry& entry = entries_[untaken_];
        Job job = std::move(entry.job);
        entry.job = nullptr;
        --waiting_;
        hold.unlock();
        // The entry stays where it is: only reported entries leave the
        // front, and this one is not reported before it is done.
        Recording recording(entry.events);
        job(recording);
        hold.lock();
        entry.done = true;
        PassOnFinished();
    }
}

void OrderedJobs::PassOnFinished() {
    bool passed = false;
    while (!entries_.empty() && entries_.front().done) {
        for (const Event& event : entries_.front().events) {
            switch (event.kind) {
                case Event::Starting: out_.FileStarting(event.path); break;
                case Event::Chunk: out_.ChunkWritten(static_cast<uint32_t>(event.bytes)); break;
                case Event::Done: out_.FileDone(event.path, event.bytes); break;
                case Event::DirectoryDone: out_.DirectoryDone(event.path); break;
                case Event::Problem: out_.Report(event.problem, event.path); break;
            }
        }
        entries_.pop_front();
        if (untaken_ > 0) --untaken_;
        passed = true;
    }
    if (passed) room_.notify_all();
}

void OrderedJobs::Finish() {
    if (threads_.empty()) return;
    {
        std::unique_lock<std::mutex> hold(mutex_);
        room_.wait(hold, [this] { return entries_.empty(); });
        finishing_ = true;
    }
    work_.notify_all();
    for (std::thread& thread : threads_) thread.join();
    threads_.clear();
}

}  // namespace orvobf::engine

// The one-line progress report of the commands that move many bytes: files
// and bytes done of the total, the rate and the time left, redrawn on
// standard error at most ten times a second and only when that is a
// terminal; Clear removes it before any other line is printed.
#ifndef BIGFILE_PROGRESS_LINE_H
#define BIGFILE_PROGRESS_LINE_H

#include <chrono>
#include <cstdint>

namespace orvobf::tool {

class ProgressLine {
public:
    ProgressLine();  // drawn only when standard error is a terminal
    ~ProgressLine() { Clear(); }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // filesTotal 0: a single file, counted in bytes only.
    void Update(uint64_t filesDone, uint64_t filesTotal, uint64_t bytesDone, uint64_t bytesTotal);
    void Clear();

private:
    bool enabled_, drawn_ = false;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now(), lastDraw_{};
};

}  // namespace orvobf::tool

#endif

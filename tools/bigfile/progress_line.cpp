#include "progress_line.h"

#include <unistd.h>

#include <cstdio>
#include <string>

#include "tool_util.h"

namespace orvobf::tool {

ProgressLine::ProgressLine() : enabled_(isatty(fileno(stderr)) != 0) {}

void ProgressLine::Update(uint64_t filesDone, uint64_t filesTotal, uint64_t bytesDone, uint64_t bytesTotal) {
    if (!enabled_) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - lastDraw_ < std::chrono::milliseconds(100)) return;
    lastDraw_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    const double rate = seconds > 0 ? static_cast<double>(bytesDone) / seconds : 0;
    std::string line = "\r";
    if (filesTotal)
        line += std::to_string(filesDone) + "/" + std::to_string(filesTotal) + " files  ";
    line += HumanSize(bytesDone) + " of " + HumanSize(bytesTotal);
    char tail[64];
    std::snprintf(tail, sizeof tail, "  %.1f MiB/s", rate / (1024.0 * 1024.0));
    line += tail;
    if (rate > 0 && bytesTotal >= bytesDone) {
        const auto left = static_cast<unsigned long long>(static_cast<double>(bytesTotal - bytesDone) / rate);
        std::snprintf(tail, sizeof tail, "  %llu:%02llu left", left / 60, left % 60);
        line += tail;
    }
    std::fprintf(stderr, "%-79s", line.c_str());
    std::fflush(stderr);
    drawn_ = true;
}

void ProgressLine::Clear() {
    if (!drawn_) return;
    std::fprintf(stderr, "\r%*s\r", 79, "");
    std::fflush(stderr);
    drawn_ = false;
}

}  // namespace orvobf::tool

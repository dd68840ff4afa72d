#include "app/progress.h"

#include "formats/output.h"

#include <cstdio>

namespace {

// A run shorter than this shows nothing; the line is redrawn this often.
constexpr std::chrono::milliseconds QUIET_FOR{2000};
constexpr std::chrono::milliseconds REDRAWN_EVERY{250};

}  // namespace

ProgressLine::ProgressLine(std::string what, std::size_t total, const std::atomic<std::size_t>& done)
    : what_(std::move(what)), total_(total), done_(done)
{
    if (total_ > 0 && error_is_terminal())
        watcher_ = std::thread([this] { watch(); });
}

ProgressLine::~ProgressLine()
{
    if (!watcher_.joinable())
        return;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    stop_.notify_one();
    watcher_.join();
}

void ProgressLine::watch()
{
    std::unique_lock<std::mutex> lock(mutex_);
    if (stop_.wait_for(lock, QUIET_FOR, [this] { return stopping_; }))
        return;
    int width = 0;
    do {
        const std::size_t done = std::min(done_.load(), total_);
        width = std::fprintf(stderr, "\rphase_boundary: %s %zu of %zu (%zu%%)", what_.c_str(), done, total_,
                             100 * done / total_);
        std::fflush(stderr);
    } while (!stop_.wait_for(lock, REDRAWN_EVERY, [this] { return stopping_; }));
    std::fprintf(stderr, "\r%*s\r", width > 0 ? width : 0, "");
    std::fflush(stderr);
}

// A progress line for a long run: on standard error, only where that is a
// terminal, and only once the run has taken over two seconds; rewritten in
// place, and wiped when the work is over, so that nothing of it stays behind
// and nothing at all reaches a file or a pipe.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>

class ProgressLine {
  public:
    // Shows "what: done of total" while the object lives; done is counted by the work.
    ProgressLine(std::string what, std::size_t total, const std::atomic<std::size_t>& done);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

  private:
    void watch();

    std::string what_;
    std::size_t total_;
    const std::atomic<std::size_t>& done_;
    std::mutex mutex_;
    std::condition_variable stop_;
    bool stopping_ = false;
    std::thread watcher_;
};

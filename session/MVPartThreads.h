#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// A few threads that run the parts of one job side by side: run(parts, job) calls job(0) on the
// calling thread and job(1) ... job(parts - 1) on the others, and returns when all have ended.
// The threads wait between jobs and end with the object. run is called from one thread at a
// time; what a job's parts write is visible to the caller when run returns.
class MVPartThreads {
  public:
    // `count` parts at most (count - 1 threads).
    explicit MVPartThreads(unsigned count);
    ~MVPartThreads();
    MVPartThreads(const MVPartThreads&) = delete;
    MVPartThreads& operator=(const MVPartThreads&) = delete;

    unsigned count() const { return static_cast<unsigned>(threads_.size()) + 1; }
    // parts <= count().
    void run(std::size_t parts, const std::function<void(std::size_t)>& job);

  private:
    void work(unsigned index);

    std::vector<std::thread> threads_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    const std::function<void(std::size_t)>* job_ = nullptr;
    std::size_t parts_ = 0;
    std::size_t pending_ = 0;
    std::uint64_t generation_ = 0;
    bool stop_ = false;
};

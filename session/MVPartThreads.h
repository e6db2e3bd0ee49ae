#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// A few threads that run the parts of one job side by side. run(parts, job, helpers) calls
// job(0) ... job(parts - 1), each once, and returns when all have ended; what the parts write is
// visible to the caller then. The parts are taken one at a time by whoever is free: the calling
// thread takes them as well, so a job whose helper threads are slow to wake (a busy machine)
// runs on the caller alone and never waits for them, and more parts than threads balance
// uneven parts. One job at a time runs on the threads: a run called while another is under way
// (another thread's, or from inside a part) runs its parts on its caller alone. Safe from any
// thread.
class MVPartThreads {
  public:
    // `count` threads may work on a job, the caller included (count - 1 helper threads).
    explicit MVPartThreads(unsigned count);
    ~MVPartThreads();
    MVPartThreads(const MVPartThreads&) = delete;
    MVPartThreads& operator=(const MVPartThreads&) = delete;

    // The process's threads for the loading work, made at first use and never ended: a load
    // starts no thread of its own. As many as the machine has processors, at least four, at
    // most eight.
    static MVPartThreads& shared();
    // run on the process's threads; a job of one part, or for one thread, runs on the caller
    // without them (so a process that never has more to do never makes them).
    static void runShared(std::size_t parts, const std::function<void(std::size_t)>& job,
                          unsigned threads);

    unsigned count() const { return static_cast<unsigned>(threads_.size()) + 1; }
    // At most `threads` threads work on the job, the caller included (0 or more than count():
    // count()).
    void run(std::size_t parts, const std::function<void(std::size_t)>& job, unsigned threads = 0);

  private:
    void work();
    // The next part of job `generation`, or false when none is left (or the job is over).
    bool claim(std::uint64_t generation, std::size_t& part);
    void finishPart();

    std::vector<std::thread> threads_;
    std::atomic<bool> busy_{false};
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    const std::function<void(std::size_t)>* job_ = nullptr;
    std::size_t parts_ = 0;
    std::size_t next_ = 0;
    std::size_t finished_ = 0;
    unsigned slots_ = 0;  // helper threads still wanted by the job under way
    std::uint64_t generation_ = 0;
    bool stop_ = false;
};

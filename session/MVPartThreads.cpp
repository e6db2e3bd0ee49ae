#include "session/MVPartThreads.h"

#include <algorithm>

MVPartThreads::MVPartThreads(unsigned count) {
    for (unsigned i = 1; i < count; ++i) threads_.emplace_back([this] { work(); });
}

MVPartThreads::~MVPartThreads() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    for (auto& thread : threads_) thread.join();
}

MVPartThreads& MVPartThreads::shared() {
    static auto* const threads =
        new MVPartThreads(std::clamp(std::thread::hardware_concurrency(), 4u, 8u));
    return *threads;
}

void MVPartThreads::runShared(std::size_t parts, const std::function<void(std::size_t)>& job,
                              unsigned threads) {
    if (parts <= 1 || threads == 1) {
        for (std::size_t p = 0; p < parts; ++p) job(p);
        return;
    }
    shared().run(parts, job, threads);
}

void MVPartThreads::run(std::size_t parts, const std::function<void(std::size_t)>& job,
                        unsigned threads) {
    if (parts == 0) return;
    if (threads == 0 || threads > count()) threads = count();
    const unsigned helpers = static_cast<unsigned>(std::min<std::size_t>(threads, parts)) - 1;
    if (helpers == 0 || busy_.exchange(true)) {
        for (std::size_t p = 0; p < parts; ++p) job(p);
        return;
    }
    std::uint64_t generation = 0;
    {
        std::lock_guard lock(mutex_);
        job_ = &job;
        parts_ = parts;
        next_ = 0;
        finished_ = 0;
        slots_ = helpers;
        generation = ++generation_;
    }
    // Only as many threads as may help are woken.
    for (unsigned i = 0; i < helpers; ++i) wake_.notify_one();
    for (std::size_t part = 0; claim(generation, part);) {
        job(part);
        finishPart();
    }
    {
        std::unique_lock lock(mutex_);
        done_.wait(lock, [this] { return finished_ == parts_; });
        job_ = nullptr;
        slots_ = 0;
    }
    busy_ = false;
}

bool MVPartThreads::claim(std::uint64_t generation, std::size_t& part) {
    std::lock_guard lock(mutex_);
    if (generation != generation_ || job_ == nullptr || next_ >= parts_) return false;
    part = next_++;
    return true;
}

void MVPartThreads::finishPart() {
    bool last = false;
    {
        std::lock_guard lock(mutex_);
        last = ++finished_ == parts_;
    }
    if (last) done_.notify_all();
}

void MVPartThreads::work() {
    for (;;) {
        const std::function<void(std::size_t)>* job = nullptr;
        std::uint64_t generation = 0;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return stop_ || slots_ > 0; });
            if (stop_) return;
            --slots_;
            generation = generation_;
            job = job_;
        }
        for (std::size_t part = 0; claim(generation, part);) {
            (*job)(part);
            finishPart();
        }
    }
}

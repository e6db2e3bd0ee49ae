#include "session/MVPartThreads.h"

MVPartThreads::MVPartThreads(unsigned count) {
    for (unsigned i = 1; i < count; ++i) threads_.emplace_back([this, i] { work(i); });
}

MVPartThreads::~MVPartThreads() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    for (auto& thread : threads_) thread.join();
}

void MVPartThreads::run(std::size_t parts, const std::function<void(std::size_t)>& job) {
    if (parts == 0) return;
    {
        std::lock_guard lock(mutex_);
        job_ = &job;
        parts_ = parts;
        pending_ = parts - 1;
        ++generation_;
    }
    wake_.notify_all();
    job(0);
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return pending_ == 0; });
    job_ = nullptr;
}

void MVPartThreads::work(unsigned index) {
    std::uint64_t seen = 0;
    for (;;) {
        const std::function<void(std::size_t)>* job = nullptr;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return stop_ || generation_ != seen; });
            if (stop_) return;
            seen = generation_;
            if (index < parts_) job = job_;
        }
        if (!job) continue;
        (*job)(index);
        {
            std::lock_guard lock(mutex_);
            --pending_;
        }
        done_.notify_one();
    }
}

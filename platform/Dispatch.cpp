#include "platform/Dispatch.h"

#include <cstdio>
#include <deque>
#include <queue>
#include <thread>
#include <vector>

namespace platform {

namespace {
thread_local const Queue* tlsCurrentQueue = nullptr;

// Marks the running thread as working for `queue` for the scope's lifetime.
class CurrentQueueScope {
  public:
    explicit CurrentQueueScope(const Queue* queue) : previous_(tlsCurrentQueue) {
        tlsCurrentQueue = queue;
    }
    ~CurrentQueueScope() { tlsCurrentQueue = previous_; }

  private:
    const Queue* previous_;
};

void runGuarded(const Task& task, const std::string& label) {
    detail::runCatching(task, "task on queue ", label.c_str());
}
}  // namespace

void detail::runCatching(const Task& task, const char* what, const char* name) {
    try {
        task();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "gridlark: %s%s threw: %s\n", what, name, e.what());
    } catch (...) {
        std::fprintf(stderr, "gridlark: %s%s threw\n", what, name);
    }
}

// ---- main queue ----

struct MainQueue::State {
    mutable std::mutex mutex;
    std::deque<Task> tasks;
    std::function<void()> waker;
    std::thread::id mainThread;
    const std::string label = "main";
};

MainQueue::State& MainQueue::state() const {
    static auto* s = new State;
    return *s;
}

void MainQueue::async(Task task) {
    std::function<void()> waker;
    {
        std::lock_guard lock(state().mutex);
        state().tasks.push_back(std::move(task));
        waker = state().waker;
    }
    if (waker) waker();
}

bool MainQueue::isCurrent() const {
    std::lock_guard lock(state().mutex);
    return state().mainThread == std::this_thread::get_id();
}

const std::string& MainQueue::label() const {
    return state().label;
}

void MainQueue::bindToCurrentThread() {
    std::lock_guard lock(state().mutex);
    state().mainThread = std::this_thread::get_id();
}

void MainQueue::setWaker(std::function<void()> waker) {
    std::lock_guard lock(state().mutex);
    state().waker = std::move(waker);
}

size_t MainQueue::drain() {
    std::deque<Task> batch;
    {
        std::lock_guard lock(state().mutex);
        batch.swap(state().tasks);
    }
    CurrentQueueScope scope(this);
    for (auto& task : batch) runGuarded(task, state().label);
    return batch.size();
}

bool MainQueue::hasPending() const {
    std::lock_guard lock(state().mutex);
    return !state().tasks.empty();
}

MainQueue& mainQueue() {
    static auto* queue = new MainQueue;
    return *queue;
}

// ---- global pool ----

namespace {
class GlobalQueue final : public Queue {
  public:
    GlobalQueue() {
        unsigned n = std::max(2u, std::thread::hardware_concurrency());
        for (unsigned i = 0; i < n; ++i) {
            std::thread([this] { work(); }).detach();
        }
    }
    void async(Task task) override {
        {
            std::lock_guard lock(mutex_);
            tasks_.push_back(std::move(task));
        }
        cv_.notify_one();
    }
    bool isCurrent() const override { return tlsCurrentQueue == this; }
    const std::string& label() const override { return label_; }

    bool drainFor(Duration limit) {
        std::unique_lock lock(mutex_);
        return idle_.wait_for(lock, limit, [&] { return tasks_.empty() && running_ == 0; });
    }

  private:
    void work() {
        CurrentQueueScope scope(this);
        for (;;) {
            Task task;
            {
                std::unique_lock lock(mutex_);
                cv_.wait(lock, [&] { return !tasks_.empty(); });
                task = std::move(tasks_.front());
                tasks_.pop_front();
                ++running_;
            }
            runGuarded(task, label_);
            task = nullptr;  // what the task holds goes before it counts as done
            bool idle = false;
            {
                std::lock_guard lock(mutex_);
                idle = --running_ == 0 && tasks_.empty();
            }
            if (idle) idle_.notify_all();
        }
    }
    std::mutex mutex_;
    std::condition_variable cv_;
    std::condition_variable idle_;
    std::deque<Task> tasks_;
    int running_ = 0;
    const std::string label_ = "global";
};
}  // namespace

namespace {
GlobalQueue& globalPool() {
    static auto* queue = new GlobalQueue;  // workers live for the process
    return *queue;
}
}  // namespace

Queue& globalQueue() {
    return globalPool();
}

bool drainGlobalQueueFor(Duration limit) {
    return globalPool().drainFor(limit);
}

// ---- serial queues ----

struct SerialQueue::State {
    std::mutex mutex;
    std::condition_variable cv;
    std::deque<Task> tasks;
    bool stopping = false;
    bool running = false;
    std::thread worker;
};

SerialQueue::SerialQueue(std::string label)
    : label_(std::move(label)), state_(std::make_shared<State>()) {
    state_->worker = std::thread([this, state = state_] {
        CurrentQueueScope scope(this);
        for (;;) {
            Task task;
            {
                std::unique_lock lock(state->mutex);
                state->cv.wait(lock, [&] { return state->stopping || !state->tasks.empty(); });
                if (state->tasks.empty()) return;
                task = std::move(state->tasks.front());
                state->tasks.pop_front();
                state->running = true;
            }
            runGuarded(task, label_);
            {
                std::lock_guard lock(state->mutex);
                state->running = false;
            }
            state->cv.notify_all();
        }
    });
}

SerialQueue::~SerialQueue() {
    {
        std::lock_guard lock(state_->mutex);
        state_->stopping = true;
    }
    state_->cv.notify_all();
    if (state_->worker.get_id() == std::this_thread::get_id()) {
        state_->worker.detach();
    } else {
        state_->worker.join();
    }
}

void SerialQueue::async(Task task) {
    {
        std::lock_guard lock(state_->mutex);
        state_->tasks.push_back(std::move(task));
    }
    state_->cv.notify_all();
}

bool SerialQueue::isCurrent() const {
    return tlsCurrentQueue == this;
}

bool SerialQueue::drainFor(Duration limit) {
    if (isCurrent()) return false;
    auto done = std::make_shared<Semaphore>();
    async([done] { done->signal(); });
    return done->wait(limit);
}

// ---- synchronous hop to main ----

bool syncOnMain(Task task, Duration limit) {
    if (mainQueue().isCurrent()) {
        std::fprintf(
            stderr, "gridlark: refused a synchronous hop to the main queue from the main thread\n");
        return false;
    }
    struct Hop {
        std::mutex mutex;
        std::condition_variable cv;
        bool started = false;
        bool abandoned = false;
        bool done = false;
        bool returned = false;
    };
    // Ends the wait when the task ends, by returning or by throwing (the main queue then logs
    // the exception).
    class Finish {
      public:
        explicit Finish(Hop& hop) : hop_(hop) {}
        ~Finish() {
            {
                std::lock_guard lock(hop_.mutex);
                hop_.done = true;
                hop_.returned = returned;
            }
            hop_.cv.notify_all();
        }
        Finish(const Finish&) = delete;
        Finish& operator=(const Finish&) = delete;
        bool returned = false;

      private:
        Hop& hop_;
    };
    auto hop = std::make_shared<Hop>();
    mainQueue().async([hop, task = std::move(task)] {
        {
            std::lock_guard lock(hop->mutex);
            if (hop->abandoned) return;
            hop->started = true;
        }
        Finish finish(*hop);
        task();
        finish.returned = true;
    });
    std::unique_lock lock(hop->mutex);
    if (!hop->cv.wait_for(lock, limit, [&] { return hop->done; })) {
        if (!hop->started) {
            hop->abandoned = true;
            return false;
        }
        // Started but slow: it is running on the main thread now; wait for it to end.
        hop->cv.wait(lock, [&] { return hop->done; });
    }
    return hop->returned;
}

// ---- timers ----

namespace {
struct TimerEntry {
    Queue* queue;
    Task task;
    Duration interval;
    bool repeats;
    std::atomic<bool> cancelled{false};
    std::atomic<bool> fired{false};
};

class Scheduler {
  public:
    static Scheduler& instance() {
        static auto* s = new Scheduler;
        return *s;
    }

    void add(std::shared_ptr<TimerEntry> entry, TimePoint deadline) {
        {
            std::lock_guard lock(mutex_);
            heap_.push(Item{deadline, seq_++, std::move(entry)});
        }
        cv_.notify_all();
    }

    // Also a barrier for an uninstalled clock: the timer thread reads the clock only while it
    // holds the mutex, so once this returns it has let go of any clock read before the swap.
    void wake() {
        { std::lock_guard lock(mutex_); }
        cv_.notify_all();
    }

    std::optional<TimePoint> nextDeadline() {
        std::lock_guard lock(mutex_);
        dropCancelled();
        if (heap_.empty()) return std::nullopt;
        return heap_.top().deadline;
    }

    void fireDue() {
        std::vector<Item> due;
        {
            std::lock_guard lock(mutex_);
            TimePoint now = Clock::current().now();
            while (!heap_.empty() && heap_.top().deadline <= now) {
                due.push_back(heap_.top());
                heap_.pop();
            }
        }
        for (auto& item : due) {
            auto entry = item.entry;
            if (entry->cancelled) continue;
            entry->queue->async([entry] {
                if (!entry->cancelled) entry->task();
            });
            if (entry->repeats) {
                add(entry, item.deadline + entry->interval);
            } else {
                entry->fired = true;
            }
        }
    }

  private:
    struct Item {
        TimePoint deadline;
        uint64_t seq;
        std::shared_ptr<TimerEntry> entry;
        bool operator>(const Item& o) const {
            return deadline != o.deadline ? deadline > o.deadline : seq > o.seq;
        }
    };

    Scheduler() {
        std::thread([this] { run(); }).detach();
    }

    void dropCancelled() {
        while (!heap_.empty() && heap_.top().entry->cancelled) heap_.pop();
    }

    void run() {
        for (;;) {
            {
                std::unique_lock lock(mutex_);
                dropCancelled();
                Clock& clock = Clock::current();
                if (heap_.empty() || clock.isManual()) {
                    cv_.wait_for(lock, std::chrono::seconds(1));
                    continue;
                }
                TimePoint deadline = heap_.top().deadline;
                if (deadline > clock.now()) {
                    cv_.wait_for(lock, deadline - clock.now());
                    continue;
                }
            }
            fireDue();
        }
    }

    std::mutex mutex_;
    std::condition_variable cv_;
    std::priority_queue<Item, std::vector<Item>, std::greater<>> heap_;
    uint64_t seq_ = 0;
};
}  // namespace

namespace detail {
void fireDueTimers() {
    Scheduler::instance().fireDue();
}
void wakeScheduler() {
    Scheduler::instance().wake();
}
std::optional<TimePoint> nextTimerDeadline() {
    return Scheduler::instance().nextDeadline();
}
}  // namespace detail

void after(Duration delay, Queue& queue, Task task) {
    auto entry = std::make_shared<TimerEntry>();
    entry->queue = &queue;
    entry->task = std::move(task);
    entry->interval = delay;
    entry->repeats = false;
    Scheduler::instance().add(std::move(entry), Clock::current().now() + delay);
}

struct Timer::Shared {
    std::shared_ptr<TimerEntry> entry;
};

Timer::~Timer() {
    cancel();
}

void Timer::start(Duration interval, bool repeats, Queue& queue, Task task) {
    cancel();
    auto entry = std::make_shared<TimerEntry>();
    entry->queue = &queue;
    entry->task = std::move(task);
    entry->interval = interval;
    entry->repeats = repeats;
    shared_ = std::make_shared<Shared>(Shared{entry});
    Scheduler::instance().add(std::move(entry), Clock::current().now() + interval);
}

void Timer::cancel() {
    if (shared_) shared_->entry->cancelled = true;
    shared_.reset();
}

bool Timer::isActive() const {
    return shared_ != nullptr && !shared_->entry->cancelled && !shared_->entry->fired;
}

// ---- semaphore ----

void Semaphore::signal() {
    {
        std::lock_guard lock(mutex_);
        ++count_;
    }
    cv_.notify_one();
}

bool Semaphore::wait(Duration limit) {
    std::unique_lock lock(mutex_);
    if (!cv_.wait_for(lock, limit, [&] { return count_ > 0; })) return false;
    --count_;
    return true;
}

}  // namespace platform

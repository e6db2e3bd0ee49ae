#pragma once

#include "platform/Clock.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace platform {

using Task = std::function<void()>;

// Every queue below runs a task that throws as one that returns: the exception is caught where
// the task ran, a line naming the queue goes to stderr ("gridlark: task on queue <label> threw:
// <what>"), and the queue goes on with its next task. Nothing reaches the code that queued the
// task; a caller that must know hops synchronously (syncOnMain answers false) or catches inside
// its task.
class Queue {
  public:
    virtual ~Queue() = default;
    virtual void async(Task task) = 0;
    // True on a thread that is running one of this queue's tasks (the main thread for the main
    // queue).
    virtual bool isCurrent() const = 0;
    virtual const std::string& label() const = 0;
};

// The main queue: tasks run on the main thread, in order, when the queue is drained. The program
// binds draining to the Qt event loop (setWaker); tests drain it with the main-queue pump.
class MainQueue final : public Queue {
  public:
    void async(Task task) override;
    bool isCurrent() const override;
    const std::string& label() const override;

    // Marks the calling thread as the main thread. Called once at start-up (program or test main).
    void bindToCurrentThread();
    // Called (from any thread) whenever work is queued, so the owner can schedule a drain.
    void setWaker(std::function<void()> waker);
    // Runs what is queued now (not what those tasks queue in turn). Main thread only.
    // Returns the number of tasks run.
    size_t drain();
    bool hasPending() const;

  private:
    struct State;
    State& state() const;
};

MainQueue& mainQueue();
// The shared pool for background work (loading, recomputing).
Queue& globalQueue();
// Waits until the shared pool has no task queued or running (tasks queued meanwhile included);
// false when `limit` passed first. For a test's end, whose background work must not outlive it;
// never called from one of the pool's own tasks.
bool drainGlobalQueueFor(Duration limit);

// A serial queue: tasks run one at a time, in order, on a worker thread of its own.
class SerialQueue final : public Queue {
  public:
    explicit SerialQueue(std::string label);
    ~SerialQueue() override;  // runs what is queued, then joins
    void async(Task task) override;
    bool isCurrent() const override;
    const std::string& label() const override { return label_; }
    // Waits until every task queued before this call has run; false when the time limit passed.
    bool drainFor(Duration limit);

  private:
    struct State;
    std::string label_;
    std::shared_ptr<State> state_;
};

// Runs task on the main queue and waits for it. Refused (returns false at once, task not run,
// a line on stderr) when called on the main thread, where it could only deadlock; also false when
// the main thread did not start it within `limit` (the task is then dropped). `limit` bounds only
// the wait for the start: once the main thread has started the task, this waits for its end
// (a running task cannot be taken back, and it may use the caller's locals) and answers true
// when it returned, false when it threw (the exception is caught and logged on the main thread,
// as every queue does).
bool syncOnMain(Task task, Duration limit = std::chrono::seconds(30));

// Runs task on queue once `delay` has passed on the platform clock (a throw as the queue says).
void after(Duration delay, Queue& queue, Task task);

// A cancellable one-shot or repeating timer on the platform clock. Cancelling (or destroying) it
// guarantees the task is not started afterwards. A repeating timer whose task throws fires again.
class Timer {
  public:
    Timer() = default;
    ~Timer();
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    void start(Duration interval, bool repeats, Queue& queue, Task task);
    void cancel();
    bool isActive() const;

  private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
};

class Semaphore {
  public:
    explicit Semaphore(int initial = 0) : count_(initial) {}
    void signal();
    // Real-time wait; false on time-out.
    bool wait(Duration limit);

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    int count_;
};

namespace detail {
// Runs task; an exception of any kind is caught and told on stderr as "gridlark: <what><name>
// threw: <its text>". Every queue and operation runs its tasks through it.
void runCatching(const Task& task, const char* what, const char* name = "");
// The timer scheduler behind `after` and Timer; exposed for the fake clock.
void fireDueTimers();
void wakeScheduler();
std::optional<TimePoint> nextTimerDeadline();
}  // namespace detail

}  // namespace platform

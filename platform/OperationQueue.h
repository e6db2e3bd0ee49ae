#pragma once

#include "platform/Dispatch.h"

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace platform {

// A unit of work for an OperationQueue. Subclasses override main() and check isCancelled()
// between their steps.
class Operation {
  public:
    virtual ~Operation() = default;
    void cancel() { cancelled_ = true; }
    bool isCancelled() const { return cancelled_; }
    bool isFinished() const { return finished_; }
    // Called on the operation's thread after main() returns (also when cancelled before start).
    void setCompletionBlock(std::function<void()> block) { completion_ = std::move(block); }

  protected:
    virtual void main() = 0;

  private:
    friend class OperationQueue;
    void run();
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> finished_{false};
    std::function<void()> completion_;
};

// Runs operations on worker threads of its own, at most `maxConcurrent` at once, in the order
// added. cancelAllOperations() cancels every queued and running operation; a queued operation
// that is cancelled is finished without its main() running. An operation whose main() or
// completion block throws is finished as one that returns: the exception is caught on the
// operation's thread, a line goes to stderr ("gridlark: operation threw: <what>"), its
// completion block still runs, and the queue goes on.
class OperationQueue {
  public:
    explicit OperationQueue(std::string name, int maxConcurrent = 1);
    ~OperationQueue();  // cancels everything, then waits for running operations
    OperationQueue(const OperationQueue&) = delete;
    OperationQueue& operator=(const OperationQueue&) = delete;

    void addOperation(std::shared_ptr<Operation> op);
    void addOperation(std::function<void(const Operation&)> block);
    void cancelAllOperations();
    // Waits (real time) until nothing is queued or running; false when the limit passed.
    bool waitUntilAllOperationsAreFinished(Duration limit);
    const std::string& name() const { return name_; }

    // For tests:
    size_t operationCount() const;

  private:
    struct State;
    std::string name_;
    std::shared_ptr<State> state_;
};

}  // namespace platform

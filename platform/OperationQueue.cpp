#include "platform/OperationQueue.h"

#include <condition_variable>
#include <cstdio>
#include <thread>
#include <vector>

namespace platform {

void Operation::run() {
    if (!cancelled_) detail::runCatching([this] { main(); }, "operation");
    finished_ = true;
    if (completion_) detail::runCatching(completion_, "operation's completion block");
}

namespace {
class BlockOperation final : public Operation {
  public:
    explicit BlockOperation(std::function<void(const Operation&)> block)
        : block_(std::move(block)) {}

  protected:
    void main() override { block_(*this); }

  private:
    std::function<void(const Operation&)> block_;
};
}  // namespace

struct OperationQueue::State {
    std::mutex mutex;
    std::condition_variable cv;
    std::deque<std::shared_ptr<Operation>> waiting;
    std::vector<std::shared_ptr<Operation>> running;
    std::vector<std::thread> workers;
    bool stopping = false;
};

OperationQueue::OperationQueue(std::string name, int maxConcurrent)
    : name_(std::move(name)), state_(std::make_shared<State>()) {
    const int n = std::max(1, maxConcurrent);
    for (int i = 0; i < n; ++i) {
        state_->workers.emplace_back([state = state_] {
            for (;;) {
                std::shared_ptr<Operation> op;
                {
                    std::unique_lock lock(state->mutex);
                    state->cv.wait(lock,
                                   [&] { return state->stopping || !state->waiting.empty(); });
                    if (state->waiting.empty()) return;
                    op = state->waiting.front();
                    state->waiting.pop_front();
                    state->running.push_back(op);
                }
                op->run();
                {
                    std::lock_guard lock(state->mutex);
                    std::erase(state->running, op);
                }
                state->cv.notify_all();
            }
        });
    }
}

OperationQueue::~OperationQueue() {
    cancelAllOperations();
    {
        std::lock_guard lock(state_->mutex);
        state_->stopping = true;
    }
    state_->cv.notify_all();
    for (auto& w : state_->workers) {
        if (w.get_id() == std::this_thread::get_id()) {
            w.detach();
        } else {
            w.join();
        }
    }
}

void OperationQueue::addOperation(std::shared_ptr<Operation> op) {
    {
        std::lock_guard lock(state_->mutex);
        state_->waiting.push_back(std::move(op));
    }
    state_->cv.notify_all();
}

void OperationQueue::addOperation(std::function<void(const Operation&)> block) {
    addOperation(std::make_shared<BlockOperation>(std::move(block)));
}

void OperationQueue::cancelAllOperations() {
    std::lock_guard lock(state_->mutex);
    for (auto& op : state_->waiting) op->cancel();
    for (auto& op : state_->running) op->cancel();
}

bool OperationQueue::waitUntilAllOperationsAreFinished(Duration limit) {
    std::unique_lock lock(state_->mutex);
    return state_->cv.wait_for(lock, limit,
                               [&] { return state_->waiting.empty() && state_->running.empty(); });
}

size_t OperationQueue::operationCount() const {
    std::lock_guard lock(state_->mutex);
    return state_->waiting.size() + state_->running.size();
}

}  // namespace platform

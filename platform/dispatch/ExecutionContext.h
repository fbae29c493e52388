// Which queues the calling thread is running blocks of, innermost last. Internal.
#pragma once
#include <vector>

namespace platform {
class DispatchQueue;
}

namespace platform::detail {

std::vector<const DispatchQueue*>& queueStack();

// Pushes queues for its scope.
class QueueScope {
public:
    explicit QueueScope(const DispatchQueue* queue) : count_(1) { queueStack().push_back(queue); }
    explicit QueueScope(const std::vector<const DispatchQueue*>& chain) : count_(chain.size()) {
        // Outermost (the root) first, so the queue itself is innermost.
        auto& stack = queueStack();
        stack.insert(stack.end(), chain.rbegin(), chain.rend());
    }
    ~QueueScope() {
        auto& stack = queueStack();
        stack.resize(stack.size() - count_);
    }
    QueueScope(const QueueScope&) = delete;
    QueueScope& operator=(const QueueScope&) = delete;

private:
    std::size_t count_;
};

}  // namespace platform::detail

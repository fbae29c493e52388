// A value the window watches: every assignment (equal values included) schedules one
// notification on the main queue, which calls the observers and then the completion
// handler with the value current when it runs.
#pragma once
#include <functional>
#include <memory>
#include <vector>

#include "platform/dispatch/DispatchQueue.h"

namespace Lanternfly_Updater {

template <class T>
class Observable : public std::enable_shared_from_this<Observable<T>> {
public:
    static std::shared_ptr<Observable> create(T initial) {
        return std::shared_ptr<Observable>(new Observable(std::move(initial)));
    }

    const T& value() const { return value_; }
    void setValue(T value) {
        value_ = std::move(value);
        std::weak_ptr<Observable> weak = this->weak_from_this();
        platform::DispatchQueue::main()->async([weak] {
            auto self = weak.lock();
            if (!self) return;
            auto observers = self->observer;  // an observer may add another while we call them
            for (const auto& observer : observers) observer(self->value_);
            if (self->completeHandler) self->completeHandler();
        });
    }

    std::vector<std::function<void(const T&)>> observer;
    std::function<void()> completeHandler;

private:
    explicit Observable(T initial) : value_(std::move(initial)) {}
    T value_;
};

}  // namespace Lanternfly_Updater

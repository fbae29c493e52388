// What every provider call returns: whether it was cancelled, and a way to cancel it.
#pragma once
#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "Hawser/Request.h"
#include "platform/base/Protected.h"

namespace Berth {

class Cancellable {
public:
    virtual ~Cancellable() = default;
    virtual bool isCancelled() const = 0;
    virtual void cancel() = 0;
};
using CancellablePtr = std::shared_ptr<Cancellable>;

// Runs its action (cancelling an engine request, or nothing for a stub) at most once.
class CancellableToken : public Cancellable {
public:
    explicit CancellableToken(std::function<void()> action);
    explicit CancellableToken(Hawser::RequestPtr request);

    const std::function<void()> cancelAction;
    const Hawser::RequestPtr request;

    bool isCancelled() const override;
    void cancel() override;
    // The engine request's cURL command, or "Empty Request".
    std::string debugDescription() const;

private:
    std::atomic<bool> cancelled_{false};
};

class SimpleCancellable : public Cancellable {
public:
    bool isCancelled() const override { return cancelled_; }
    void cancel() override { cancelled_ = true; }

private:
    std::atomic<bool> cancelled_{false};
};

// What a call returns at once; its inner value becomes the engine request's token once
// that request exists.
class CancellableWrapper : public Cancellable {
public:
    CancellableWrapper() : inner_(std::make_shared<SimpleCancellable>()) {}

    CancellablePtr innerCancellable() const;
    void setInnerCancellable(CancellablePtr inner);

    bool isCancelled() const override { return innerCancellable()->isCancelled(); }
    void cancel() override { innerCancellable()->cancel(); }

private:
    platform::Protected<CancellablePtr> inner_;
};

}  // namespace Berth

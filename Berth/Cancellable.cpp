// Cancellation tokens of provider calls.
#include "Berth/Cancellable.h"

namespace Berth {

CancellableToken::CancellableToken(std::function<void()> action) : cancelAction(std::move(action)) {}

CancellableToken::CancellableToken(Hawser::RequestPtr request)
    : cancelAction([request] { request->cancel(); }), request(request) {}

bool CancellableToken::isCancelled() const {
    std::lock_guard guard(lock_);
    return cancelled_;
}

void CancellableToken::cancel() {
    // The action runs outside the lock, so a cancellation that reports back synchronously
    // may ask the token again.
    {
        std::lock_guard guard(lock_);
        if (cancelled_) return;
        cancelled_ = true;
    }
    if (cancelAction) cancelAction();
}

std::string CancellableToken::debugDescription() const {
    return request ? request->cURLDescription() : "Empty Request";
}

CancellablePtr CancellableWrapper::innerCancellable() const {
    std::lock_guard guard(lock_);
    return inner_;
}

void CancellableWrapper::setInnerCancellable(CancellablePtr inner) {
    std::lock_guard guard(lock_);
    inner_ = std::move(inner);
}

}  // namespace Berth

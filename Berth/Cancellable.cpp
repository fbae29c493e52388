// Cancellation tokens of provider calls.
#include "Berth/Cancellable.h"

namespace Berth {

CancellableToken::CancellableToken(std::function<void()> action) : cancelAction(std::move(action)) {}

CancellableToken::CancellableToken(Hawser::RequestPtr request)
    : cancelAction([request] { request->cancel(); }), request(request) {}

bool CancellableToken::isCancelled() const { return cancelled_; }

void CancellableToken::cancel() {
    // The flag is set before the action runs, so a cancellation that reports back
    // synchronously may ask the token again and finds it cancelled.
    if (cancelled_.exchange(true)) return;
    if (cancelAction) cancelAction();
}

std::string CancellableToken::debugDescription() const {
    return request ? request->cURLDescription() : "Empty Request";
}

CancellablePtr CancellableWrapper::innerCancellable() const { return inner_.get(); }

void CancellableWrapper::setInnerCancellable(CancellablePtr inner) { inner_.set(std::move(inner)); }

}  // namespace Berth

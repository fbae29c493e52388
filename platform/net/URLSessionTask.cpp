// Task state and control; the transfer itself is the driver's, on the I/O thread.
#include "platform/net/URLSessionTask.h"

#include "platform/net/CurlEngine.h"
#include "platform/net/TaskDriver.h"
#include "platform/net/URLSession.h"

namespace platform {

URLSessionTask::URLSessionTask(Kind kind, std::uint64_t identifier, std::weak_ptr<URLSession> session,
                               std::optional<URLRequest> request)
    : kind_(kind), identifier_(identifier), session_(std::move(session)), originalRequest_(request),
      currentRequest_(std::move(request)) {}

URLSessionTask::~URLSessionTask() = default;

std::optional<URLRequest> URLSessionTask::originalRequest() const {
    std::lock_guard lock(mutex_);
    return originalRequest_;
}

std::optional<URLRequest> URLSessionTask::currentRequest() const {
    std::lock_guard lock(mutex_);
    return currentRequest_;
}

URLResponsePtr URLSessionTask::response() const {
    std::lock_guard lock(mutex_);
    return response_;
}

URLSessionTask::State URLSessionTask::state() const {
    std::lock_guard lock(mutex_);
    return state_;
}

ErrorPtr URLSessionTask::error() const {
    std::lock_guard lock(mutex_);
    return error_;
}

std::string URLSessionTask::taskDescription() const {
    std::lock_guard lock(mutex_);
    return description_;
}

void URLSessionTask::setTaskDescription(std::string text) {
    std::lock_guard lock(mutex_);
    description_ = std::move(text);
}

void URLSessionTask::resume() {
    auto session = session_.lock();
    if (!session) return;
    bool start = false;
    {
        std::lock_guard lock(mutex_);
        if (state_ != State::suspended) return;
        state_ = State::running;
        start = !started_;
        started_ = true;
    }
    auto self = shared_from_this();
    session->engine_->post([self, session, start] {
        if (start) {
            if (!self->driver_) self->driver_ = std::make_unique<TaskDriver>(session, self.get());
            self->driver_->start();
        } else if (self->driver_) {
            self->driver_->setUserSuspended(false);
        }
    });
}

void URLSessionTask::suspend() {
    auto session = session_.lock();
    if (!session) return;
    {
        std::lock_guard lock(mutex_);
        if (state_ != State::running) return;
        state_ = State::suspended;
    }
    auto self = shared_from_this();
    session->engine_->post([self] {
        if (self->driver_) self->driver_->setUserSuspended(true);
    });
}

void URLSessionTask::cancel() {
    auto session = session_.lock();
    if (!session) return;
    {
        std::lock_guard lock(mutex_);
        if (state_ == State::completed || state_ == State::canceling) return;
        state_ = State::canceling;
        started_ = true;
    }
    cancelRequested_ = true;
    auto self = shared_from_this();
    session->engine_->post([self, session] {
        if (!self->driver_) self->driver_ = std::make_unique<TaskDriver>(session, self.get());
        self->driver_->cancel(nullptr, false);
    });
}

void URLSessionDownloadTask::cancel() { URLSessionTask::cancel(); }

void URLSessionDownloadTask::cancel(std::function<void(std::optional<Data>)> byProducingResumeData) {
    auto session = session_.lock();
    if (!session) return;
    bool alreadyOver;
    {
        std::lock_guard lock(mutex_);
        alreadyOver = state_ == State::completed || state_ == State::canceling;
        if (!alreadyOver) {
            state_ = State::canceling;
            started_ = true;
        }
    }
    if (alreadyOver) {
        if (byProducingResumeData)
            session->deliver([handler = std::move(byProducingResumeData)](const URLSessionPtr&,
                                                                          const URLSessionDelegatePtr&) {
                handler(std::nullopt);
            });
        return;
    }
    cancelRequested_ = true;
    auto self = std::static_pointer_cast<URLSessionDownloadTask>(shared_from_this());
    session->engine_->post([self, session, handler = std::move(byProducingResumeData)] {
        if (!self->driver_) self->driver_ = std::make_unique<TaskDriver>(session, self.get());
        self->driver_->cancel(handler, true);
    });
}

}  // namespace platform

// Task state and control; the transfer itself is the driver's, on the I/O thread.
#include "platform/net/URLSessionTask.h"

#include "platform/net/CurlEngine.h"
#include "platform/net/TaskDriver.h"
#include "platform/net/URLSession.h"

namespace platform {

URLSessionTask::URLSessionTask(Kind kind, std::uint64_t identifier, std::weak_ptr<URLSession> session,
                               std::optional<URLRequest> request)
    : kind_(kind), identifier_(identifier), session_(std::move(session)) {
    fields_.write([&](Fields& f) {
        f.originalRequest = request;
        f.currentRequest = std::move(request);
    });
}

URLSessionTask::~URLSessionTask() = default;

std::optional<URLRequest> URLSessionTask::originalRequest() const { return fields_.get(&Fields::originalRequest); }

std::optional<URLRequest> URLSessionTask::currentRequest() const { return fields_.get(&Fields::currentRequest); }

URLResponsePtr URLSessionTask::response() const { return fields_.get(&Fields::response); }

URLSessionTask::State URLSessionTask::state() const { return fields_.get(&Fields::state); }

ErrorPtr URLSessionTask::error() const { return fields_.get(&Fields::error); }

std::string URLSessionTask::taskDescription() const { return fields_.get(&Fields::description); }

void URLSessionTask::setTaskDescription(std::string text) { fields_.set(&Fields::description, std::move(text)); }

bool URLSessionTask::beginCanceling() {
    return fields_.write([](Fields& f) {
        if (f.state == State::completed || f.state == State::canceling) return false;
        f.state = State::canceling;
        f.started = true;
        return true;
    });
}

void URLSessionTask::resume() {
    auto session = session_.lock();
    if (!session) return;
    // Nothing to do unless suspended; otherwise whether this is the first start.
    auto start = fields_.write([](Fields& f) -> std::optional<bool> {
        if (f.state != State::suspended) return std::nullopt;
        f.state = State::running;
        bool first = !f.started;
        f.started = true;
        return first;
    });
    if (!start) return;
    auto self = shared_from_this();
    session->engine_->post([self, session, start = *start] {
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
    bool paused = fields_.write([](Fields& f) {
        if (f.state != State::running) return false;
        f.state = State::suspended;
        return true;
    });
    if (!paused) return;
    auto self = shared_from_this();
    session->engine_->post([self] {
        if (self->driver_) self->driver_->setUserSuspended(true);
    });
}

void URLSessionTask::cancel() {
    auto session = session_.lock();
    if (!session) return;
    if (!beginCanceling()) return;
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
    if (!beginCanceling()) {
        if (byProducingResumeData)
            session->deliver([handler = std::move(byProducingResumeData)](
                                 const URLSessionPtr&, const URLSessionDelegatePtr&) { handler(std::nullopt); });
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

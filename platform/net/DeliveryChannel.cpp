#include "platform/net/DeliveryChannel.h"

namespace platform {

void DeliveryChannel::hold() {
    std::lock_guard lock(mutex_);
    holding_ = true;
}

bool DeliveryChannel::release() {
    std::lock_guard lock(mutex_);
    holding_ = false;
    return !pending_.isEmpty() && scheduleBytes();
}

DeliveryChannel::Appended DeliveryChannel::append(const char* data, std::size_t length) {
    std::lock_guard lock(mutex_);
    pending_.append(data, length);
    bool schedule = !holding_ && scheduleBytes();
    bool behind = pending_.count() >= maxPendingBytes;
    if (behind) backpressured_ = true;
    return {schedule, behind};
}

// True when no delivery of bytes waits yet; one does from now on.
bool DeliveryChannel::scheduleBytes() {
    if (bytesScheduled_) return false;
    bytesScheduled_ = true;
    return true;
}

DeliveryChannel::Chunk DeliveryChannel::takeBytes() {
    std::lock_guard lock(mutex_);
    Chunk chunk{Data(), backpressured_};
    chunk.bytes.bytes().swap(pending_.bytes());
    bytesScheduled_ = false;
    backpressured_ = false;
    return chunk;
}

void DeliveryChannel::expectUpload(std::int64_t expected) {
    std::lock_guard lock(mutex_);
    uploadExpected_ = expected;
}

bool DeliveryChannel::sent(std::int64_t bytes) {
    std::lock_guard lock(mutex_);
    uploadDelta_ += bytes;
    uploadTotal_ += bytes;
    if (uploadScheduled_) return false;
    uploadScheduled_ = true;
    return true;
}

ProgressStepper::Figures DeliveryChannel::takeUpload() {
    std::lock_guard lock(mutex_);
    ProgressStepper::Figures figures{uploadDelta_, uploadTotal_, uploadExpected_};
    uploadDelta_ = 0;
    uploadScheduled_ = false;
    return figures;
}

}  // namespace platform

#include "platform/net/DeliveryChannel.h"

namespace platform {

void DeliveryChannel::hold() { state_.set(&State::holding, true); }

bool DeliveryChannel::release() {
    return state_.write([](State& state) {
        state.holding = false;
        return !state.pending.isEmpty() && state.scheduleBytes();
    });
}

DeliveryChannel::Appended DeliveryChannel::append(const char* data, std::size_t length) {
    return state_.write([&](State& state) {
        state.pending.append(data, length);
        bool schedule = !state.holding && state.scheduleBytes();
        bool behind = state.pending.count() >= maxPendingBytes;
        if (behind) state.backpressured = true;
        return Appended{schedule, behind};
    });
}

DeliveryChannel::Chunk DeliveryChannel::takeBytes() {
    return state_.write([](State& state) {
        Chunk chunk{Data(), state.backpressured};
        chunk.bytes.bytes().swap(state.pending.bytes());
        state.bytesScheduled = false;
        state.backpressured = false;
        return chunk;
    });
}

void DeliveryChannel::expectUpload(std::int64_t expected) { state_.set(&State::uploadExpected, expected); }

bool DeliveryChannel::sent(std::int64_t bytes) {
    return state_.write([&](State& state) {
        state.uploadDelta += bytes;
        state.uploadTotal += bytes;
        return !std::exchange(state.uploadScheduled, true);
    });
}

ProgressStepper::Figures DeliveryChannel::takeUpload() {
    return state_.write([](State& state) {
        ProgressStepper::Figures figures{state.uploadDelta, state.uploadTotal, state.uploadExpected};
        state.uploadDelta = 0;
        state.uploadScheduled = false;
        return figures;
    });
}

}  // namespace platform

#include "platform/net/ProgressStepper.h"

namespace platform {

void ProgressStepper::start(std::int64_t total, std::int64_t expected) {
    state_.write([&](State& state) {
        state.total = total;
        state.expected = expected;
    });
}

std::int64_t ProgressStepper::expected() const { return state_.get(&State::expected); }

ProgressStepper::Next ProgressStepper::received(std::int64_t bytes) {
    return state_.write([&](State& state) {
        state.delta += bytes;
        state.total += bytes;
        if (state.scheduled) return Next::nothing;  // these bytes join the waiting report
        auto now = now_();
        if (state.delta >= stepBytes || now - state.lastReport >= stepTime) {
            state.lastReport = now;
            state.scheduled = true;
            return Next::report;
        }
        if (state.flushArmed) return Next::nothing;
        state.flushArmed = true;
        return Next::armFlush;
    });
}

bool ProgressStepper::flushHeld() {
    return state_.write([&](State& state) {
        state.flushArmed = false;
        if (!state.heldBack()) return false;
        state.lastReport = now_();
        state.scheduled = true;
        return true;
    });
}

bool ProgressStepper::finishing() {
    return state_.write([](State& state) {
        if (!state.heldBack()) return false;
        state.scheduled = true;
        return true;
    });
}

ProgressStepper::Figures ProgressStepper::take() {
    return state_.write([](State& state) {
        Figures figures{state.delta, state.total, state.expected};
        state.delta = 0;
        state.scheduled = false;
        return figures;
    });
}

}  // namespace platform

// One drain at a time reads what was written since the last one and feeds it to the digest.
// The writer schedules a drain only when none runs and a whole read's worth is waiting, so
// a fast writer costs one locked step per chunk and the digest catches up in large reads;
// `finish` drains the rest. Drains run on a few serial lanes shared by every digest: each
// takes the least busy lane, and a drain hands its lane on after a few reads, so digests
// sharing a lane take turns and the pool gives them at most `kLanes` workers in all.
#include "platform/net/FollowingDigest.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <string>
#include <utility>

#include "platform/base/NoDestructor.h"
#include "platform/dispatch/DispatchQueue.h"

namespace platform {

namespace {
constexpr std::int64_t kReadSize = 1 << 20;
constexpr int kReadsPerTurn = 8;
constexpr std::size_t kLanes = 2;

class Lanes {
public:
    Lanes() {
        for (std::size_t i = 0; i < kLanes; ++i)
            queues_[i] = DispatchQueue::create("platform.net.following-digest." + std::to_string(i));
    }
    static Lanes& shared() {
        static NoDestructor<Lanes> lanes;
        return *lanes;
    }
    // The lane with the fewest digests on it; give it back with `release`.
    std::size_t take() {
        return users_.write([](std::array<int, kLanes>& users) {
            const auto lane = static_cast<std::size_t>(std::min_element(users.begin(), users.end()) - users.begin());
            ++users[lane];
            return lane;
        });
    }
    void release(std::size_t lane) {
        users_.write([&](std::array<int, kLanes>& users) { --users[lane]; });
    }
    const DispatchQueuePtr& queue(std::size_t lane) const { return queues_[lane]; }

private:
    std::array<DispatchQueuePtr, kLanes> queues_;
    Protected<std::array<int, kLanes>> users_;
};

}  // namespace

std::shared_ptr<FollowingDigest> FollowingDigest::create(int fd, Digest start, std::int64_t hashed,
                                                         std::int64_t written) {
    auto digest = std::make_shared<FollowingDigest>(fd, std::move(start), hashed, written);
    digest->wrote(written);
    return digest;
}

FollowingDigest::FollowingDigest(int fd, Digest start, std::int64_t hashed, std::int64_t written)
    : lane_(Lanes::shared().take()), digest_(std::move(start)), state_(State{written, hashed, fd}) {}

FollowingDigest::~FollowingDigest() {
    const int reader = state_.write([](State& state) { return std::exchange(state.fd, -1); });
    if (reader >= 0) letGo(reader);
}

void FollowingDigest::wrote(std::int64_t written) {
    state_.write([&](State& state) { state.written = written; });
    scheduleDrain(kReadSize);
}

void FollowingDigest::seal() {
    state_.write([](State& state) { state.sealed = true; });
    scheduleDrain(1);
    letGoIfDone();
}

void FollowingDigest::scheduleDrain(std::int64_t waiting) {
    const bool schedule = state_.write([&](State& state) {
        if (state.draining || state.stopping || state.failed || state.fd < 0 || state.written - state.hashed < waiting)
            return false;
        state.draining = true;
        return true;
    });
    if (schedule) Lanes::shared().queue(lane_)->async([self = shared_from_this()] { self->drain(); });
}

// Runs while `draining` is set, so it is the only code touching `digest_` and the reader.
// A drain that lets the reader go closes it before it clears `draining`: whoever waited
// for the digest finds the descriptor closed.
void FollowingDigest::drain() {
    std::unique_ptr<char[]> buffer(new char[kReadSize]);
    for (int reads = 0;; ++reads) {
        struct Step {
            int fd;
            std::int64_t from, length;
            bool last;
        };
        const auto step = state_.write([&](State& state) -> Step {
            if (state.stopping || state.failed || state.hashed >= state.written) {
                const int reader = takeReaderIfDone(state);
                if (reader < 0) stopDraining(state);
                return Step{reader, 0, 0, true};
            }
            return Step{state.fd, state.hashed, std::min(kReadSize, state.written - state.hashed), false};
        });
        if (step.last) {
            if (step.fd >= 0) {
                letGo(step.fd);
                state_.write([&](State& state) { stopDraining(state); });
            }
            return;
        }
        if (reads == kReadsPerTurn) {  // still draining: the lane's other digests go first
            Lanes::shared().queue(lane_)->async([self = shared_from_this()] { self->drain(); });
            return;
        }
        const ssize_t n = ::pread(step.fd, buffer.get(), static_cast<std::size_t>(step.length), step.from);
        if (n < 0 && errno == EINTR) continue;
        if (n > 0) digest_.update(buffer.get(), static_cast<std::size_t>(n));
        state_.write([&](State& state) {
            if (n > 0) state.hashed += n;
            else state.failed = true;
        });
    }
}

int FollowingDigest::takeReaderIfDone(State& state) {
    const bool done = state.stopping || state.failed || (state.sealed && state.hashed >= state.written);
    return done ? std::exchange(state.fd, -1) : -1;
}

void FollowingDigest::stopDraining(State& state) {
    state.draining = false;
    idle_.notify_all();
}

void FollowingDigest::letGo(int reader) {
    ::close(reader);
    Lanes::shared().release(lane_);
}

void FollowingDigest::letGoIfDone() {
    const int reader = state_.write([](State& state) { return state.draining ? -1 : takeReaderIfDone(state); });
    if (reader >= 0) letGo(reader);
}

void FollowingDigest::waitUntilIdle() {
    state_.wait(idle_, [](const State& state) { return !state.draining; });
}

std::optional<Digest> FollowingDigest::finish() {
    scheduleDrain(1);
    waitUntilIdle();
    const bool complete =
        state_.read([](const State& state) { return !state.failed && state.hashed == state.written; });
    if (!complete) return std::nullopt;
    return digest_.clone();
}

void FollowingDigest::abandon() {
    state_.write([](State& state) { state.stopping = true; });
    waitUntilIdle();
    letGoIfDone();
}

}  // namespace platform

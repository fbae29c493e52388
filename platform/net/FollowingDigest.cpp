// One drain at a time reads what was written since the last one and feeds it to the digest.
// The writer schedules a drain only when none runs and a whole read's worth is waiting, so
// a fast writer costs one locked step per chunk and the digest catches up in large reads;
// `finish` drains the rest.
#include "platform/net/FollowingDigest.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/dispatch/DispatchQueue.h"

namespace platform {

namespace {
constexpr std::int64_t kReadSize = 1 << 20;
}

std::shared_ptr<FollowingDigest> FollowingDigest::create(int fd, Digest start, std::int64_t hashed,
                                                         std::int64_t written) {
    auto digest = std::make_shared<FollowingDigest>(fd, std::move(start), hashed, written);
    digest->wrote(written);
    return digest;
}

FollowingDigest::FollowingDigest(int fd, Digest start, std::int64_t hashed, std::int64_t written)
    : fd_(fd), digest_(std::move(start)), state_(State{written, hashed}) {}

FollowingDigest::~FollowingDigest() { ::close(fd_); }

void FollowingDigest::wrote(std::int64_t written) {
    state_.write([&](State& state) { state.written = written; });
    scheduleDrain(kReadSize);
}

void FollowingDigest::scheduleDrain(std::int64_t waiting) {
    const bool schedule = state_.write([&](State& state) {
        if (state.draining || state.stopping || state.failed || state.written - state.hashed < waiting) return false;
        state.draining = true;
        return true;
    });
    if (schedule) DispatchQueue::global()->async([self = shared_from_this()] { self->drain(); });
}

// Runs while `draining` is set, so it is the only code touching `digest_`.
void FollowingDigest::drain() {
    std::unique_ptr<char[]> buffer(new char[kReadSize]);
    for (;;) {
        struct Step {
            std::int64_t from, length;
        };
        const auto step = state_.write([&](State& state) -> std::optional<Step> {
            if (state.stopping || state.failed || state.hashed >= state.written) {
                state.draining = false;
                idle_.notify_all();
                return std::nullopt;
            }
            return Step{state.hashed, std::min(kReadSize, state.written - state.hashed)};
        });
        if (!step) return;
        const ssize_t n = ::pread(fd_, buffer.get(), static_cast<std::size_t>(step->length), step->from);
        if (n < 0 && errno == EINTR) continue;
        if (n > 0) digest_.update(buffer.get(), static_cast<std::size_t>(n));
        state_.write([&](State& state) {
            if (n > 0) state.hashed += n;
            else state.failed = true;
        });
    }
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
}

}  // namespace platform

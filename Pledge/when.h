// Joining many promises into one: `whenFulfilled` fulfils once every input has fulfilled
// and rejects at the first rejection; `whenResolved` never fails and hands back every
// input's result; the iterator forms keep at most `limit` inputs unresolved at a time.
// Inputs are only observed, never cancelled.
#pragma once
#include <cstdint>
#include <optional>
#include <tuple>
#include <utility>
#include <vector>

#include "Pledge/CatchOperators.h"
#include "platform/base/Protected.h"

namespace Pledge {

namespace detail {
// The shared count of one `when` call; it decides the root's outcome exactly once.
class Countdown {
public:
    Countdown(std::int64_t count, std::shared_ptr<Box<Result<Void>>> root)
        : state_(State{count, false}), root_(std::move(root)) {}
    void fulfilled();
    void rejected(ErrorPtr error);

private:
    struct State {
        std::int64_t remaining;
        bool decided;
    };
    platform::Protected<State> state_;
    std::shared_ptr<Box<Result<Void>>> root_;
};

// Counts `input`'s outcome in `countdown`.
template <class U>
void countOutcome(const U& input, const std::shared_ptr<Countdown>& countdown) {
    input.pipe([countdown](const Result<typename U::ValueType>& r) {
        if (r.isSuccess()) countdown->fulfilled();
        else countdown->rejected(r.error());
    });
}

// Fulfils once every input has fulfilled; rejects with the first rejection.
template <class U>
Promise<Void> whenVoid(const std::vector<U>& inputs) {
    if (inputs.empty()) return Promise<Void>();
    auto root = Promise<Void>::makePending();
    auto countdown = std::make_shared<Countdown>(static_cast<std::int64_t>(inputs.size()), root.box());
    for (const auto& input : inputs) countOutcome(input, countdown);
    return root;
}
// The same over an argument list of thenables of any kinds and value types.
template <class... U>
Promise<Void> whenVoidOf(const U&... inputs) {
    auto root = Promise<Void>::makePending();
    auto countdown = std::make_shared<Countdown>(static_cast<std::int64_t>(sizeof...(U)), root.box());
    (countOutcome(inputs, countdown), ...);
    return root;
}

template <class... U>
constexpr bool allVoid = (std::is_same_v<typename U::ValueType, Void> && ...);
}  // namespace detail

// Array form: the values in input order (a Promise<Void> when the values are nothing).
template <IsThenable U>
auto whenFulfilled(const std::vector<U>& inputs) {
    using T = typename U::ValueType;
    if constexpr (std::is_same_v<T, Void>) {
        return detail::whenVoid(inputs);
    } else {
        return detail::whenVoid(inputs).map(nullptr, [inputs](const Void&) {
            std::vector<T> values;
            values.reserve(inputs.size());
            for (const auto& input : inputs) values.push_back(*input.value());
            return values;
        });
    }
}

// Argument-list form over any thenables (promises, guarantees, mixes): a Promise<Void>
// for inputs of nothing, else the tuple of the values in argument order.
template <IsThenable... U>
    requires(sizeof...(U) >= 1)
auto whenFulfilled(const U&... inputs) {
    if constexpr (detail::allVoid<U...>) {
        return detail::whenVoidOf(inputs...);
    } else {
        return detail::whenVoidOf(inputs...).map(
            nullptr, [inputs...](const Void&) { return std::make_tuple(*inputs.value()...); });
    }
}

// One result per input, in input order; never rejected.
template <IsThenable U>
Guarantee<std::vector<Result<typename U::ValueType>>> whenResolved(const std::vector<U>& inputs) {
    using T = typename U::ValueType;
    using Results = std::vector<Result<T>>;
    if (inputs.empty()) return Guarantee<Results>::value({});
    auto root = Guarantee<Results>::makePending();
    struct Join {
        struct Count {
            std::int64_t remaining = 0;
        };
        platform::Protected<Count> count;
        std::vector<U> inputs;
    };
    auto join = std::make_shared<Join>();
    join->count.set(&Join::Count::remaining, static_cast<std::int64_t>(inputs.size()));
    join->inputs = inputs;
    for (const auto& input : inputs) {
        input.pipe([join, box = root.box()](const Result<T>&) {
            bool last = join->count.write([](auto& count) { return --count.remaining == 0; });
            if (!last) return;
            Results results;
            for (const auto& each : join->inputs) results.push_back(*each.result());
            box->seal(std::move(results));
        });
    }
    return root;
}
template <IsThenable U, IsThenable... More>
auto whenResolved(const U& first, const More&... more) {
    return whenResolved(std::vector<U>{first, more...});
}

// Fulfils when every guarantee has.
Guarantee<Void> whenGuarantees(const std::vector<Guarantee<Void>>& guarantees);
template <class... G>
Guarantee<Void> whenGuarantees(const Guarantee<Void>& first, const G&... more) {
    return whenGuarantees(std::vector<Guarantee<Void>>{first, more...});
}

namespace detail {
// The state of one iterator-fed `when`. A single thread at a time takes inputs (others
// leave it a note), so already-resolved inputs do not nest one call per element; and as
// only that thread adds to the pending count, never more than `limit` inputs are pending
// even though the iterator is asked outside the lock.
template <class U, class Next>
struct Feed : std::enable_shared_from_this<Feed<U, Next>> {
    using T = typename U::ValueType;
    Feed(Next n, std::int64_t l, bool stop) : next(std::move(n)), limit(l), stopOnRejection(stop) {}

    Next next;
    const std::int64_t limit;
    const bool stopOnRejection;
    struct State {
        std::int64_t pendingPromises = 0;
        std::vector<U> promises;
        bool exhausted = false;
        bool taking = false;
        bool again = false;
        bool stopped = false;
    };
    platform::Protected<State> state;
    std::function<void(std::vector<U>)> finish;
    std::function<void(ErrorPtr)> fail;

    // What the taking thread does next.
    enum class Step { take, retry, leave, finish };

    void pump() {
        bool takes = state.write([](State& s) {
            if (s.taking) s.again = true;
            return !std::exchange(s.taking, true);
        });
        if (!takes) return;
        for (;;) {
            switch (nextStep()) {
                case Step::take: take(); break;
                case Step::retry: break;
                case Step::leave: return;
                case Step::finish: return finish(state.get(&State::promises));
            }
        }
    }

    Step nextStep() {
        return state.write([this](State& s) {
            if (s.stopped) {
                s.taking = false;
                return Step::leave;
            }
            if (!s.exhausted && s.pendingPromises < limit) return Step::take;
            if (std::exchange(s.again, false)) return Step::retry;
            s.taking = false;
            return s.exhausted && s.pendingPromises == 0 ? Step::finish : Step::leave;
        });
    }

    // Asks the iterator (outside the lock) for one more input and attaches to it.
    void take() {
        std::optional<U> element = next();
        bool taken = state.write([&](State& s) {
            if (!element) {
                s.exhausted = true;
                return false;
            }
            ++s.pendingPromises;
            s.promises.push_back(*element);
            return true;
        });
        if (taken) attachTo(*element);
    }

    void attachTo(const U& element) {
        element.pipe([self = this->shared_from_this()](const Result<T>& r) {
            self->state.write([&](State& s) {
                --s.pendingPromises;
                if (r.isFailure() && self->stopOnRejection) s.stopped = true;
            });
            if (r.isFailure() && self->stopOnRejection) self->fail(r.error());
            else self->pump();
        });
    }
};
}  // namespace detail

// `next()` gives the next thenable as a std::optional, or nothing at the end. A limit
// below 1 rejects with PLGError badInput without touching the iterator.
template <class Next>
    requires std::is_invocable_v<Next&>
auto whenFulfilled(Next next, std::int64_t limit) {
    using U = typename std::invoke_result_t<Next&>::value_type;
    using T = typename U::ValueType;
    if (limit < 1) return Promise<std::vector<T>>(PLGError::badInput());
    auto root = Promise<std::vector<T>>::makePending();
    auto feed = std::make_shared<detail::Feed<U, Next>>(std::move(next), limit, true);
    feed->finish = [box = root.box()](std::vector<U> taken) {
        std::vector<T> values;
        for (const auto& p : taken)
            if (auto v = p.value()) values.push_back(std::move(*v));
        box->seal(Result<std::vector<T>>::success(std::move(values)));
    };
    feed->fail = [box = root.box()](ErrorPtr e) { box->seal(Result<std::vector<T>>::failure(std::move(e))); };
    feed->pump();
    return root;
}

// The results of every input taken, in the order taken; never rejected. A limit below 1
// gives one `rejected(badInput)` result.
template <class Next>
auto whenResolved(Next next, std::int64_t limit)
    requires std::is_invocable_v<Next&>
{
    using U = typename std::invoke_result_t<Next&>::value_type;
    using T = typename U::ValueType;
    using Results = std::vector<Result<T>>;
    if (limit < 1) return Guarantee<Results>::value({Result<T>::failure(PLGError::badInput())});
    auto root = Guarantee<Results>::makePending();
    auto feed = std::make_shared<detail::Feed<U, Next>>(std::move(next), limit, false);
    feed->finish = [box = root.box()](std::vector<U> taken) {
        Results results;
        for (const auto& p : taken) results.push_back(*p.result());
        box->seal(std::move(results));
    };
    feed->pump();
    return root;
}

}  // namespace Pledge

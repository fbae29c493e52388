// Resolving one promise from whichever input finishes first: `race` takes the first
// resolution of any kind, `raceFulfilled` the first fulfilment (and fails only when every
// input failed). Inputs are only observed; losers go on running.
#pragma once
#include <cstdint>
#include <vector>

#include "Pledge/CatchOperators.h"
#include "platform/base/Protected.h"

namespace Pledge {

namespace detail {
template <class U>
auto raceOf(const std::vector<U>& inputs) {
    using T = typename U::ValueType;
    if constexpr (IsGuarantee<U>::value) {
        auto root = Guarantee<T>::makePending();
        for (const auto& input : inputs) input.pipe([box = root.box()](const T& v) { box->seal(v); });
        return root;
    } else {
        auto root = Promise<T>::makePending();
        for (const auto& input : inputs) input.pipe([box = root.box()](const Result<T>& r) { box->seal(r); });
        return root;
    }
}
}  // namespace detail

// Array form: an empty array of promises rejects with badInput; an empty array of
// guarantees stays pending.
template <IsThenable U>
auto race(const std::vector<U>& inputs) {
    using T = typename U::ValueType;
    if constexpr (!detail::IsGuarantee<U>::value) {
        if (inputs.empty()) return Promise<T>(PLGError::badInput());
    }
    return detail::raceOf(inputs);
}

// Argument-list form.
template <IsThenable U, IsThenable... More>
auto race(const U& first, const More&... more) {
    return detail::raceOf(std::vector<U>{first, more...});
}

// The first fulfilment wins; when every input is rejected, rejects with noWinner.
template <IsThenable U>
Promise<typename U::ValueType> raceFulfilled(const std::vector<U>& inputs) {
    using T = typename U::ValueType;
    if (inputs.empty()) return Promise<T>(PLGError::badInput());
    struct Countdown {
        std::int64_t remaining = 0;
        bool decided = false;
    };
    auto countdown =
        std::make_shared<platform::Protected<Countdown>>(Countdown{static_cast<std::int64_t>(inputs.size()), false});
    auto root = Promise<T>::makePending();
    for (const auto& input : inputs) {
        input.pipe([countdown, box = root.box()](const Result<T>& r) {
            bool decides = countdown->write([&](Countdown& state) {
                if (state.decided) return false;
                if (r.isFailure() && --state.remaining != 0) return false;
                state.decided = true;
                return true;
            });
            if (!decides) return;
            box->seal(r.isSuccess() ? r : Result<T>::failure(PLGError::noWinner()));
        });
    }
    return root;
}

}  // namespace Pledge

// One callable made of several lambdas, so std::visit over a variant can take a handler
// for each alternative in one expression.
#pragma once

namespace platform {

template <class... F>
struct Overloaded : F... {
    using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

}  // namespace platform

// One-time initialisation: the block runs once per token, and every caller returns only
// after it has run.
#pragma once
#include <mutex>
#include <utility>

namespace platform {

using DispatchOnceToken = std::once_flag;

template <class F>
void dispatchOnce(DispatchOnceToken& token, F&& block) {
    std::call_once(token, std::forward<F>(block));
}

}  // namespace platform

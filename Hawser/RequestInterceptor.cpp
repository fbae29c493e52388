// The retrier's answer.
#include "Hawser/RequestInterceptor.h"

namespace Hawser {

std::optional<double> RetryResult::delay() const {
    if (auto* d = std::get_if<RetryWithDelay>(&value_)) return d->seconds;
    return std::nullopt;
}

platform::ErrorPtr RetryResult::error() const {
    if (auto* e = std::get_if<DoNotRetryWithError>(&value_)) return e->error;
    return nullptr;
}

}  // namespace Hawser

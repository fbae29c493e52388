// Waiting once for a notification, as a runtime-facing promise.
#pragma once
#include <string>

#include "Pledge/AnyPromise.h"

namespace Pledge {

// Fulfilled on the main queue with a PLGArray of (the next notification named `name`
// posted to the default centre from any sender, its user info); never rejected. The
// observer is removed when that notification arrives.
AnyPromisePtr once(const std::string& name);

}  // namespace Pledge

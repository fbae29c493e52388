// The next change of an observable property, as a guarantee.
#pragma once
#include <optional>
#include <string>

#include "Pledge/Guarantee.h"
#include "Pledge/Promise.h"
#include "platform/runtime/Class.h"

namespace Pledge {

// Resolved on the thread that changes `keyPath` of `object`, with the new value (nothing
// when the change carries none). The observation ends after that first change; until
// then it keeps itself alive.
Guarantee<std::optional<platform::Value>> observe(const platform::ObjectPtr& object, PLGNamespacer,
                                                  const std::string& keyPath);

}  // namespace Pledge

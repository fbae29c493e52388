// A guarantee that resolves when an object of the runtime ends its life.
#pragma once
#include "Pledge/Guarantee.h"
#include "platform/runtime/Class.h"

namespace Pledge {

// Resolved on the thread that destroys `life`, while it is being destroyed (after its
// own C++ parts are gone). Calls on one object give one and the same guarantee.
Guarantee<Void> after(const platform::ObjectPtr& life);

}  // namespace Pledge

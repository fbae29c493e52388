// The fatal paths of UnfairLock, out of line so the header stays small.
#include "platform/base/UnfairLock.h"

#include "platform/base/Fatal.h"

namespace platform {

void UnfairLock::reentered() { fatal("UnfairLock taken again by the thread that holds it"); }

void UnfairLock::assertOwner() const {
    if (!ownedByCurrentThread()) fatal("UnfairLock not held by the calling thread");
}

void UnfairLock::assertNotOwner() const {
    if (ownedByCurrentThread()) fatal("UnfairLock held by the calling thread");
}

}  // namespace platform

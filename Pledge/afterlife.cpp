// A reaper object is attached to the watched object as an associated object (retained,
// non-atomic); the owner releases its associations as it is destroyed, and the reaper's
// own destructor seals the guarantee. Looking the reaper up and attaching a new one is
// one step under a lock, so concurrent calls on one object share one reaper.
#include "Pledge/afterlife.h"

#include <mutex>

#include "platform/base/NoDestructor.h"

namespace Pledge {

namespace {

class GrimReaper final : public platform::Object {
    PLATFORM_OBJECT(GrimReaper, platform::Object)

public:
    GrimReaper() : promise(Guarantee<Void>::makePending()) {}
    ~GrimReaper() override { fulfill(); }

    void fulfill() const { promise.box()->seal(Void{}); }
    const Guarantee<Void> promise;
};

// Its address is the association key.
const char reaperKey = 0;

// Guards the get-or-attach of every reaper; made once and never destroyed.
std::mutex& reaperLock() {
    static platform::NoDestructor<std::mutex> lock;
    return *lock;
}

}  // namespace

Guarantee<Void> after(const platform::ObjectPtr& life) {
    // Whatever else was stored under the key is released after the lock is let go, so a
    // destructor that calls back in here cannot deadlock.
    platform::Value replaced;
    std::lock_guard lock(reaperLock());
    replaced = life->associatedObject(&reaperKey);
    if (auto reaper = replaced.asObject<GrimReaper>()) return reaper->promise;
    auto reaper = std::make_shared<GrimReaper>();
    life->setAssociatedObject(&reaperKey, platform::Value(reaper), platform::AssociationPolicy::retainNonatomic);
    return reaper->promise;
}

}  // namespace Pledge

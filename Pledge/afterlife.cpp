// A reaper object is attached to the watched object as an associated object (retained,
// non-atomic); the owner releases its associations as it is destroyed, and the reaper's
// own destructor seals the guarantee.
#include "Pledge/afterlife.h"

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

}  // namespace

Guarantee<Void> after(const platform::ObjectPtr& life) {
    if (auto reaper = life->associatedObject(&reaperKey).asObject<GrimReaper>()) return reaper->promise;
    auto reaper = std::make_shared<GrimReaper>();
    auto promise = reaper->promise;
    life->setAssociatedObject(&reaperKey, platform::Value(reaper), platform::AssociationPolicy::retainNonatomic);
    return promise;
}

}  // namespace Pledge

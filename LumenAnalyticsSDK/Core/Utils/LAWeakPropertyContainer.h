// A box holding an object weakly: it answers the object while it lives, then none.
#pragma once
#include <memory>

#include "platform/runtime/Object.h"

namespace LumenAnalyticsSDK {

template <class T = platform::Object>
class LAWeakPropertyContainer {
public:
    static std::shared_ptr<LAWeakPropertyContainer> containerWithWeakProperty(const std::shared_ptr<T>& object) {
        auto box = std::make_shared<LAWeakPropertyContainer>();
        box->weakProperty_ = object;
        return box;
    }
    std::shared_ptr<T> weakProperty() const { return weakProperty_.lock(); }

private:
    std::weak_ptr<T> weakProperty_;
};

}  // namespace LumenAnalyticsSDK

// The observer block seals the guarantee's box; a final step of the guarantee removes
// the observer again.
#include "Pledge/NotificationCenter+Promise.h"

namespace Pledge {

Guarantee<platform::Notification> observe(const std::shared_ptr<platform::NotificationCenter>& center,
                                          const std::string& once, platform::NotificationSender object) {
    auto guarantee = Guarantee<platform::Notification>::makePending();
    auto token = center->addObserver(once, std::move(object), nullptr,
                                     [box = guarantee.box()](const platform::Notification& n) { box->seal(n); });
    guarantee.done([center, token](const platform::Notification&) { center->removeObserver(token); });
    return guarantee;
}

}  // namespace Pledge

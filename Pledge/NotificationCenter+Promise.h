// The next posting of a named notification, as a guarantee.
#pragma once
#include <memory>
#include <string>

#include "Pledge/Guarantee.h"
#include "platform/files/NotificationCenter.h"

namespace Pledge {

// Resolved on the posting thread with the first notification named `once` from
// `object` (any sender when null). The observer is removed afterwards on the
// configured return queue; notifications that arrive meanwhile are ignored.
Guarantee<platform::Notification> observe(const std::shared_ptr<platform::NotificationCenter>& center,
                                          const std::string& once, platform::NotificationSender object = nullptr);

}  // namespace Pledge

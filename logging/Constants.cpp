// The shared user info that marks the logging system's own lines.
#include "logging/Constants.h"

namespace Scribe::Constants {

const UserInfo& internalUserInfo() {
    static const UserInfo info{{internalUserInfoKey, platform::Value(true)}};
    return info;
}

}  // namespace Scribe::Constants

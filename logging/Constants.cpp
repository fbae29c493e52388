// The shared user info that marks the logging system's own lines.
#include "logging/Constants.h"
#include "platform/base/NoDestructor.h"

namespace Scribe::Constants {

const UserInfo& internalUserInfo() {
    static const platform::NoDestructor<UserInfo> info(UserInfo{{internalUserInfoKey, platform::Value(true)}});
    return *info;
}

}  // namespace Scribe::Constants

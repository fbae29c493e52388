// Building the common request headers from the application information and the locale.
#include "updater/Common/Network/API.h"

#include <cmath>

#include "platform/base/Date.h"
#include "platform/foundation/Locale.h"
#include "updater/AppInfo.h"

namespace Lanternfly_Updater {

std::map<std::string, std::string> API::headers() {
    // Three reads of the current locale, as each code is asked for separately.
    const auto language = platform::Locale::current().languageCode().value_or("zh");
    const auto region = platform::Locale::current().regionCode().value_or("None");
    const auto country = platform::Locale::current().regionCode().value_or("None");
    // Whole seconds, truncated: 0.9 s past a second is still that second.
    const auto seconds = static_cast<long long>(std::trunc(platform::Date::now().timeIntervalSince1970()));
    return {
        {"X-Param-PLAT", "4"},
        {"X-Param-VN", AppInfo::versionName()},
        {"X-Param-VC", AppInfo::versionCode()},
        {"X-Param-PKGN", AppInfo::bundleId()},
        {"X-Param-CHN", AppInfo::channel()},
        {"X-Param-LANG", language + "-" + region},
        {"X-Param-CNT", country},
        {"X-Param-REL", "prod"},
        {"X-Param-client-id", ""},
        {"X-Param-OPR", "None"},
        {"X-Param-TS", std::to_string(seconds)},
    };
}

}  // namespace Lanternfly_Updater

// One message of the analytics client's own log.
#include "LumenAnalyticsSDK/Core/Utils/LALogMessage.h"

namespace LumenAnalyticsSDK {

LALogMessage::LALogMessage(std::string message, unsigned level, std::string file, std::string function, unsigned line,
                           long context, platform::Date timestamp)
    : message_(std::move(message)), level_(level), file_(std::move(file)), function_(std::move(function)), line_(line),
      context_(context), timestamp_(timestamp) {
    auto slash = file_.find_last_of('/');
    fileName_ = slash == std::string::npos ? file_ : file_.substr(slash + 1);
}

}  // namespace LumenAnalyticsSDK

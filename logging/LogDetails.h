// The record of one logged line, built once by the logger and handed to each destination.
#pragma once
#include <cstdint>
#include <string>

#include "logging/Level.h"
#include "platform/base/Date.h"
#include "platform/base/Value.h"

namespace Scribe {

using UserInfo = platform::Value::Dictionary;

struct LogDetails {
    Level level = Level::debug;
    platform::Date date;
    std::string message;
    std::string functionName;
    std::string fileName;
    std::int64_t lineNumber = 0;
    UserInfo userInfo;
};

}  // namespace Scribe

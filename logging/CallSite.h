// Where a log call was made: function, source file and line, captured at the call site.
#pragma once
#include <cstdint>
#include <source_location>
#include <string_view>

#include "platform/base/CallerLocation.h"

namespace Scribe {

struct CallSite {
    // The caller's own location (a default argument is evaluated where the call is written).
    CallSite(std::source_location where = SKYREACH_CALLER_LOCATION)
        : functionName(where.function_name()), fileName(where.file_name()), lineNumber(where.line()) {}
    CallSite(std::string_view functionName, std::string_view fileName, std::int64_t lineNumber)
        : functionName(functionName), fileName(fileName), lineNumber(lineNumber) {}
    // A call site that shows a chosen function name ("getChannel()") with the caller's file and line.
    static CallSite named(std::string_view functionName, std::source_location where = SKYREACH_CALLER_LOCATION) {
        return CallSite(functionName, where.file_name(), where.line());
    }

    // Views of texts that outlive the call: literals or the caller's own strings.
    std::string_view functionName;
    std::string_view fileName;
    std::int64_t lineNumber;
};

}  // namespace Scribe

// A formatter rewrites the text of one finished line before it is written.
#pragma once
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "logging/LogDetails.h"

namespace Scribe {

class LogFormatterProtocol {
public:
    virtual ~LogFormatterProtocol() = default;
    // May replace `message`; answers the text as it now stands.
    virtual std::string format(LogDetails& logDetails, std::string& message) = 0;
    virtual std::string debugDescription() const = 0;
};

using LogFormatterPtr = std::shared_ptr<LogFormatterProtocol>;
using FormatterList = std::optional<std::vector<LogFormatterPtr>>;

}  // namespace Scribe

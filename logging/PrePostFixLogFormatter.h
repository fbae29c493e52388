// Fixed texts before and after a line, per level.
#pragma once
#include <map>
#include <optional>
#include <string>

#include "logging/LogFormatterProtocol.h"

namespace Scribe {

class PrePostFixLogFormatter : public LogFormatterProtocol {
public:
    std::map<Level, std::string> prefixStrings;
    std::map<Level, std::string> postfixStrings;

    // Without a level: every level (both texts absent clears everything). With a level:
    // an absent text removes that level's entry.
    void apply(const std::optional<std::string>& prefix, const std::optional<std::string>& postfix,
               std::optional<Level> to = std::nullopt);
    void clearFormatting();

    std::string format(LogDetails& logDetails, std::string& message) override;
    std::string debugDescription() const override;
};

}  // namespace Scribe

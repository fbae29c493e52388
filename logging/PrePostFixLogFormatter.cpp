// Prefix and postfix texts per level.
#include "logging/PrePostFixLogFormatter.h"

namespace Scribe {

void PrePostFixLogFormatter::apply(const std::optional<std::string>& prefix, const std::optional<std::string>& postfix,
                                   std::optional<Level> to) {
    if (!to) {
        if (!prefix && !postfix) {
            clearFormatting();
            return;
        }
        for (auto level : allLevels) apply(prefix, postfix, level);
        return;
    }
    if (prefix) prefixStrings[*to] = *prefix;
    else prefixStrings.erase(*to);
    if (postfix) postfixStrings[*to] = *postfix;
    else postfixStrings.erase(*to);
}

void PrePostFixLogFormatter::clearFormatting() {
    prefixStrings.clear();
    postfixStrings.clear();
}

std::string PrePostFixLogFormatter::format(LogDetails& logDetails, std::string& message) {
    auto prefix = prefixStrings.find(logDetails.level);
    auto postfix = postfixStrings.find(logDetails.level);
    message = (prefix != prefixStrings.end() ? prefix->second : std::string()) + message +
              (postfix != postfixStrings.end() ? postfix->second : std::string());
    return message;
}

std::string PrePostFixLogFormatter::debugDescription() const {
    std::string text = "PrePostFixLogFormatter: ";
    for (auto level : allLevels) {
        auto prefix = prefixStrings.find(level);
        auto postfix = postfixStrings.find(level);
        text += "\n\t- " + description(level) + " > " + (prefix != prefixStrings.end() ? prefix->second : "None") +
                " | " + (postfix != postfixStrings.end() ? postfix->second : "None");
    }
    return text;
}

}  // namespace Scribe

// Replaces a whole line by the Base64 text of its UTF-8 bytes.
#pragma once
#include "logging/LogFormatterProtocol.h"

namespace Scribe {

class Base64LogFormatter : public LogFormatterProtocol {
public:
    std::string format(LogDetails& logDetails, std::string& message) override;
    std::string debugDescription() const override { return "Base64LogFormatter"; }
};

}  // namespace Scribe

// A filter decides, per line and destination, whether a line is dropped before it is formatted.
#pragma once
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "logging/LogDetails.h"

namespace Scribe {

class FilterProtocol {
public:
    virtual ~FilterProtocol() = default;
    // True when the line is to be dropped. Both arguments may be changed in place.
    virtual bool shouldExclude(LogDetails& logDetails, std::string& message) = 0;
    virtual std::string debugDescription() const = 0;
};

using FilterPtr = std::shared_ptr<FilterProtocol>;
// Absent and empty differ: a destination's empty list still hides its owner's filters.
using FilterList = std::optional<std::vector<FilterPtr>>;

}  // namespace Scribe

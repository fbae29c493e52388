// What the logger needs of a destination; the filter and formatter walks are shared.
#pragma once
#include <memory>
#include <string>

#include "logging/FilterProtocol.h"
#include "logging/LogDetails.h"
#include "logging/LogFormatterProtocol.h"

namespace Scribe {

class Scribe;
using ScribePtr = std::shared_ptr<Scribe>;

class DestinationProtocol : public std::enable_shared_from_this<DestinationProtocol> {
public:
    virtual ~DestinationProtocol() = default;

    virtual ScribePtr owner() const = 0;
    virtual void setOwner(const ScribePtr& owner) = 0;
    virtual const std::string& identifier() const = 0;
    virtual void setIdentifier(std::string identifier) = 0;
    virtual Level outputLevel() const = 0;
    virtual void setOutputLevel(Level level) = 0;
    virtual bool haveLoggedAppDetails() const = 0;
    virtual void setHaveLoggedAppDetails(bool value) = 0;
    virtual const FormatterList& formatters() const = 0;
    virtual void setFormatters(FormatterList formatters) = 0;
    virtual const FilterList& filters() const = 0;
    virtual void setFilters(FilterList filters) = 0;

    // A line of an ordinary log call, and a line the logging system writes about itself.
    virtual void process(const LogDetails& logDetails) = 0;
    virtual void processInternal(const LogDetails& logDetails) = 0;
    virtual bool isEnabledFor(Level level) const = 0;

    // The destination's own filters when it has a list (even an empty one), else its owner's.
    virtual bool shouldExclude(LogDetails& logDetails, std::string& message);
    // The destination's own formatters when it has a list, else its owner's, in list order.
    virtual void applyFormatters(LogDetails& logDetails, std::string& message);

    virtual std::string debugDescription() const = 0;
};

using DestinationPtr = std::shared_ptr<DestinationProtocol>;

}  // namespace Scribe

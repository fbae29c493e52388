// The common base of destinations: fields, level check and the fixed layout of a line.
#pragma once
#include <map>
#include <memory>
#include <string>

#include "logging/DestinationProtocol.h"

namespace Scribe {

class BaseDestination : public DestinationProtocol {
public:
    ScribePtr owner() const override { return owner_.lock(); }
    void setOwner(const ScribePtr& owner) override { owner_ = owner; }
    const std::string& identifier() const override { return identifier_; }
    void setIdentifier(std::string identifier) override { identifier_ = std::move(identifier); }
    Level outputLevel() const override { return outputLevel_; }
    void setOutputLevel(Level level) override { outputLevel_ = level; }
    bool haveLoggedAppDetails() const override { return haveLoggedAppDetails_; }
    void setHaveLoggedAppDetails(bool value) override { haveLoggedAppDetails_ = value; }
    const FormatterList& formatters() const override { return formatters_; }
    void setFormatters(FormatterList formatters) override { formatters_ = std::move(formatters); }
    const FilterList& filters() const override { return filters_; }
    void setFilters(FilterList filters) override { filters_ = std::move(filters); }

    virtual bool showLogIdentifier() const { return showLogIdentifier_; }
    virtual void setShowLogIdentifier(bool value) { showLogIdentifier_ = value; }
    virtual bool showFunctionName() const { return showFunctionName_; }
    virtual void setShowFunctionName(bool value) { showFunctionName_ = value; }
    virtual bool showThreadName() const { return showThreadName_; }
    virtual void setShowThreadName(bool value) { showThreadName_ = value; }
    virtual bool showFileName() const { return showFileName_; }
    virtual void setShowFileName(bool value) { showFileName_ = value; }
    virtual bool showLineNumber() const { return showLineNumber_; }
    virtual void setShowLineNumber(bool value) { showLineNumber_ = value; }
    virtual bool showLevel() const { return showLevel_; }
    virtual void setShowLevel(bool value) { showLevel_ = value; }
    virtual bool showDate() const { return showDate_; }
    virtual void setShowDate(bool value) { showDate_ = value; }
    // Names that replace the owner's and the built-in ones in ordinary lines.
    std::map<Level, std::string> levelDescriptions;

    void process(const LogDetails& logDetails) override;
    void processInternal(const LogDetails& logDetails) override;
    bool isEnabledFor(Level level) const override { return isAtOrAbove(level, outputLevel_); }
    std::string debugDescription() const override;

    // The unqualified name of the concrete type, as descriptions show it.
    virtual std::string typeName() const = 0;

    // "[main] ", the thread's name, the current queue's label, or the thread's address.
    static std::string threadPiece();

protected:
    BaseDestination(const ScribePtr& owner, std::string identifier);
    // Receives each finished line; concrete destinations write it. `owner` is the logger
    // the line was built for, held for the call.
    // The line may be changed in place (filters and formatters do).
    virtual void output(const LogDetails& logDetails, std::string& message, const Scribe& owner) = 0;

private:
    // The owner is held weakly so that a logger and its destinations can be destroyed;
    // while the logger lives this reads the same as a strong reference.
    std::weak_ptr<Scribe> owner_;
    std::string identifier_;
    Level outputLevel_ = Level::debug;
    bool haveLoggedAppDetails_ = false;
    FormatterList formatters_;
    FilterList filters_;
    bool showLogIdentifier_ = false;
    bool showFunctionName_ = true;
    bool showThreadName_ = false;
    bool showFileName_ = true;
    bool showLineNumber_ = true;
    bool showLevel_ = true;
    bool showDate_ = true;
};

}  // namespace Scribe

// Building the text of ordinary and internal lines, and a destination's description.
#include "logging/BaseDestination.h"

#include <charconv>

#include "logging/ReusedPerThread.h"
#include "logging/Scribe.h"
#include "logging/ThreadPiece.h"

namespace Scribe {

BaseDestination::BaseDestination(const ScribePtr& owner, std::string identifier)
    : owner_(owner), identifier_(std::move(identifier)) {}

namespace {

std::string_view lastPathComponent(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    auto slash = path.rfind('/');
    if (slash == std::string_view::npos || path.size() == 1) return path;
    return path.substr(slash + 1);
}

void appendNumber(std::string& line, std::int64_t number) {
    char digits[24];
    line.append(digits, std::to_chars(digits, digits + sizeof digits, number).ptr);
}

const std::string& levelName(const BaseDestination& destination, const Scribe& owner, Level level) {
    auto own = destination.levelDescriptions.find(level);
    if (own != destination.levelDescriptions.end()) return own->second;
    auto owners = owner.levelDescriptions.find(level);
    if (owners != owner.levelDescriptions.end()) return owners->second;
    return description(level);
}

}  // namespace

void BaseDestination::process(const LogDetails& logDetails) {
    auto owner = this->owner();
    if (!owner) return;
    ReusedPerThread<std::string> buffer;
    std::string& line = buffer.get();
    line.clear();
    if (showDate()) {
        owner->appendDateText(line, logDetails.date);
        line += ' ';
    }
    if (showLevel()) {
        line += '[';
        line += levelName(*this, *owner, logDetails.level);
        line += "] ";
    }
    if (showLogIdentifier()) {
        line += '[';
        line += owner->identifier();
        line += "] ";
    }
    if (showThreadName()) line += threadPiece();
    if (showFileName()) {
        line += '[';
        line += lastPathComponent(logDetails.fileName);
        if (showLineNumber()) {
            line += ':';
            appendNumber(line, logDetails.lineNumber);
        }
        line += "] ";
    } else if (showLineNumber()) {
        line += '[';
        appendNumber(line, logDetails.lineNumber);
        line += "] ";
    }
    if (showFunctionName()) {
        line += logDetails.functionName;
        line += ' ';
    }
    line += "> ";
    line += logDetails.message;
    output(logDetails, line, *owner);
}

void BaseDestination::processInternal(const LogDetails& logDetails) {
    auto owner = this->owner();
    if (!owner) return;
    std::string line;
    if (showDate()) {
        owner->appendDateText(line, logDetails.date);
        line += ' ';
    }
    if (showLevel()) {
        line += '[';
        line += description(logDetails.level);
        line += "] ";
    }
    if (showLogIdentifier()) {
        line += '[';
        line += owner->identifier();
        line += "] ";
    }
    line += "> ";
    line += logDetails.message;
    output(logDetails, line, *owner);
}

std::string BaseDestination::debugDescription() const {
    auto flag = [](bool value) { return value ? "true" : "false"; };
    return typeName() + ": " + identifier() + " - Level: " + description(outputLevel()) +
           " showLogIdentifier: " + flag(showLogIdentifier()) + " showFunctionName: " + flag(showFunctionName()) +
           " showThreadName: " + flag(showThreadName()) + " showLevel: " + flag(showLevel()) +
           " showFileName: " + flag(showFileName()) + " showLineNumber: " + flag(showLineNumber()) +
           " showDate: " + flag(showDate());
}

std::string BaseDestination::threadPiece() { return currentThreadPiece(); }

bool DestinationProtocol::shouldExclude(LogDetails& logDetails, std::string& message) {
    const FilterList* list = &filters();
    ScribePtr owner;
    if (!*list) {
        owner = this->owner();
        if (!owner || !owner->filters) return false;
        list = &owner->filters;
    }
    for (const auto& filter : **list) {
        if (filter && filter->shouldExclude(logDetails, message)) return true;
    }
    return false;
}

void DestinationProtocol::applyFormatters(LogDetails& logDetails, std::string& message) {
    const FormatterList* list = &formatters();
    ScribePtr owner;
    if (!*list) {
        owner = this->owner();
        if (!owner || !owner->formatters) return;
        list = &owner->formatters;
    }
    for (const auto& formatter : **list) {
        if (formatter) formatter->format(logDetails, message);
    }
}

}  // namespace Scribe

// One product event as the client reports it (name, text parameters, error record),
// and its JSON form, which is the collector's wire format.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/Data.h"
#include "platform/base/Value.h"
#include "platform/foundation/Coding.h"

namespace TallockSDK {

using TextMap = std::map<std::string, std::string>;

// The outcome of the reported action. JSON: {"code": int, "msg": text, "details": {text}}.
struct EventError {
    std::int64_t code = 0;
    std::string message;
    std::optional<TextMap> details;

    EventError() = default;
    EventError(std::int64_t code, std::string message, std::optional<TextMap> details = std::nullopt)
        : code(code), message(std::move(message)), details(std::move(details)) {}

    void encode(platform::Encoder& encoder) const;
    static EventError decode(platform::Decoder& decoder);
    friend bool operator==(const EventError&, const EventError&) = default;
};

// JSON: {"event": name, "extra": {text}, "error": {...}}. "extra" is `params` when
// present, else `compatibleParams` in text form, else left out.
class Event {
public:
    std::string name;
    std::optional<TextMap> params;
    std::optional<platform::Value::Dictionary> compatibleParams;
    EventError error;

    Event() = default;  // a blank event, as the pool makes them
    Event(std::string name, std::optional<TextMap> params, EventError error)
        : name(std::move(name)), params(std::move(params)), error(std::move(error)) {}
    // The form the host uses for every event.
    Event(std::string name, std::optional<platform::Value::Dictionary> compatibleParams, EventError error)
        : name(std::move(name)), compatibleParams(std::move(compatibleParams)), error(std::move(error)) {}

    void encode(platform::Encoder& encoder) const;
    // Needs "event", "extra" and "error"; throws ErrorException with a DecodingError.
    static Event decode(platform::Decoder& decoder);

    // Back to the blank state.
    void reset();
    void assign(const Event& other) { *this = other; }
};

// A value's text form for "extra": text as is, integers in decimal, Booleans "true" /
// "false", doubles in their shortest round-trip form with a decimal point.
std::string describeParameter(const platform::Value& value);

// A batch: a JSON array of event objects. Encoding cannot fail for these types;
// invalid UTF-8 in texts is replaced, never thrown.
platform::Data encodeBatch(const std::vector<Event>& events);
using EventPtr = std::shared_ptr<Event>;
// Null entries are left out.
platform::Data encodeBatch(const std::vector<EventPtr>& events);
// Decoding throws ErrorException when any element lacks a required member.
std::vector<Event> decodeBatch(const platform::Data& batch);

}  // namespace TallockSDK

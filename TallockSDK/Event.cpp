// The event record's JSON form: what the collector's batch endpoint reads, what the
// failed set keeps and what the crash cache stores.
#include "TallockSDK/Event.h"

#include "platform/foundation/JSONDecoder.h"
#include "platform/foundation/JSONEncoder.h"
#include "platform/foundation/TextForms.h"

namespace TallockSDK {

using platform::CodingKey;

void EventError::encode(platform::Encoder& encoder) const {
    auto c = encoder.container();
    c->encode(code, CodingKey("code"));
    c->encode(message, CodingKey("msg"));
    c->encodeIfPresent(details, CodingKey("details"));
}

EventError EventError::decode(platform::Decoder& decoder) {
    auto c = decoder.container();
    EventError error;
    error.code = c->decode<std::int64_t>(CodingKey("code"));
    error.message = c->decode<std::string>(CodingKey("msg"));
    error.details = c->decodeIfPresent<TextMap>(CodingKey("details"));
    return error;
}

std::string describeParameter(const platform::Value& value) {
    using Kind = platform::Value::Kind;
    switch (value.kind()) {
        case Kind::string: return *value.asString();
        case Kind::boolean: return *value.asBool() ? "true" : "false";
        case Kind::int64: return std::to_string(*value.asInt64());
        case Kind::uint64: return std::to_string(*value.asUInt64());
        case Kind::real: return platform::doubleText(*value.asDouble());
        default: return platform::describing(value);
    }
}

void Event::encode(platform::Encoder& encoder) const {
    auto c = encoder.container();
    c->encode(name, CodingKey("event"));
    if (params) {
        c->encode(*params, CodingKey("extra"));
    } else if (compatibleParams) {
        TextMap text;
        for (const auto& [key, value] : *compatibleParams) text.emplace(key, describeParameter(value));
        c->encode(text, CodingKey("extra"));
    }
    c->encode(error, CodingKey("error"));
}

Event Event::decode(platform::Decoder& decoder) {
    auto c = decoder.container();
    Event event;
    event.name = c->decode<std::string>(CodingKey("event"));
    event.params = c->decode<TextMap>(CodingKey("extra"));
    event.error = c->decode<EventError>(CodingKey("error"));
    return event;
}

void Event::reset() {
    name.clear();
    params.reset();
    compatibleParams.reset();
    error = EventError();
}

platform::Data encodeBatch(const std::vector<Event>& events) { return platform::JSONEncoder().encode(events); }

namespace {
// Encodes shared instances as one array without copying them; an empty slot is skipped.
struct EventList {
    const std::vector<EventPtr>& events;
    void encode(platform::Encoder& encoder) const {
        auto c = encoder.unkeyedContainer();
        for (const auto& e : events)
            if (e) c->encode(*e);
    }
};
}  // namespace

platform::Data encodeBatch(const std::vector<EventPtr>& events) {
    return platform::JSONEncoder().encode(EventList{events});
}

std::vector<Event> decodeBatch(const platform::Data& batch) {
    return platform::JSONDecoder().decode<std::vector<Event>>(batch);
}

}  // namespace TallockSDK

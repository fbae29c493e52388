// Native and web-page events: construction, type bits and strings, the event name and
// the wire form.
#include "LumenAnalyticsSDK/Core/Builder/EventObject/LABaseEventObject.h"

#include <array>
#include <cmath>
#include <random>
#include <utility>

#include "LumenAnalyticsSDK/Core/Tracker/LATrackTimer.h"
#include "LumenAnalyticsSDK/Core/Utils/LALog.h"
#include "platform/base/Date.h"
#include "platform/base/NoDestructor.h"
#include "platform/foundation/TextForms.h"

namespace LumenAnalyticsSDK {

namespace {

// Web-page times before 15 May 2015 are taken for mistakes.
constexpr std::int64_t kEarliestEventTime = 1431656640000;

// Type bits in the order their strings are looked for.
constexpr std::array<std::pair<std::uint64_t, const char*>, 12> kTypeStrings{{
    {LAEventTypeTrack, "track"},
    {LAEventTypeSignup, "track_signup"},
    {LAEventTypeProfileSet, "profile_set"},
    {LAEventTypeProfileSetOnce, "profile_set_once"},
    {LAEventTypeProfileUnset, "profile_unset"},
    {LAEventTypeProfileDelete, "profile_delete"},
    {LAEventTypeProfileAppend, "profile_append"},
    {LAEventTypeProfileIncrement, "profile_increment"},
    {LAEventTypeItemSet, "item_set"},
    {LAEventTypeItemDelete, "item_delete"},
    {LAEventTypeBind, "track_id_bind"},
    {LAEventTypeUnbind, "track_id_unbind"},
}};

std::int64_t nowInMilliseconds() {
    return static_cast<std::int64_t>(platform::Date::now().timeIntervalSince1970() * 1000);
}

platform::Value randomTrackId() {
    thread_local std::mt19937 generator{std::random_device{}()};
    return platform::Value(static_cast<std::uint64_t>(static_cast<std::uint32_t>(generator())));
}

// A number as whole milliseconds; none for anything else, including numbers that are
// no time at all (negative, too large, not finite).
std::optional<std::int64_t> millisecondsOf(const platform::Value& value) {
    if (!value.isNumber()) return std::nullopt;
    if (auto integer = value.asInt64()) return *integer >= 0 ? integer : std::nullopt;
    if (value.asUInt64()) return std::nullopt;  // only integers of 2^63 or more get here
    return LAMillisecondsFromDouble(*value.asDouble());
}

// The entry under `key`, null when there is none.
const platform::Value& entryOf(const platform::Value::Dictionary& dictionary, const char* key) {
    static const platform::NoDestructor<platform::Value> none;  // never destroyed: events are built until exit
    const auto found = dictionary.find(key);
    return found == dictionary.end() ? *none : found->second;
}

std::optional<std::string> textOf(const platform::Value& value) {
    return value.isString() ? std::optional(*value.asString()) : std::nullopt;
}

void setIfPresent(platform::Value::Dictionary& json, const char* key, const std::optional<std::string>& text) {
    if (text) json[key] = *text;
}

}  // namespace

std::optional<std::int64_t> LAMillisecondsFromDouble(double milliseconds) {
    constexpr double kTwoToThe63 = 9223372036854775808.0;
    if (!std::isfinite(milliseconds) || milliseconds < 0 || milliseconds >= kTwoToThe63) return std::nullopt;
    return static_cast<std::int64_t>(milliseconds);
}

LABaseEventObject::LABaseEventObject()
    : lib(std::make_shared<LAEventLibObject>()), trackId(randomTrackId()),
      currentSystemUpTime(LATrackTimer::getSystemUpTime()), time_(nowInMilliseconds()) {}

LABaseEventObject::LABaseEventObject(const platform::Value::Dictionary& h5Event)
    : trackId(randomTrackId()), currentSystemUpTime(LATrackTimer::getSystemUpTime()), hybridH5_(true) {
    const auto field = [&h5Event](const char* key) -> const platform::Value& { return entryOf(h5Event, key); };
    type = eventTypeWithType(textOf(field("type")));
    const auto* h5Lib = field("lib").asDictionary();
    lib = std::make_shared<LAEventLibObject>(h5Lib ? *h5Lib : platform::Value::Dictionary{});
    time_ = millisecondsOf(field("time")).value_or(nowInMilliseconds());

    eventId = textOf(field("event"));
    loginId = textOf(field("login_id"));
    anonymousId = textOf(field("anonymous_id"));
    distinctId = textOf(field("distinct_id"));
    originalId = textOf(field("original_id"));
    if (const auto* ids = field("identities").asDictionary()) identities = *ids;

    const auto* h5Properties = field("properties").asDictionary();
    platform::Value::Dictionary properties = h5Properties ? *h5Properties : platform::Value::Dictionary{};
    properties.erase("_nocache");
    project = textOf(entryOf(properties, "project"));
    token = textOf(entryOf(properties, "token"));
    if (const auto found = properties.find("$time"); found != properties.end()) {
        if (const auto pageTime = millisecondsOf(found->second)) {
            if (*pageTime >= kEarliestEventTime) time_ = *pageTime;
            else LALogError("H5 $time error " + platform::valueText(found->second) + "，Please check the value");
        } else {
            LALogError("H5 $time '" + platform::valueText(found->second) + "' invalid，Please check the value");
        }
    }
    for (const char* key : {"_nocache", "server_url", "lumen_app_visual_properties", "project", "token", "$time"})
        properties.erase(key);
    properties_.set(std::move(properties));

    // JSON from the page carries the flag as a Boolean or a number.
    const platform::Value& instant = field("is_instant_event");
    if (instant.isBool()) isInstantEvent = *instant.asBool();
    else if (instant.isNumber()) isInstantEvent = instant.asDouble().value_or(0) != 0;
}

std::uint64_t LABaseEventObject::eventTypeWithType(const std::optional<std::string>& type) {
    if (type)
        for (const auto& [bit, text] : kTypeStrings)
            if (*type == text) return bit;
    return LAEventTypeDefault;
}

std::optional<std::string> LABaseEventObject::typeWithEventType(std::uint64_t type) {
    for (const auto& [bit, text] : kTypeStrings)
        if (type & bit) return std::string(text);
    return std::nullopt;
}

std::optional<std::string> LABaseEventObject::eventName() const {
    if (!eventId) return std::nullopt;
    return LATimerEventNameOfId(*eventId);
}

platform::Value::Dictionary LABaseEventObject::properties() const { return properties_.get(); }

void LABaseEventObject::setProperties(platform::Value::Dictionary properties) {
    properties_.set(std::move(properties));
}

void LABaseEventObject::addTypeTimeAndLib(platform::Value::Dictionary& json) const {
    setIfPresent(json, "type", typeWithEventType(type));
    json["time"] = static_cast<std::uint64_t>(time_);
    if (lib) json["lib"] = lib->jsonObject();
}

void LABaseEventObject::addProjectAndToken(platform::Value::Dictionary& json) const {
    setIfPresent(json, "project", project);
    setIfPresent(json, "token", token);
}

platform::Value::Dictionary LABaseEventObject::jsonObject() const {
    platform::Value::Dictionary json;
    json["properties"] = properties();
    setIfPresent(json, "distinct_id", distinctId);
    setIfPresent(json, "login_id", loginId);
    setIfPresent(json, "anonymous_id", anonymousId);
    addTypeTimeAndLib(json);
    if (!trackId.isNull()) json["_track_id"] = trackId;
    setIfPresent(json, "event", eventName());
    addProjectAndToken(json);
    if (identities) json["identities"] = *identities;
    if (hybridH5_) json["_hybrid_h5"] = true;
    return json;
}

}  // namespace LumenAnalyticsSDK

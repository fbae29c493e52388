// Event objects: the wire form of every kind, type bits and strings, timer names, events
// from a web page, and the checks each kind makes.
#include "LumenAnalyticsSDK/Core/Builder/EventObject/LABaseEventObject.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "LALogCapture.h"
#include "LumenAnalyticsSDK/Core/Builder/EventObject/LAEventObjectFactory.h"
#include "LumenAnalyticsSDK/Core/Builder/EventObject/LAItemEventObject.h"
#include "LumenAnalyticsSDK/Core/Builder/EventObject/LAProfileEventObject.h"
#include "LumenAnalyticsSDK/Core/Builder/EventObject/LATrackEventObject.h"
#include "LumenAnalyticsSDK/Core/Flow/LAFlowData.h"
#include "LumenAnalyticsSDK/Core/Utils/LAValidator.h"

using namespace LumenAnalyticsSDK;
using LumenAnalyticsSDK::testing::LALogCapture;
using platform::Value;

namespace {

std::set<std::string> keysOf(const Value::Dictionary& dictionary) {
    std::set<std::string> keys;
    for (const auto& entry : dictionary) keys.insert(entry.first);
    return keys;
}

void fillIdentity(LABaseEventObject& event) {
    event.distinctId = "d";
    event.loginId = "l";
    event.anonymousId = "a";
    event.originalId = "o";
    event.project = "p";
    event.token = "t";
    event.identities = Value::Dictionary{{"$identity_login_id", "l"}};
    event.setProperties({{"price", 3}});
}

const std::set<std::string> kTrackKeys = {"properties", "distinct_id", "login_id", "anonymous_id",
                                          "type",       "time",        "lib",      "_track_id",
                                          "event",      "project",     "token",    "identities"};

TEST(LABaseEventObject, WireFormOfEachKind) {
    struct Case {
        LABaseEventObjectPtr event;
        const char* type;
        std::set<std::string> extraKeys, missingKeys;
    } cases[] = {
        {std::make_shared<LACustomEventObject>("buy"), "track", {}, {}},
        {std::make_shared<LAPresetEventObject>("$AppStart"), "track", {}, {}},
        {std::make_shared<LASignUpEventObject>("$SignUp"), "track_signup", {"original_id"}, {}},
        {std::make_shared<LABindEventObject>("$BindID"), "track_id_bind", {}, {}},
        {std::make_shared<LAUnbindEventObject>("$UnbindID"), "track_id_unbind", {}, {}},
        {std::make_shared<LAProfileEventObject>("profile_set"), "profile_set", {}, {"event"}},
        {std::make_shared<LAProfileEventObject>("profile_set_once"), "profile_set_once", {}, {"event"}},
        {std::make_shared<LAProfileEventObject>("profile_unset"), "profile_unset", {}, {"event"}},
        {std::make_shared<LAProfileEventObject>("profile_delete"), "profile_delete", {}, {"event"}},
        {std::make_shared<LAProfileAppendEventObject>("profile_append"), "profile_append", {}, {"event"}},
        {std::make_shared<LAProfileIncrementEventObject>("profile_increment"), "profile_increment", {}, {"event"}},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.type);
        fillIdentity(*c.event);
        const auto json = c.event->jsonObject();
        auto expected = kTrackKeys;
        expected.insert(c.extraKeys.begin(), c.extraKeys.end());
        for (const auto& key : c.missingKeys) expected.erase(key);
        EXPECT_EQ(keysOf(json), expected);
        EXPECT_EQ(json.at("type"), Value(c.type));
        EXPECT_EQ(json.at("properties"), Value(Value::Dictionary{{"price", 3}}));
        EXPECT_EQ(json.at("distinct_id"), Value("d"));
        EXPECT_TRUE(json.at("time").asUInt64().value_or(0) > 1431656640000u);
        EXPECT_TRUE(json.at("_track_id").isNumber());
        EXPECT_EQ(json.at("lib")["$lib"], Value("macOS"));
        EXPECT_EQ(json.at("lib")["$lib_version"], Value("4.6.0"));
        EXPECT_EQ(json.at("lib")["$lib_method"], Value("code"));
        EXPECT_FALSE(json.at("lib").contains("$lib_detail"));
        EXPECT_EQ(c.event->isSignUp(), std::string(c.type) == "track_signup");
        if (json.contains("original_id")) {
            EXPECT_EQ(json.at("original_id"), Value("o"));
        }
    }

    // Unset identity is left out, not written as null.
    const auto bare = LACustomEventObject("view").jsonObject();
    EXPECT_EQ(keysOf(bare), (std::set<std::string>{"properties", "type", "time", "lib", "_track_id", "event"}));
}

TEST(LABaseEventObject, ItemWireForm) {
    LAItemEventObject set("item_set", "book", "b-1");
    fillIdentity(set);
    EXPECT_EQ(keysOf(set.jsonObject()),
              (std::set<std::string>{"properties", "item_type", "item_id", "type", "time", "lib", "project", "token"}));
    EXPECT_EQ(set.jsonObject().at("item_id"), Value("b-1"));
    EXPECT_EQ(set.jsonObject().at("type"), Value("item_set"));

    LAItemEventObject deletion("item_delete", "book", "b-1");
    fillIdentity(deletion);
    const auto json = deletion.jsonObject();
    EXPECT_FALSE(json.contains("properties"));
    EXPECT_FALSE(json.contains("distinct_id"));
    EXPECT_FALSE(json.contains("_track_id"));
    EXPECT_EQ(json.at("type"), Value("item_delete"));
}

TEST(LABaseEventObject, TypeBitsAndStrings) {
    EXPECT_EQ(LABaseEventObject::eventTypeWithType("profile_append"), 256u);
    EXPECT_EQ(LABaseEventObject::eventTypeWithType("item_delete"), 2048u);
    EXPECT_EQ(LABaseEventObject::eventTypeWithType("trak"), 15u);
    EXPECT_EQ(LABaseEventObject::eventTypeWithType(std::nullopt), 15u);
    EXPECT_EQ(LABaseEventObject::typeWithEventType(4 | 16), "profile_set");
    EXPECT_EQ(LABaseEventObject::typeWithEventType(4 | 8), "track_id_bind");
    EXPECT_EQ(LABaseEventObject::typeWithEventType(15), "track");
    EXPECT_EQ(LABaseEventObject::typeWithEventType(0), std::nullopt);
    EXPECT_EQ(LABaseEventObject::typeWithEventType(4096), std::nullopt);
}

TEST(LABaseEventObject, EventNameDropsTheTimerSuffix) {
    const std::string uuid = "0F6A2B1C_3D4E_4F50_8A9B_0C1D2E3F4A5B";
    EXPECT_EQ(LACustomEventObject("read_" + uuid + "_SATimer").eventName(), "read");
    EXPECT_EQ(LACustomEventObject("read_" + uuid + "_SATimer").jsonObject().at("event"), Value("read"));
    EXPECT_EQ(LACustomEventObject("read").eventName(), "read");
    const std::string fortyFour = std::string(36, 'x') + "_SATimer";
    ASSERT_EQ(fortyFour.size(), 44u);
    LACustomEventObject tooShort(fortyFour);
    EXPECT_EQ(tooShort.eventName(), std::nullopt);
    EXPECT_EQ(tooShort.event(), "");
    EXPECT_FALSE(tooShort.jsonObject().contains("event"));
    EXPECT_EQ(LACustomEventObject().eventName(), std::nullopt);
}

TEST(LABaseEventObject, EventsFromAWebPage) {
    LALogCapture log;
    const Value::Dictionary page = {
        {"type", "track"},
        {"event", "click"},
        {"time", 1700000000000},
        {"login_id", "u1"},
        {"distinct_id", "d1"},
        {"anonymous_id", "a1"},
        {"identities", Value::Dictionary{{"$identity_cookie_id", "c"}}},
        {"lib", Value::Dictionary{{"$lib", "js"}, {"$lib_method", "code"}, {"$lib_version", "1.2"}}},
        {"is_instant_event", true},
        {"properties", Value::Dictionary{{"x", 1},
                                         {"_nocache", "1"},
                                         {"server_url", "https://s"},
                                         {"lumen_app_visual_properties", "v"},
                                         {"project", "proj"},
                                         {"token", "tok"}}},
    };
    const auto event = LAEventObjectFactory::eventObjectWithH5Event(page);
    ASSERT_NE(std::dynamic_pointer_cast<LACustomEventObject>(event), nullptr);
    EXPECT_TRUE(event->hybridH5());
    EXPECT_TRUE(event->isInstantEvent);
    EXPECT_EQ(event->time(), 1700000000000);
    EXPECT_EQ(event->project, "proj");
    EXPECT_EQ(event->token, "tok");
    EXPECT_EQ(event->properties(), (Value::Dictionary{{"x", 1}}));
    EXPECT_EQ(event->lib->lib(), "js");
    EXPECT_EQ(event->lib->version(), "1.2");
    const auto json = event->jsonObject();
    EXPECT_EQ(keysOf(json).size(), 13u);
    EXPECT_EQ(json.at("_hybrid_h5"), Value(true));
    EXPECT_EQ(json.at("login_id"), Value("u1"));
    EXPECT_EQ(json.at("identities"), Value(Value::Dictionary{{"$identity_cookie_id", "c"}}));
    EXPECT_FALSE(LACustomEventObject("native").jsonObject().contains("_hybrid_h5"));

    // "$time" from the page replaces the event's time only from 15 May 2015 on.
    struct Case {
        Value pageTime;
        std::int64_t expectedTime;
        const char* logLine;
    } cases[] = {
        {1431656640000, 1431656640000, nullptr},
        {1431656639999, 1700000000000, "H5 $time error 1431656639999，Please check the value"},
        {"soon", 1700000000000, "H5 $time 'soon' invalid，Please check the value"},
    };
    for (const auto& c : cases) {
        log.clear();
        auto withTime = page;
        withTime["properties"]["$time"] = c.pageTime;
        const auto timed = LAEventObjectFactory::eventObjectWithH5Event(withTime);
        EXPECT_EQ(timed->time(), c.expectedTime);
        EXPECT_FALSE(timed->properties().contains("$time"));
        const auto lines = log.lines();
        if (c.logLine) {
            ASSERT_EQ(lines.size(), 1u);
            EXPECT_EQ(lines[0].level, LALogLevelError);
            EXPECT_EQ(lines[0].message, c.logLine);
        } else {
            EXPECT_TRUE(lines.empty());
        }
    }

    // Numbers that are no time: "$time" is refused as invalid, "time" falls back to now.
    for (double notATime : {1e20, std::nan(""), -1.0, 9223372036854775808.0}) {
        log.clear();
        auto withTime = page;
        withTime["properties"]["$time"] = notATime;
        const auto timed = LAEventObjectFactory::eventObjectWithH5Event(withTime);
        EXPECT_EQ(timed->time(), 1700000000000);
        const auto lines = log.lines();
        ASSERT_EQ(lines.size(), 1u) << notATime;
        EXPECT_NE(lines[0].message.find("' invalid，Please check the value"), std::string::npos) << lines[0].message;

        auto withPageTime = page;
        withPageTime["time"] = notATime;
        const auto before = LACustomEventObject("now").time();
        const auto fallback = LAEventObjectFactory::eventObjectWithH5Event(withPageTime)->time();
        EXPECT_GE(fallback, before) << notATime;
        EXPECT_LT(fallback, before + 60000) << notATime;
    }
}

TEST(LABaseEventObject, WebPageEventClassesByType) {
    struct Case {
        const char* type;
        std::string className;
        std::uint64_t bits;
    } cases[] = {
        {"track", "LACustomEventObject", 1},
        {"track_signup", "LASignUpEventObject", 2},
        {"track_id_bind", "LABindEventObject", 4},
        {"track_id_unbind", "LAUnbindEventObject", 8},
        {"profile_set", "LAProfileEventObject", 16},
        {"profile_append", "LAProfileAppendEventObject", 256},
        {"profile_increment", "LAProfileIncrementEventObject", 512},
        {"item_set", "LABaseEventObject", 1024},
        {"something", "LABaseEventObject", 15},
    };
    for (const auto& c : cases) {
        const auto event = LAEventObjectFactory::eventObjectWithH5Event({{"type", c.type}, {"event", "e"}});
        EXPECT_EQ(event->className(), c.className) << c.type;
        EXPECT_EQ(event->type, c.bits) << c.type;
    }
    // No time in the page: made now; no properties: none.
    const auto bare = LAEventObjectFactory::eventObjectWithH5Event({});
    EXPECT_GT(bare->time(), 1431656640000);
    EXPECT_TRUE(bare->properties().empty());
    EXPECT_FALSE(bare->isInstantEvent);
}

TEST(LABaseEventObject, EventChecks) {
    struct Case {
        LABaseEventObjectPtr event;
        std::int64_t code;  // 0: no error
    } cases[] = {
        {std::make_shared<LACustomEventObject>("buy"), 0},
        {std::make_shared<LACustomEventObject>(), LAValidatorErrorNil},
        {std::make_shared<LACustomEventObject>(""), LAValidatorErrorEmpty},
        {std::make_shared<LACustomEventObject>("Event"), LAValidatorErrorInvalid},
        {std::make_shared<LASignUpEventObject>("$SignUp"), 0},
        {std::make_shared<LAProfileEventObject>("profile_set"), 0},  // profiles have no name to check
        {std::make_shared<LAItemEventObject>("item_set", "book", "b-1"), 0},
        {std::make_shared<LAItemEventObject>("item_set", "book", std::nullopt), LAValidatorErrorNotString},
        {std::make_shared<LAItemEventObject>("item_set", "book", std::string(8193, 'i')), LAValidatorErrorOverflow},
    };
    for (const auto& c : cases) {
        const auto error = c.event->validateEvent();
        EXPECT_EQ(error ? error->code() : 0, c.code) << c.event->className() << " " << c.event->eventId.value_or("-");
    }

    LAItemEventObject badType("item_set", "bad-type", "b-1");
    EXPECT_EQ(badType.validateEvent()->code(), LAValidatorErrorInvalid);
    EXPECT_EQ(badType.itemType, std::nullopt);
    LAItemEventObject longType("item_set", std::string(101, 't'), "b-1");
    EXPECT_EQ(longType.validateEvent()->code(), LAValidatorErrorOverflow);
    EXPECT_TRUE(longType.itemType);  // only too long: kept
    LAItemEventObject noId("item_set", "book", std::nullopt);
    EXPECT_EQ(noId.validateEvent()->localizedDescription(), "Item_id must be a string");
    LAItemEventObject longId("item_set", "book", std::string(8193, 'i'));
    EXPECT_EQ(longId.validateEvent()->localizedDescription(), std::string(8193, 'i') + "'s length is longer than 8192");
    EXPECT_EQ(longId.itemID->size(), 8193u);
}

TEST(LABaseEventObject, ProfileValueRules) {
    LAProfileIncrementEventObject increment("profile_increment");
    LAProfileAppendEventObject append("profile_append");
    platform::ErrorPtr error;
    EXPECT_EQ(increment.lumen_validKey("score", 2, error), Value(2));
    EXPECT_EQ(error, nullptr);
    EXPECT_EQ(increment.lumen_validKey("score", "two", error), std::nullopt);
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->code(), LAValidatorErrorProfileIncrement);
    EXPECT_EQ(error->localizedDescription(),
              increment.description() + " profile_increment value must be NSNumber. got: String two");

    error = nullptr;
    EXPECT_EQ(append.lumen_validKey("tags", Value::Array{"a", 5}, error), Value(Value::Array{"a", "5"}));
    EXPECT_EQ(error, nullptr);
    EXPECT_EQ(append.lumen_validKey("tags", "a", error), std::nullopt);
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->code(), LAValidatorErrorProfileAppend);
    EXPECT_TRUE(error->localizedDescription().starts_with("<LAProfileAppendEventObject: "));

    // Whole property sets go through the event's own rule.
    const auto valid = LAPropertyValidator::validProperties(Value::Dictionary{{"a", 1}, {"b", "x"}}, &increment);
    EXPECT_EQ(valid, (Value::Dictionary{{"a", 1}}));
}

TEST(LABaseEventObject, LibraryBlockAndFlowData) {
    LAAutoTrackEventObject click("$AppClick");
    EXPECT_EQ(click.lib->method(), "autoTrack");
    EXPECT_EQ(click.type, LAEventTypeTrack);
    click.lib->setMethod("");
    EXPECT_EQ(click.lib->method(), "autoTrack");
    click.lib->setDetail("screen######");
    EXPECT_EQ(click.lib->jsonObject().at("$lib_detail"), Value("screen######"));

    auto event = std::make_shared<LACustomEventObject>("buy");
    event->isInstantEvent = true;
    LAFlowData data;
    data.setEventObject(event);
    EXPECT_EQ(data.eventObject(), event);
    EXPECT_TRUE(data.isInstantEvent());
    data.setEventObject(nullptr);
    EXPECT_FALSE(data.isInstantEvent());
    EXPECT_FALSE(data.param.contains("event_object"));
}

}  // namespace

// The event record's JSON: what each form of event encodes to, and what comes back.
#include <gtest/gtest.h>

#include "TallockSDK/Event.h"
#include "TallockSDK/TallockConfig.h"
#include "platform/foundation/JSONSerialization.h"

using namespace TallockSDK;
using platform::Value;

namespace {

Value parse(const platform::Data& data) { return platform::JSONSerialization::jsonObject(data).value(); }
Value parse(const std::string& text) { return platform::JSONSerialization::jsonObject(text).value(); }

struct Case {
    const char* what;
    Event event;
    const char* json;                      // the one-element batch it encodes to
    std::optional<TextMap> decodedParams;  // none: the batch does not decode
};

TEST(EventJSON, EncodesAndDecodesEachForm) {
    Value::Dictionary mixed{{"s", "text"}, {"n", 5}, {"b", true}, {"d", 1.0}, {"f", 0.1}};
    const Case cases[] = {
        {"value parameters in text form", Event("download_pkg", mixed, EventError(0, "ok")),
         R"([{"event":"download_pkg","extra":{"s":"text","n":"5","b":"true","d":"1.0","f":"0.1"},"error":{"code":0,"msg":"ok"}}])",
         TextMap{{"s", "text"}, {"n", "5"}, {"b", "true"}, {"d", "1.0"}, {"f", "0.1"}}},
        {"text parameters win over value parameters",
         [] {
             Event e("e", TextMap{{"k", "v"}}, EventError(-1, "bad", TextMap{{"errorDetail", "x"}}));
             e.compatibleParams = Value::Dictionary{{"other", 1}};
             return e;
         }(),
         R"([{"event":"e","extra":{"k":"v"},"error":{"code":-1,"msg":"bad","details":{"errorDetail":"x"}}}])",
         TextMap{{"k", "v"}}},
        {"empty value parameters", Event("e", Value::Dictionary{}, EventError()),
         R"([{"event":"e","extra":{},"error":{"code":0,"msg":""}}])", TextMap{}},
        {"no parameters: encodes without extra, does not decode", Event(),
         R"([{"event":"","error":{"code":0,"msg":""}}])", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        platform::Data batch = encodeBatch(std::vector<Event>{c.event});
        EXPECT_EQ(parse(batch), parse(std::string(c.json))) << batch.toString();
        if (!c.decodedParams) {
            EXPECT_THROW(decodeBatch(batch), platform::ErrorException);
            continue;
        }
        auto back = decodeBatch(batch);
        ASSERT_EQ(back.size(), 1u);
        EXPECT_EQ(back[0].name, c.event.name);
        EXPECT_EQ(back[0].params, c.decodedParams);
        EXPECT_FALSE(back[0].compatibleParams);
        EXPECT_EQ(back[0].error, c.event.error);
    }
}

TEST(EventJSON, DecodingNeedsEveryMemberAndIgnoresOthers) {
    const std::pair<const char*, bool> cases[] = {
        {R"([{"event":"a","extra":{},"error":{"code":1,"msg":"m","details":null},"x":1}])", true},
        {R"([{"event":"a","extra":{"k":1},"error":{"code":1,"msg":"m"}}])", false},  // extra not text
        {R"([{"event":"a","extra":{},"error":{"code":1}}])", false},                 // msg missing
        {R"([{"event":1,"extra":{},"error":{"code":1,"msg":"m"}}])", false},
        {R"([{"extra":{},"error":{"code":1,"msg":"m"}}])", false},
        {"not json", false},
    };
    for (const auto& [json, decodes] : cases) {
        SCOPED_TRACE(json);
        if (decodes) EXPECT_EQ(decodeBatch(platform::Data::fromString(json)).at(0).error.details, std::nullopt);
        else EXPECT_THROW(decodeBatch(platform::Data::fromString(json)), platform::ErrorException);
    }
}

TEST(EventJSON, InvalidUTF8IsReplacedNotThrown) {
    // Parameters come from launch arguments, which need not be UTF-8.
    Event e("bad\xff", Value::Dictionary{{"k\xfe", "v\xc3"}}, EventError(0, "ok"));
    platform::Data batch;
    ASSERT_NO_THROW(batch = encodeBatch(std::vector<Event>{e}));
    auto back = decodeBatch(batch);
    EXPECT_EQ(back.at(0).name, "bad\xEF\xBF\xBD");
    EXPECT_EQ(back.at(0).params->begin()->second, "v\xEF\xBF\xBD");
}

TEST(TallockConfigTest, DefaultsAndLevels) {
    auto config = TallockConfig::create();
    EXPECT_EQ(config->logCapacity, 2);
    EXPECT_EQ(config->uploadTimeInterval, 10.0);
    EXPECT_EQ(config->retryTime, 1);
    EXPECT_EQ(config->retryTimeInterval, 20.0);
    EXPECT_TRUE(config->requestPlugins.empty());
    EXPECT_FALSE(config->getRequestHeader);
    EXPECT_EQ(config->logLevel.load(), DebugLevel::info);
    for (int raw : {-1, 4}) EXPECT_EQ(debugLevel(raw), std::nullopt);
    for (int raw = 0; raw <= 3; ++raw) EXPECT_EQ(isBelowWarning(*debugLevel(raw)), raw < 2);
}

}  // namespace

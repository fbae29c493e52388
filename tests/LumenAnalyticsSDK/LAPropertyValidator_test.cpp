// Property validation: the key rules as one table of keys and their codes and messages,
// then values (cuts, dropped kinds, collections turned into text) over whole dictionaries.
#include <gtest/gtest.h>

#include <cmath>

#include "LALogCapture.h"
#include "LumenAnalyticsSDK/Core/Utils/LADateFormatter.h"
#include "LumenAnalyticsSDK/Core/Utils/LAPropertyValidator.h"
#include "LumenAnalyticsSDK/Core/Utils/LAValidator.h"
#include "platform/foundation/TextForms.h"
#include "platform/foundation/UTF16.h"

using namespace LumenAnalyticsSDK;
using platform::Value;

TEST(LAValidatorTest, KeysAndEventNamesAgainstEveryRule) {
    const std::string long101(101, 'k'), long100(100, 'k');
    // 99 ASCII letters and one character of two UTF-16 units: 101 units in 103 bytes.
    const std::string longByUnits = std::string(99, 'k') + "\xF0\x9F\x98\x80";
    struct Case {
        Value key;
        std::int64_t code;  // 0: valid
        std::string message;
    } cases[] = {
        {Value("event_name"), 0, ""},
        {Value("$app_version"), 0, ""},
        {Value("_private$2"), 0, ""},
        {Value(long100), 0, ""},
        {Value(), 20001, "Property key or Event name should not be nil"},
        {Value(7), 20002, "Property key or Event name must be string, not Int"},
        {Value(""), 20003, "Property key or Event name is empty"},
        {Value("Event"), 20005, "Property Key or Event name: [Event] is invalid."},
        {Value("TIME"), 20005, "Property Key or Event name: [TIME] is invalid."},
        {Value("distinct_id"), 20005, "Property Key or Event name: [distinct_id] is invalid."},
        {Value("User_Tag_level"), 20005, "Property Key or Event name: [User_Tag_level] is invalid."},
        {Value("user_group1"), 20005, "Property Key or Event name: [user_group1] is invalid."},
        {Value("9lives"), 20005, "Property Key or Event name: [9lives] is invalid."},
        {Value("with-hyphen"), 20005, "Property Key or Event name: [with-hyphen] is invalid."},
        {Value("caf\xC3\xA9"), 20005, "Property Key or Event name: [caf\xC3\xA9] is invalid."},      // ASCII only
        {Value("digit\xD9\xA3"), 20005, "Property Key or Event name: [digit\xD9\xA3] is invalid."},  // Arabic-Indic 3
        {Value(long101), 20006, "Property key or Event name " + long101 + "'s length is longer than 100"},
    };
    for (const auto& c : cases) {
        auto error = LAValidator::validKey(c.key);
        if (c.code == 0) {
            EXPECT_EQ(error, nullptr) << platform::valueText(c.key);
            continue;
        }
        ASSERT_NE(error, nullptr) << platform::valueText(c.key);
        EXPECT_EQ(error->domain(), "LumenAnalyticsErrorDomain");
        EXPECT_EQ(error->code(), c.code);
        EXPECT_EQ(error->localizedDescription(), c.message);
    }
    // A key made only of invalid characters, far longer than any limit, is refused in one pass.
    EXPECT_EQ(LAValidator::validKey(Value(std::string(1 << 20, 'a') + "-"))->code(), 20005);
    EXPECT_EQ(platform::utf16Count(longByUnits), 101u);
    EXPECT_EQ(LAValidator::validKey(Value("k" + longByUnits))->code(), 20005);  // not an identifier either
}

TEST(LAPropertyValidatorTest, ValidPropertiesCutsDropsAndTurnsCollectionsIntoText) {
    platform::Date date = platform::Date::fromTimeIntervalSince1970(1700000000.5);
    Value::Set tags;
    tags.insert(Value("b"));
    tags.insert(Value(3));
    const std::string exactly8192(8192, 'x');
    // 8191 units where the cut at 8191 would fall inside a two-unit character.
    const std::string emojiAtCut = std::string(8190, 'y') + "\xF0\x9F\x98\x80" + "tail";
    Value::Dictionary properties{
        {"short", Value(std::string(8191, 's'))},
        {"long", Value(exactly8192)},
        {"emoji", Value(emojiAtCut)},
        {"app_crashed_reason", Value(exactly8192)},
        {"nan", Value(std::nan(""))},
        {"minusInfinity", Value(-INFINITY)},
        {"nested", Value(Value::Dictionary{{"a", Value(1)}})},
        {"nothing", Value()},
        {"list", Value(Value::Array{Value("s"), Value(5), Value(date), Value(), Value(Value::Dictionary{})})},
        {"tags", Value(tags)},
        {"flag", Value(true)},
        {"when", Value(date)},
        {"$bad-key", Value(1)},
        {std::string(101, 'k'), Value("kept")},
    };
    auto valid = LAPropertyValidator::validProperties(Value(properties));
    ASSERT_TRUE(valid);
    EXPECT_EQ(valid->at("short").asString()->size(), 8191u);
    EXPECT_EQ(*valid->at("long").asString(), std::string(8191, 'x') + "$");
    EXPECT_EQ(*valid->at("emoji").asString(), std::string(8190, 'y') + "$");  // never half a character
    EXPECT_EQ(valid->at("app_crashed_reason"), Value(exactly8192));
    for (const char* gone : {"nan", "minusInfinity", "nested", "nothing", "$bad-key"})
        EXPECT_FALSE(valid->contains(gone)) << gone;
    EXPECT_EQ(valid->at("list"),
              Value(Value::Array{Value("s"), Value("5"), Value(LADateFormatter::stringFromDate(date))}));
    Value::Set tagTexts;
    tagTexts.insert(Value("3"));
    tagTexts.insert(Value("b"));
    EXPECT_EQ(valid->at("tags"), Value(tagTexts));
    EXPECT_EQ(valid->at("flag"), Value(true));
    EXPECT_EQ(valid->at("when"), Value(date));
    EXPECT_EQ(valid->at(std::string(101, 'k')), Value("kept"));  // only too long: kept, and logged

    EXPECT_FALSE(LAPropertyValidator::validProperties(Value()));
    EXPECT_FALSE(LAPropertyValidator::validProperties(Value(Value::Array{Value(1)})));
    EXPECT_FALSE(LAPropertyValidator::validProperties(Value(properties), nullptr));
}

TEST(LAPropertyValidatorTest, AValueOfAnotherKindReports10005) {
    platform::ErrorPtr error;
    LAEventPropertyValidatorProtocol rule;
    EXPECT_FALSE(rule.lumen_validKey("nested", Value(Value::Dictionary{}), error));
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->code(), 10005);
    EXPECT_EQ(rule.lumen_validKey("n", Value(std::nan("")), error), std::nullopt);
    EXPECT_EQ(error, nullptr);  // left out silently

    // Through a whole dictionary the message names that dictionary, its own validator.
    LumenAnalyticsSDK::testing::LALogCapture log;
    LAPropertyValidator::validProperties(Value(Value::Dictionary{{"nested", Value::Dictionary{}}}));
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(
        log.lines()[0].message.rfind(platform::valueText(Value(Value::Dictionary{{"nested", Value::Dictionary{}}})) +
                                         " property values must be NSString",
                                     0),
        0u)
        << log.lines()[0].message;
}

TEST(LAPropertyValidatorTest, BooleansInArraysAndSetsAreWrittenAsOneAndZero) {
    auto valid = LAPropertyValidator::validProperties(
        Value(Value::Dictionary{{"list", Value::Array{true, false}}, {"set", Value(Value::Set{{Value(true)}})}}));
    ASSERT_TRUE(valid);
    EXPECT_EQ(valid->at("list"), Value(Value::Array{"1", "0"}));
    EXPECT_EQ(valid->at("set"), Value(Value::Set{{Value("1")}}));
}

TEST(LAPropertyValidatorTest, ACollectionInACollectionIsPrintedOnceAndCutAtTheLimit) {
    const Value deep(Value::Array{Value::Array{Value::Array{"a", 5, true, std::nan(""), Value::Dictionary{}}}});
    Value::Array wide;
    for (int i = 0; i < 1000; ++i) wide.emplace_back(std::string(99, 'w') + "\"");
    auto valid = LAPropertyValidator::validProperties(
        Value(Value::Dictionary{{"deep", deep}, {"wide", Value::Array{"first", Value::Set{{Value(wide)}}}}}));
    ASSERT_TRUE(valid);
    EXPECT_EQ(valid->at("deep"), Value(Value::Array{R"([["a", "5", "1"]])"}));
    const auto& texts = *valid->at("wide").asArray();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], Value("first"));
    const std::string cut = *texts[1].asString();
    EXPECT_EQ(platform::utf16Count(cut), 8192u);
    EXPECT_EQ(cut.rfind(R"([["wwww)", 0), 0u);
    EXPECT_EQ(cut.back(), '$');
}

// Text forms of values, UTF-16 counting and cutting, and type names.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>

#include "platform/foundation/TextForms.h"
#include "platform/foundation/TypeName.h"
#include "platform/foundation/UTF16.h"

using namespace platform;

namespace {
struct Point {
    int x = 0;
    std::string description() const { return "Point(x: " + std::to_string(x) + ")"; }
};
}  // namespace

TEST(TextFormsTest, DoublesAreShortestRoundTripWithPlatformLayout) {
    std::pair<double, const char*> cases[] = {
        {1.0, "1.0"},
        {0.1, "0.1"},
        {0.5, "0.5"},
        {-2.25, "-2.25"},
        {1700000000.0, "1700000000.0"},
        {1700000000123.0, "1700000000123.0"},
        {0.0001, "0.0001"},
        {0.00001, "1e-05"},
        {1.5e-7, "1.5e-07"},
        {9007199254740991.0, "9007199254740991.0"},
        {1e16, "1e+16"},
        {1.2345e20, "1.2345e+20"},
        {0.0, "0.0"},
        {-0.0, "-0.0"},
        {1.0 / 3.0, "0.3333333333333333"},
        {std::numeric_limits<double>::infinity(), "inf"},
        {-std::numeric_limits<double>::infinity(), "-inf"},
        {std::numeric_limits<double>::quiet_NaN(), "nan"},
    };
    for (auto [d, expected] : cases) {
        EXPECT_EQ(doubleText(d), expected);
        if (std::isfinite(d)) {
            EXPECT_EQ(std::strtod(doubleText(d).c_str(), nullptr), d);
        }
    }
    EXPECT_EQ(floatText(0.1f), "0.1");
    EXPECT_EQ(floatText(16777216.0f), "1.6777216e+07");
}

TEST(TextFormsTest, CollectionsOptionalsAndStrings) {
    EXPECT_EQ(describing(std::vector<std::string>{"a", "b"}), "[\"a\", \"b\"]");
    EXPECT_EQ(describing(std::vector<int>{}), "[]");
    EXPECT_EQ(describing(std::map<std::string, int>{}), "[:]");
    EXPECT_EQ(describing(std::map<std::string, int>{{"k", 1}, {"l", 2}}), "[\"k\": 1, \"l\": 2]");
    EXPECT_EQ(describing(std::optional<std::string>("x")), "Optional(\"x\")");
    EXPECT_EQ(describing(std::optional<int>()), "nil");
    EXPECT_EQ(describing(std::vector<std::optional<int>>{1, std::nullopt}), "[Optional(1), nil]");
    EXPECT_EQ(describing(std::vector<double>{1, 2.5}), "[1.0, 2.5]");
    EXPECT_EQ(describing(std::string("plain")), "plain");
    EXPECT_EQ(reflecting(std::string("a\"b\\c\n\t'\x01")), "\"a\\\"b\\\\c\\n\\t\\'\\u{1}\"");
    EXPECT_EQ(describing(true), "true");
    EXPECT_EQ(describing(Point{3}), "Point(x: 3)");
    EXPECT_EQ(describing(std::vector<Point>{{1}}), "[Point(x: 1)]");
    EXPECT_EQ(describing(Date{0}), "2001-01-01 00:00:00 +0000");
    EXPECT_EQ(describing(Data::fromString("abc")), "3 bytes");
    Value v = Value::Dictionary{{"a", Value(Value::Array{Value("x"), Value(1), Value(2.0), Value()})}};
    EXPECT_EQ(describing(v), "[\"a\": [\"x\", 1, 2.0, <null>]]");
    EXPECT_EQ(describing(Value("top")), "top");
}

TEST(UTF16Test, CountsAndCutsNeverSplitACodePoint) {
    std::string s = "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80z";  // a é 中 😀 z: 1+1+1+2+1 units
    EXPECT_EQ(utf16Count(s), 6u);
    EXPECT_EQ(utf16Count(""), 0u);
    EXPECT_EQ(utf16Prefix(s, 3), "a\xC3\xA9\xE4\xB8\xAD");
    EXPECT_EQ(utf16Prefix(s, 4), "a\xC3\xA9\xE4\xB8\xAD");  // would split the emoji's pair
    EXPECT_EQ(utf16Prefix(s, 5), "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80");
    EXPECT_EQ(utf16Prefix(s, 100), s);
    EXPECT_EQ(utf16Substring(s, 4, 2), "\xF0\x9F\x98\x80z");  // start inside the pair moves outward
    EXPECT_EQ(utf16Substring(s, 1, 2), "\xC3\xA9\xE4\xB8\xAD");
    EXPECT_EQ(utf16Substring(s, 10, 2), "");
    EXPECT_EQ(utf8OffsetOfUTF16(s, 3), 6u);
    EXPECT_EQ(utf16OffsetOfUTF8(s, 10), 5u);
    // Each invalid byte counts as one unit and is never cut apart from what follows.
    std::string bad = "a\xFF\xC3";
    EXPECT_EQ(utf16Count(bad), 3u);
    EXPECT_EQ(utf16Prefix(bad, 2), "a\xFF");
    EXPECT_EQ(sanitizedUTF8(bad), "a\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(fromUTF16(toUTF16(s)), s);
    EXPECT_EQ(fromUTF16(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

namespace probe {
struct Widget {};
struct Named {
    static std::string typeName() { return "HWError"; }
};
}  // namespace probe

TEST(TypeNameTest, PlatformNames) {
    EXPECT_EQ(typeName<int>(), "Int");
    EXPECT_EQ(typeName<std::int64_t>(), "Int");
    EXPECT_EQ(typeName<std::uint8_t>(), "UInt8");
    EXPECT_EQ(typeName<const std::string&>(), "String");
    EXPECT_EQ(typeName<double>(), "Double");
    EXPECT_EQ(typeName<bool>(), "Bool");
    EXPECT_EQ(typeName<Data>(), "Data");
    EXPECT_EQ(typeName<std::optional<std::vector<std::string>>>(), "Optional<Array<String>>");
    EXPECT_EQ((typeName<std::map<std::string, int>>()), "Dictionary<String, Int>");
    EXPECT_EQ(typeName<probe::Widget>(), "Widget");
    EXPECT_EQ(typeName<probe::Named>(), "HWError");
}

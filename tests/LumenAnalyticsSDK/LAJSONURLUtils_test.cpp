// JSON coercion of event values, and the URL helpers checked against Python's urllib.parse.
#include <gtest/gtest.h>

#include "LALogCapture.h"
#include "LumenAnalyticsSDK/Core/Utils/LADateFormatter.h"
#include "LumenAnalyticsSDK/Core/Utils/LAJSONUtil.h"
#include "LumenAnalyticsSDK/Core/Utils/LAURLUtils.h"
#include "tests/support/TempDir.h"

using namespace LumenAnalyticsSDK;
using platform::Value;

TEST(LAJSONUtilTest, CoercesDatesSetsNullsAndDecimalsIntoJSON) {
    platform::Date date = platform::Date::fromTimeIntervalSince1970(1700000000.25);
    Value::Set numbers;
    numbers.insert(Value(2));
    numbers.insert(Value(1));
    Value event(Value::Dictionary{
        {"when", Value(date)},
        {"numbers", Value(numbers)},
        {"gone", Value()},
        {"list", Value(Value::Array{Value(), Value(3), Value(0.1), Value(true)})},
        {"blob", Value(platform::Data::fromString("ab"))},
        {"text", Value(std::string("bad \xFF byte"))},
    });
    auto text = LAJSONUtil::stringWithJSONObject(event);
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, "{\"blob\":\"2 bytes\",\"list\":[3,0.1,true],\"numbers\":[1,2],\"text\":\"bad \xEF\xBF\xBD byte\","
                     "\"when\":\"" +
                         LADateFormatter::stringFromDate(date) + "\"}");
    EXPECT_TRUE(std::string(LADateFormatter::stringFromDate(date)).ends_with(":20.250"));

    auto back = LAJSONUtil::JSONObjectWithString(*text);
    ASSERT_TRUE(back);
    EXPECT_EQ((*back)["list"], Value(Value::Array{Value(3), Value(0.1), Value(true)}));
    EXPECT_FALSE(LAJSONUtil::JSONObjectWithString(std::string("{broken")));
    EXPECT_FALSE(LAJSONUtil::JSONObjectWithString(std::string()));
    EXPECT_FALSE(LAJSONUtil::JSONObjectWithData(std::nullopt));
    EXPECT_FALSE(LAJSONUtil::stringWithJSONObject(Value()));          // nothing to write
    EXPECT_FALSE(LAJSONUtil::dataWithJSONObject(Value("a scalar")));  // not a JSON container
}

TEST(LAJSONUtilTest, InvalidDataIsLoggedOnlyWhenReadWithoutOptions) {
    LumenAnalyticsSDK::testing::LALogCapture log;
    EXPECT_FALSE(LAJSONUtil::JSONObjectWithData(platform::Data()));
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0].level, LALogLevelWarn);
    EXPECT_EQ(log.lines()[0].message, "json data is invalid");
    log.clear();
    EXPECT_FALSE(LAJSONUtil::JSONObjectWithData(platform::Data(), platform::JSONReadingOptions::mutableContainers));
    EXPECT_TRUE(log.lines().empty());
}

TEST(LAURLUtilsTest, HostsAndQueryItemsAgreeWithPython) {
    const std::vector<std::string> urls{
        "https://collect.example.com/sa?project=a%20b&flag&x=1&x=2",
        "http://h.example:8080/p/q?a=b=c&empty=&%E4%B8%AD=%E6%96%87",
        "https://h.example/path",
        "https://user@h.example/?k=v%26w",
    };
    // Python prints, per URL: the host, the query split as written, and decoded by unquote.
    testing_support::TempDir dir;
    std::string list;
    for (const auto& url : urls) list += url + "\n";
    testing_support::writeFile(dir / "urls", list);
    int status = -1;
    std::string python = testing_support::runCommand(
        "python3 -c \"import sys, urllib.parse as p\n"
        "for u in open(sys.argv[1]).read().split():\n"
        "    s = p.urlsplit(u)\n"
        "    raw, dec = {}, {}\n"
        "    for part in (s.query.split('&') if s.query else []):\n"
        "        pieces = part.split('=')\n"
        "        if len(pieces) >= 2: raw[pieces[0]] = pieces[-1]\n"
        "        name, eq, value = part.partition('=')\n"
        "        if eq: dec[p.unquote(name)] = p.unquote(value)\n"
        "        else: dec.pop(p.unquote(name), None)\n"
        "    print(s.hostname, sorted(raw.items()), sorted(dec.items()) if s.query else None)\" " +
            (dir / "urls").string(),
        &status);
    ASSERT_EQ(status, 0);

    auto pythonList = [](const std::optional<LAQueryItems>& items) {
        if (!items) return std::string("None");
        std::string out = "[";
        for (const auto& [name, value] : *items) {
            if (out.size() > 1) out += ", ";
            out += "('" + name + "', '" + value + "')";
        }
        return out + "]";
    };
    std::string ours;
    for (const auto& url : urls) {
        auto parsed = platform::URL::parse(url);
        ours += LAURLUtils::hostWithURL(parsed).value_or("None") + " " +
                pythonList(LAURLUtils::queryItemsWithURLString(url)) + " " +
                pythonList(LAURLUtils::decodeQueryItemsWithURL(parsed)) + "\n";
        EXPECT_EQ(LAURLUtils::hostWithURLString(url), LAURLUtils::hostWithURL(parsed));
    }
    EXPECT_EQ(ours, python);
    EXPECT_EQ(LAURLUtils::queryItemsWithURLString(urls[0])->at("project"), "a%20b");
    EXPECT_EQ(LAURLUtils::decodeQueryItemsWithURL(platform::URL::parse(urls[0]))->at("project"), "a b");
    EXPECT_FALSE(LAURLUtils::hostWithURLString(""));
}

TEST(LAURLUtilsTest, QueryStringsAndTheDebugUploadURL) {
    EXPECT_FALSE(LAURLUtils::urlQueryStringWithParams({}));
    EXPECT_EQ(LAURLUtils::urlQueryStringWithParams({{"a", Value(1)}, {"b", Value("x y")}}), "a=1&b=x y");

    struct Case {
        const char* server;
        long debugMode;
        const char* expected;
    } cases[] = {
        {"https://h.example/sa?project=p", 1, "https://h.example/debug?project=p"},
        {"https://h.example", 2, "https://h.example/debug"},
        {"https://h.example/a/sa", 1, "https://h.example/a/debug"},
        {"https://h_x.example/sa", 1, "https://h_x.example/debug"},  // logged, still built
        {"https://h.example/sa", 0, "https://h.example/sa"},
    };
    for (const auto& c : cases) {
        auto url = LAURLUtils::buildServerURLWithURLString(c.server, c.debugMode);
        ASSERT_TRUE(url) << c.server;
        EXPECT_EQ(url->absoluteString(), c.expected);
    }
    EXPECT_FALSE(LAURLUtils::buildServerURLWithURLString("", 1));
}

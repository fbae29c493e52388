// Filters and formatters as a destination applies them.
#include <gtest/gtest.h>

#include "logging/ANSIColorLogFormatter.h"
#include "logging/Base64LogFormatter.h"
#include "logging/FileNameFilter.h"
#include "logging/PrePostFixLogFormatter.h"
#include "logging/Scribe.h"
#include "logging/TestDestination.h"
#include "logging/UserInfoFilter.h"
#include "logging/XcodeColorsLogFormatter.h"
#include "platform/graphics/NSColor.h"

using namespace ::Scribe;
using Logger = ::Scribe::Scribe;
using platform::Value;

namespace {

LogDetails line(UserInfo userInfo, std::string fileName = "/src/a/Main.cpp") {
    return LogDetails{Level::info, platform::Date::now(), "m", "f()", std::move(fileName), 1, std::move(userInfo)};
}

UserInfo tags(Value value) { return {{Constants::tagsUserInfoKey, std::move(value)}}; }

Value::Set setOf(std::initializer_list<const char*> items) {
    Value::Set set;
    for (auto item : items) set.insert(Value(item));
    return set;
}

}  // namespace

TEST(Filters, DecideByUserInfoAndFileName) {
    struct Case {
        const char* name;
        FilterPtr filter;
        LogDetails details;
        bool excluded;
    };
    const UserInfo internal = Constants::internalUserInfo();
    const Case cases[] = {
        {"excluding tag, list holding it", TagFilter::excluding({"net"}), line(tags(Value::Array{"net", "ui"})), true},
        {"excluding tag, untagged line", TagFilter::excluding({"net"}), line({}), false},
        {"excluding tag, single text", TagFilter::excluding({"net"}), line(tags("net")), true},
        {"excluding tag, set sharing one", TagFilter::excluding({"net"}), line(tags(setOf({"db", "net"}))), true},
        {"excluding tag, number under key", TagFilter::excluding({"1"}), line(tags(1)), false},
        {"including only, untagged", TagFilter::includingOnly({"net"}), line({}), true},
        {"including only, matching", TagFilter::includingOnly({"net"}), line(tags("net")), false},
        {"including only, internal line", TagFilter::includingOnly({"net"}), line(internal), true},
        {"excluding, internal line", TagFilter::excluding({"net"}), line(internal), false},
        {"dev filter reads its own key", DevFilter::excluding({"ana"}),
         line({{Constants::devsUserInfoKey, Value("ana")}}), true},
        {"dev filter ignores tags", DevFilter::excluding({"ana"}), line(tags("ana")), false},
        {"file name, other folder same name", FileNameFilter::excluding({"/elsewhere/Main.cpp"}, true), line({}), true},
        {"file name with path, other folder", FileNameFilter::excluding({"/elsewhere/Main.cpp"}, false), line({}),
         false},
        {"file name with path, same path", FileNameFilter::excluding({"/src/a/Main.cpp"}, false), line({}), true},
        {"file name including only, internal", FileNameFilter::includingOnly({"Main.cpp"}), line(internal, ""), true},
    };
    for (const auto& c : cases) {
        LogDetails details = c.details;
        std::string message = "m";
        EXPECT_EQ(c.filter->shouldExclude(details, message), c.excluded) << c.name;
    }
}

TEST(Filters, ItemsAddOnceAndDescribeOnOneLineBelowSix) {
    auto filter = TagFilter::excluding({"e", "b", "d", "a", "c"});
    EXPECT_FALSE(filter->add("a"));
    EXPECT_EQ(filter->debugDescription(), "TagFilter: Excluding matches for: a, b, c, d, e");
    EXPECT_TRUE(filter->add("f"));
    filter->applyFilterToInternalMessages = true;
    EXPECT_EQ(filter->debugDescription(),
              "TagFilter: (Filtering Internal) Excluding matches for: \n\t- a\n\t- b\n\t- c\n\t- d\n\t- e\n\t- f");
}

TEST(Filters, DestinationListHidesOwnersEvenWhenEmptyAndStopsFormatters) {
    auto logger = Logger::create("f", false);
    auto d = TestDestination::create(nullptr, "d");
    d->setShowDate(false);
    d->setShowLevel(false);
    d->setShowFileName(false);
    d->setShowLineNumber(false);
    d->setShowFunctionName(false);
    logger->add(d);
    auto prefix = std::make_shared<PrePostFixLogFormatter>();
    prefix->apply(std::string("<"), std::nullopt);
    logger->formatters = FormatterList{{prefix}};
    logger->filters = FilterList{{TagFilter::excluding({"x"})}};

    logger->info("dropped", CallSite(), tags("x"));
    logger->info("kept");
    d->setFilters(FilterList{std::vector<FilterPtr>{}});
    logger->info("own empty list", CallSite(), tags("x"));
    EXPECT_EQ(d->unexpectedLogMessages, (std::vector<std::string>{"<> kept", "<> own empty list"}));
}

TEST(Formatters, RewriteTheLine) {
    const std::string esc = "\033[";
    LogDetails info = line({});
    LogDetails notice = line({});
    notice.level = Level::notice;
    LogDetails error = line({});
    error.level = Level::error;
    auto run = [](LogFormatterProtocol& f, LogDetails d, std::string text) {
        f.format(d, text);
        return text;
    };

    ANSIColorLogFormatter ansi;
    EXPECT_EQ(run(ansi, info, "x"), esc + "34;49mx" + esc + "m");
    EXPECT_EQ(run(ansi, notice, "x"), esc + "mx" + esc + "m");
    ansi.colorize(Level::info, ANSIColorLogFormatter::ANSIColor::rgb(300, -5, 10), {});
    EXPECT_EQ(ansi.formatStrings[Level::info], esc + "38;2;255;0;10;49m");
    EXPECT_EQ(ansi.descriptionStrings[Level::info], "(r: 300, g: -5, b: 10) #12CFFFFFFFB0A on Default");
    ansi.colorize(Level::info, std::string("1;31m"));
    EXPECT_EQ(ansi.formatStrings[Level::info], esc + "1;31m");
    EXPECT_EQ(ansi.descriptionStrings[Level::info], "Custom: 1;31m");

    XcodeColorsLogFormatter xcode;
    EXPECT_EQ(run(xcode, error, "x"), esc + "fg255,0,0;" + esc + "bg;x" + esc + ";");
    XcodeColorsLogFormatter::XcodeColor color;
    color.setRed(300);
    EXPECT_EQ(color.red(), 0);
    // From a platform colour: each component times 255, truncated; none gives black.
    XcodeColorsLogFormatter::XcodeColor fromPlatform(platform::NSColor::colorWithCalibratedRed(0.5, 1.0, 0.999, 1));
    EXPECT_EQ(fromPlatform.format(), "127,255,254");
    EXPECT_EQ(XcodeColorsLogFormatter::XcodeColor(platform::NSColorPtr()).format(), "0,0,0");

    PrePostFixLogFormatter brackets;
    brackets.apply(std::string("["), std::nullopt);
    brackets.apply(std::string("["), std::string("]"), Level::error);
    LogDetails debug = line({});
    debug.level = Level::debug;
    EXPECT_EQ(run(brackets, error, "x"), "[x]");
    EXPECT_EQ(run(brackets, debug, "x"), "[x");

    Base64LogFormatter base64;
    EXPECT_EQ(run(base64, info, run(base64, info, "hi")), "YUdrPQ==");
}

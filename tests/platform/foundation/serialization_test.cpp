// JSON and property-list serialisation; property lists are cross-checked with
// Python's plistlib in both directions.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>

#include "platform/foundation/JSONSerialization.h"
#include "platform/foundation/PlistDates.h"
#include "platform/foundation/PropertyListSerialization.h"
#include "tests/support/BinaryPlists.h"
#include "tests/support/PlistLookups.h"
#include "tests/support/TempDir.h"

using namespace platform;
using testing_support::binaryArray;
using testing_support::binaryPlist;
using testing_support::peakResidentBytes;
using testing_support::sharedArrayPlist;
using testing_support::sharedBlobPlist;
using testing_support::TempDir;

namespace {
std::string jsonText(const Value& v, JSONWritingOptions o = {}) { return JSONSerialization::string(v, o).value(); }

Value sample() {
    return Value(Value::Dictionary{
        {"int", Value(-42)},
        {"big", Value(9007199254740993LL)},
        {"real", Value(0.1)},
        {"bool", Value(true)},
        {"text", Value("h\xC3\xA9llo/\"w\"\n")},
        {"list", Value(Value::Array{Value(1), Value(false), Value("x")})},
        {"nested", Value(Value::Dictionary{{"empty", Value(Value::Array{})}})},
    });
}
}  // namespace

TEST(JSONSerializationTest, WritesThePlatformForm) {
    EXPECT_EQ(jsonText(sample()), "{\"big\":9007199254740993,\"bool\":true,\"int\":-42,\"list\":[1,false,\"x\"],"
                                  "\"nested\":{\"empty\":[]},\"real\":0.1,\"text\":\"h\xC3\xA9llo\\/\\\"w\\\"\\n\"}");
    EXPECT_EQ(jsonText(Value(Value::Array{Value("a/b")}), JSONWritingOptions::withoutEscapingSlashes), "[\"a/b\"]");
    EXPECT_EQ(jsonText(Value(Value::Dictionary{{"a", Value(Value::Array{Value(1), Value(2.5)})}, {"b", Value()}}),
                       JSONWritingOptions::prettyPrinted),
              "{\n  \"a\" : [\n    1,\n    2.5\n  ],\n  \"b\" : null\n}");
    EXPECT_EQ(jsonText(Value(Value::Array{Value(1.0), Value(1e300), Value("\x01")})), "[1,1e+300,\"\\u0001\"]");
}

TEST(JSONSerializationTest, RoundTripKeepsKinds) {
    auto back = JSONSerialization::jsonObject(Data::fromString(jsonText(sample()))).value();
    EXPECT_EQ(back, sample());
    EXPECT_TRUE(back["int"].isInteger());
    EXPECT_TRUE(back["bool"].isBool());
    EXPECT_EQ(back["real"].kind(), Value::Kind::real);
    EXPECT_EQ(*back["big"].asInt64(), 9007199254740993LL);  // not rounded through a double
    auto huge = JSONSerialization::jsonObject("[18446744073709551615]").value();
    EXPECT_EQ(*(*huge.asArray())[0].asUInt64(), 18446744073709551615ULL);
}

TEST(JSONSerializationTest, InvalidUTF8BecomesReplacementCharacter) {
    auto read = JSONSerialization::jsonObject(std::string_view("[\"a\xFF\x62\"]"));
    ASSERT_TRUE(read.isSuccess());
    EXPECT_EQ(*(*read.value().asArray())[0].asString(), "a\xEF\xBF\xBD"
                                                        "b");
    EXPECT_EQ(jsonText(Value(Value::Array{Value(std::string("x\xC3"))})), "[\"x\xEF\xBF\xBD\"]");
}

TEST(JSONSerializationTest, ErrorsAreValuesWithClearMessages) {
    struct Case {
        std::string text;
        JSONReadingOptions options;
        const char* messagePart;
    } cases[] = {
        {"", {}, "empty data"},
        {"{\"a\":", {}, "line 1, column 6"},
        {"[1,]", {}, "parse error"},
        {"\"fragment\"", {}, "allow fragments"},
        {std::string(600, '['), {}, "nested"},
    };
    for (const auto& c : cases) {
        auto r = JSONSerialization::jsonObject(c.text, c.options);
        ASSERT_TRUE(r.isFailure()) << c.text;
        EXPECT_EQ(r.error()->domain(), NSCocoaErrorDomain);
        EXPECT_EQ(r.error()->code(), 3840);
        std::string debug = *r.error()->userInfo().at(NSDebugDescriptionErrorKey).asString();
        EXPECT_NE(debug.find(c.messagePart), std::string::npos) << debug;
    }
    EXPECT_EQ(JSONSerialization::jsonObject("\"fragment\"", JSONReadingOptions::fragmentsAllowed).value(),
              Value("fragment"));
    EXPECT_TRUE(JSONSerialization::jsonObject(" null ", JSONReadingOptions::fragmentsAllowed).value().isNull());

    EXPECT_TRUE(JSONSerialization::data(Value(3)).isFailure());  // top level must be a container
    EXPECT_TRUE(JSONSerialization::data(Value(3), JSONWritingOptions::fragmentsAllowed).isSuccess());
    EXPECT_TRUE(JSONSerialization::data(Value(Value::Array{Value(Data::fromString("x"))})).isFailure());
    EXPECT_TRUE(JSONSerialization::data(Value(Value::Array{Value(std::nan(""))})).isFailure());
    EXPECT_FALSE(JSONSerialization::isValidJSONObject(Value(Value::Array{Value(Date{0})})));
    EXPECT_TRUE(JSONSerialization::isValidJSONObject(sample()));
}

namespace {
Value plistSample() {
    return Value(Value::Dictionary{
        {"int", Value(-5)},
        {"real", Value(2.5)},
        {"yes", Value(true)},
        {"text", Value("zh \xE4\xB8\xAD & <tag>")},
        {"data", Value(Data::fromString(std::string("\x00\x01\xFF", 3)))},
        {"date", Value(Date::fromTimeIntervalSince1970(1700000000))},
        {"list", Value(Value::Array{Value(1), Value("two")})},
    });
}

// Python's view of a plist file: a stable text of its contents.
std::string pythonReads(const std::filesystem::path& file) {
    int status = -1;
    std::string out = testing_support::runCommand(
        "python3 -c \"import plistlib,sys,datetime\n"
        "v = plistlib.load(open(sys.argv[1], 'rb'))\n"
        "def s(x):\n"
        "    if isinstance(x, dict): return '{' + ','.join(k + ':' + s(x[k]) for k in sorted(x)) + '}'\n"
        "    if isinstance(x, list): return '[' + ','.join(s(e) for e in x) + ']'\n"
        "    if isinstance(x, bytes): return 'b' + x.hex()\n"
        "    if isinstance(x, datetime.datetime): return x.strftime('%Y-%m-%dT%H:%M:%S')\n"
        "    return type(x).__name__ + '=' + str(x)\n"
        "print(s(v))\" " +
            file.string(),
        &status);
    EXPECT_EQ(status, 0);
    return out;
}

// `levels` arrays each holding the next (the innermost empty), as XML.
std::string deepXmlPlist(std::size_t levels) {
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">";
    for (std::size_t i = 0; i < levels; ++i) text += "<array>";
    for (std::size_t i = 0; i < levels; ++i) text += "</array>";
    return text + "</plist>\n";
}

// `levels` arrays in binary form: object i is an array of `refs` references to object i + 1,
// or of one to `last` for the innermost (itself, for a list that holds itself).
std::string deepBinaryPlist(std::size_t levels, std::optional<std::uint32_t> last = std::nullopt, int refs = 1) {
    std::vector<std::string> objects;
    for (std::size_t i = 0; i + 1 < levels; ++i) objects.push_back(binaryArray(refs, i + 1));
    objects.push_back(last ? binaryArray(1, *last) : binaryArray(0, 0));
    return binaryPlist(objects);
}

Value nestedArrays(std::size_t levels) {
    Value v(Value::Array{});
    for (std::size_t i = 1; i < levels; ++i) v = Value(Value::Array{v});
    return v;
}
}  // namespace

TEST(PropertyListSerializationTest, PythonReadsWhatWeWrite) {
    TempDir dir;
    const std::string expected =
        "{data:b0001ff,date:2023-11-14T22:13:20,int:int=-5,list:[int=1,str=two],real:float=2.5,"
        "text:str=zh \xE4\xB8\xAD & <tag>,yes:bool=True}\n";
    for (auto format : {PropertyListFormat::xml, PropertyListFormat::binary}) {
        auto data = PropertyListSerialization::data(plistSample(), format).value();
        auto file = dir / (format == PropertyListFormat::xml ? "a.plist" : "b.plist");
        testing_support::writeFile(file, data.toString());
        EXPECT_EQ(pythonReads(file), expected);
        PropertyListFormat detected{};
        EXPECT_EQ(PropertyListSerialization::propertyList(data, &detected).value(), plistSample());
        EXPECT_EQ(detected, format);
    }
}

TEST(PropertyListSerializationTest, WeReadWhatPythonWrites) {
    TempDir dir;
    for (const char* fmt : {"FMT_XML", "FMT_BINARY"}) {
        auto file = dir / (std::string(fmt) + ".plist");
        int status = -1;
        testing_support::runCommand(
            std::string("python3 -c \"import plistlib,sys,datetime\n"
                        "v = {'int': -5, 'real': 2.5, 'yes': True, 'text': 'zh \\u4e2d & <tag>',\n"
                        "     'data': bytes([0, 1, 255]), 'date': datetime.datetime(2023, 11, 14, 22, 13, 20),\n"
                        "     'list': [1, 'two']}\n"
                        "open(sys.argv[1], 'wb').write(plistlib.dumps(v, fmt=plistlib.") +
                fmt + "))\" " + file.string(),
            &status);
        ASSERT_EQ(status, 0);
        auto read = PropertyListSerialization::propertyList(Data::fromString(testing_support::readFile(file)));
        ASSERT_TRUE(read.isSuccess()) << fmt;
        EXPECT_EQ(read.value(), plistSample()) << fmt;
    }
}

TEST(PropertyListSerializationTest, RefusesWhatItCannotHoldAndMalformedInput) {
    for (const Value& bad : {Value(Value::Array{Value()}), Value(Value::Array{Value(18446744073709551615ULL)}),
                             Value(Value::Dictionary{{"d", Value(Date{1e12})}})}) {
        auto r = PropertyListSerialization::data(bad, PropertyListFormat::xml);
        ASSERT_TRUE(r.isFailure());
        EXPECT_EQ(r.error()->code(), 3851);
    }
    // A NUL inside a string or key (only damaged files hold one) is refused, not a crash.
    int status = -1;
    std::string nulKey = testing_support::runCommand(
        "python3 -c \"import plistlib,sys; sys.stdout.buffer.write(plistlib.dumps({'a\\x00b': 'x', 'k': 'v\\x00'},"
        " fmt=plistlib.FMT_BINARY))\"",
        &status);
    ASSERT_EQ(status, 0);
    EXPECT_TRUE(PropertyListSerialization::propertyList(Data::fromString(nulKey)).isFailure());
    for (const char* bad : {"", "<plist><dict><key>a</key></plist>", "bplist00garbage", "just text",
                            "<plist version=\"1.0\"><string>a&#x00;b</string></plist>"}) {
        auto r = PropertyListSerialization::propertyList(Data::fromString(bad));
        ASSERT_TRUE(r.isFailure()) << bad;
        EXPECT_EQ(r.error()->code(), 3840);
    }
}

TEST(PropertyListSerializationTest, DatesAreReadAndWrittenOverTheirWholeRange) {
    // Python writes each date in both forms; it is read as that instant and written back
    // as the same text. The library's own getter held 1932 to 2069 only.
    struct Case {
        const char* text;
        double seconds;  // since 2001-01-01
    };
    const Case cases[] = {{"2100-03-01T12:00:00", 3129278400.0},
                          {"1900-01-01T00:00:00", -3187296000.0},
                          {"9999-12-31T23:59:59", 252423993599.0}};
    for (const auto& c : cases) {
        for (const char* fmt : {"FMT_XML", "FMT_BINARY"}) {
            int status = -1;
            const std::string bytes = testing_support::runCommand(
                std::string("python3 -c \"import plistlib,sys,datetime\n"
                            "d = datetime.datetime.strptime('") +
                    c.text +
                    "', '%Y-%m-%dT%H:%M:%S')\nsys.stdout.buffer.write(plistlib.dumps({'when': d}, fmt=plistlib." + fmt +
                    "))\"",
                &status);
            ASSERT_EQ(status, 0);
            auto read = PropertyListSerialization::propertyList(Data::fromString(bytes));
            ASSERT_TRUE(read.isSuccess()) << c.text << " " << fmt;
            EXPECT_EQ(read.value()["when"], Value(Date{c.seconds})) << c.text << " " << fmt;
            for (auto format : {PropertyListFormat::xml, PropertyListFormat::binary}) {
                auto written = PropertyListSerialization::data(read.value(), format);
                ASSERT_TRUE(written.isSuccess()) << c.text;
                EXPECT_EQ(PropertyListSerialization::propertyList(written.value()).value(), read.value()) << c.text;
            }
        }
        TempDir dir;
        testing_support::writeFile(
            dir / "d.plist", PropertyListSerialization::data(Value(Value::Dictionary{{"when", Value(Date{c.seconds})}}),
                                                             PropertyListFormat::xml)
                                 .value()
                                 .toString());
        EXPECT_EQ(pythonReads(dir / "d.plist"), std::string("{when:") + c.text + "}\n");
    }
    // A fraction of a second survives the binary form; a date the XML form cannot spell,
    // or a text that is no date, is refused both ways rather than read as another instant.
    const Value precise(
        Value::Array{Value(Date{-3187296000.25}), Value(Date::distantPast()), Value(Date::distantFuture())});
    EXPECT_EQ(PropertyListSerialization::propertyList(
                  PropertyListSerialization::data(precise, PropertyListFormat::binary).value())
                  .value(),
              precise);
    EXPECT_TRUE(PropertyListSerialization::data(Value(Date{kEndOfPlistDates}), PropertyListFormat::binary).isFailure());
    for (const char* bad : {"10000-01-01T00:00:00Z", "2020-02-30T00:00:00Z", "garbage", ""}) {
        const std::string xml = std::string("<plist version=\"1.0\"><array><date>") + bad + "</date></array></plist>";
        EXPECT_TRUE(PropertyListSerialization::propertyList(Data::fromString(xml)).isFailure()) << bad;
    }
}

TEST(PropertyListSerializationTest, ALongArrayIsReadInLinearTime) {
    // Items found by index made the reading of an array take time in the square of its
    // length (65,536 items took 4 s; these 262,144 would take a minute, some 34 billion of
    // the library's steps); read in turn they take a fraction of a second.
    const std::uint64_t stepsBefore = testing_support::plistItemsSteppedByIndex();
    auto read =
        PropertyListSerialization::propertyList(Data::fromString(binaryPlist({binaryArray(1u << 18, 1), "\x09"})));
    ASSERT_TRUE(read.isSuccess());
    EXPECT_LE(testing_support::plistItemsSteppedByIndex() - stepsBefore, 2u << 18);
    EXPECT_EQ(read.value().asArray()->size(), 1u << 18);
    EXPECT_EQ(read.value().asArray()->back(), Value(true));
}

TEST(PropertyListSerializationTest, AKeyThatIsNotUTF8IsReadAsItIsWrittenBack) {
    const std::string xml = "<plist version=\"1.0\"><dict><key>a\xFF</key><integer>1</integer></dict></plist>";
    auto read = PropertyListSerialization::propertyList(Data::fromString(xml));
    ASSERT_TRUE(read.isSuccess());
    EXPECT_EQ(read.value(), Value(Value::Dictionary{{"a\xEF\xBF\xBD", Value(1)}}));
    auto again = PropertyListSerialization::propertyList(
        PropertyListSerialization::data(read.value(), PropertyListFormat::binary).value());
    EXPECT_EQ(again.value(), read.value());
}

TEST(PropertyListSerializationTest, NestingDeeperOrLargerThanItReadsIsRefusedBeforeParsing) {
    // 513 levels are read; past that, even 200,000 levels, the list is refused at once
    // (parsing them would overflow the stack), as is a small list that stands for a
    // billion values (parsing it would never end), for more values than its reader's
    // cap (parsing 1.99 million took seconds and hundreds of MB), or for more bytes of
    // values than its reader's budget: one long string or data object referred to
    // thousands of times was copied at each reference (gigabytes and tens of seconds from
    // a file of a few hundred KB; the updater ended on bad_alloc).
    struct Case {
        const char* name;
        std::string bytes;
        std::optional<Value> read;  // none: refused
        PlistLimits limits = {};
    };
    std::string manyValues = "<plist version=\"1.0\"><array>";
    for (int i = 0; i < 4096; ++i) manyValues += "<true/>";
    manyValues += "</array></plist>";
    const Value nested = nestedArrays(513);
    // The limits of the readers of outside files: a package's Info.plist, the settings, the
    // event client's cache.
    const PlistLimits infoPlist{kMaxPlistNesting, 4096, plistBytesBudget(1u << 20, 4096)};
    const PlistLimits settings{kMaxPlistNesting, 1u << 16, 4u << 20};
    const PlistLimits cache{kMaxPlistNesting, 1u << 15, plistBytesBudget(4u << 20, 1u << 15)};
    // `refs` references to one blob of `unit`s, each read as the bytes `read`, as long as
    // `limits` allow, or one unit longer; the read value when it is within them.
    auto sharedAtBudget = [](const char* name, std::uint64_t refs, char kind, const PlistLimits& limits, bool past,
                             std::string_view unit = "x", std::string_view read = "x") {
        const std::uint64_t longest = ((limits.bytes - kPlistValueBytes) / refs - kPlistValueBytes) / read.size();
        const std::uint64_t count = longest + (past ? 1 : 0);
        std::string blob;
        for (std::uint64_t i = 0; i < count; ++i) blob += read;
        const Value element = kind == 0x40 ? Value(Data::fromString(blob)) : Value(blob);
        return Case{name, sharedBlobPlist(refs, kind, count, unit),
                    past ? std::nullopt : std::optional<Value>(Value(Value::Array(refs, element))), limits};
    };
    // One XML string read as `read`, whose bytes as read (`readBytes`, beyond the list's)
    // are just within the budget, or a byte past it.
    auto xmlAtBudget = [](const char* name, const std::string& text, const std::string& read, std::uint64_t readBytes,
                          bool past) {
        const std::string x = "<plist version=\"1.0\"><string>" + text + "</string></plist>";
        const PlistLimits limits{kMaxPlistNesting, 1, x.size() + readBytes + kPlistValueBytes - (past ? 1 : 0)};
        return Case{name, x, past ? std::nullopt : std::optional<Value>(Value(read)), limits};
    };
    const std::string replacement = "\xEF\xBF\xBD";  // U+FFFD, what a byte that is not UTF-8 is read as
    std::string replacements;
    for (int i = 0; i < 4000; ++i) replacements += replacement;
    const std::vector<Case> cases = {
        {"XML, 513 levels", deepXmlPlist(513), nested},
        {"XML, 514 levels", deepXmlPlist(514), std::nullopt},
        {"XML, 200,000 levels", deepXmlPlist(200000), std::nullopt},
        {"binary, 513 levels", deepBinaryPlist(513), nested},
        {"binary, 514 levels", deepBinaryPlist(514), std::nullopt},
        {"binary, 200,000 levels", deepBinaryPlist(200000), std::nullopt},
        {"binary, an array that holds itself", deepBinaryPlist(3, 1), std::nullopt},
        // 422 bytes that stand for 2^30 arrays.
        {"binary, each array holding the next twice, 30 levels", deepBinaryPlist(30, std::nullopt, 2), std::nullopt},
        // 12 KB; a package's Info.plist is read at 4,096 values.
        {"binary, one array shared 1,000 times: 1.99 M values at a cap of 4,096", sharedArrayPlist(1000, 1989),
         std::nullopt, infoPlist},
        {"XML, 4,097 values at a cap of 4,096", manyValues, std::nullopt, infoPlist},
        {"XML, 4,097 values at a budget of their bytes",
         manyValues,
         Value(Value::Array(4096, Value(true))),
         {kMaxPlistNesting, 4097, manyValues.size() + 4097 * kPlistValueBytes}},
        {"XML, 4,097 values a byte past it",
         manyValues,
         std::nullopt,
         {kMaxPlistNesting, 4097, manyValues.size() + 4097 * kPlistValueBytes - 1}},
        sharedAtBudget("Info.plist, data referred to twice, at its 1.25 MiB budget", 2, 0x40, infoPlist, false),
        sharedAtBudget("Info.plist, data referred to twice, a byte past its budget", 2, 0x40, infoPlist, true),
        {"Info.plist, 1 MB: a 1 MB data object referred to 4,000 times", sharedBlobPlist(4000, 0x40, 1000000),
         std::nullopt, infoPlist},
        sharedAtBudget("settings, a string referred to 8 times, at their 4 MiB budget", 8, 0x50, settings, false),
        sharedAtBudget("settings, a string referred to 8 times, a byte past their budget", 8, 0x50, settings, true),
        {"settings, 276 KB: a 16 KiB string referred to 65,000 times", sharedBlobPlist(65000, 0x50, 16u << 10),
         std::nullopt, settings},
        // A string counts as it is read: a byte that is not UTF-8 as U+FFFD, a UTF-16 unit as
        // up to 3 bytes (counted at their stored size, a 66 KB file took the updater to 193 MB).
        sharedAtBudget("settings, 8-bit 0xFF bytes referred to 8 times, at their budget as read", 8, 0x50, settings,
                       false, "\xFF", replacement),
        sharedAtBudget("settings, 8-bit 0xFF bytes referred to 8 times, a byte past their budget as read", 8, 0x50,
                       settings, true, "\xFF", replacement),
        sharedAtBudget("settings, UTF-16 U+FFFD referred to 8 times, at their budget as read", 8, 0x60, settings, false,
                       "\xFF\xFD", replacement),
        sharedAtBudget("settings, UTF-16 U+FFFD referred to 8 times, a byte past their budget as read", 8, 0x60,
                       settings, true, "\xFF\xFD", replacement),
        xmlAtBudget("XML, 4,000 bytes 0xFF at the budget as read", std::string(4000, '\xFF'), replacements, 8000,
                    false),
        xmlAtBudget("XML, 4,000 bytes 0xFF a byte past the budget as read", std::string(4000, '\xFF'), replacements,
                    8000, true),
        // A reference to a surrogate is read as the three bytes of its UTF-8 form, each U+FFFD.
        xmlAtBudget("XML, surrogate references at the budget as read", "&#xD800;&#xDFFF;", replacements.substr(0, 18),
                    2, false),
        xmlAtBudget("XML, surrogate references a byte past the budget as read", "&#xD800;&#xDFFF;",
                    replacements.substr(0, 18), 2, true),
        sharedAtBudget("event cache, a batch referred to 4 times, at its 6 MiB budget", 4, 0x40, cache, false),
        sharedAtBudget("event cache, a batch referred to 4 times, a byte past its budget", 4, 0x40, cache, true),
        {"event cache, 193 KB: a 64 KiB batch referred to 32,000 times", sharedBlobPlist(32000, 0x40, 64u << 10),
         std::nullopt, cache},
        {"no reader's budget, 1 MB: a 1 MB data object referred to 4,000 times", sharedBlobPlist(4000, 0x40, 1000000),
         std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto read = PropertyListSerialization::propertyList(Data::fromString(c.bytes), nullptr, c.limits);
        if (c.read) {
            ASSERT_TRUE(read.isSuccess()) << read.error()->debugDescription();
            EXPECT_EQ(read.value(), *c.read);
        } else {
            ASSERT_TRUE(read.isFailure());
            EXPECT_EQ(read.error()->code(), 3840);
        }
    }
    // Copying each reference took gigabytes.
    EXPECT_LT(peakResidentBytes(), 1u << 30);
    // A shared array counts once per reference: 1 + 3 * (1 + 4) values are read at a cap of
    // 16, not at 15.
    EXPECT_TRUE(
        PropertyListSerialization::propertyList(Data::fromString(sharedArrayPlist(3, 4)), nullptr, {.values = 16})
            .isSuccess());
    EXPECT_TRUE(
        PropertyListSerialization::propertyList(Data::fromString(sharedArrayPlist(3, 4)), nullptr, {.values = 15})
            .isFailure());
    // What is read can be written again, in both forms.
    for (auto format : {PropertyListFormat::xml, PropertyListFormat::binary})
        EXPECT_TRUE(PropertyListSerialization::data(nested, format).isSuccess());
}

// The form encoder: tree building, ordering, key spelling, escaping and the options,
// with a complex value checked against Python's form parser.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "Hawser/URLEncodedFormEncoder.h"
#include "Hawser/URLEncodedFormSerializer.h"
#include "tests/support/TempDir.h"

using namespace Hawser;
using platform::CodingKey;
using platform::Encoder;
using Enc = URLEncodedFormEncoder;

namespace {

struct Address {
    std::string city;
    int zip;
    void encode(Encoder& e) const {
        auto c = e.container();
        c->encode(city, "city");
        c->encode(zip, "zip");
    }
};

struct Person {
    std::string name;
    std::vector<std::string> tags;
    Address address;
    std::optional<std::string> nickname;
    void encode(Encoder& e) const {
        auto c = e.container();
        c->encode(name, "name");
        c->encode(tags, "tags");
        c->encode(address, "address");
        c->encodeIfPresent(nickname, "nickname");
    }
};

// Writes arbitrary steps so single cases need no type of their own.
struct Steps {
    std::function<void(Encoder&)> body;
    void encode(Encoder& e) const { body(e); }
};

std::string form(const std::function<void(Encoder&)>& body, const Enc& encoder = Enc()) {
    return encoder.encode(Steps{body});
}

Enc unsorted() { return Enc(false); }

}  // namespace

TEST(URLEncodedFormEncoder, OrdersNestsAndEscapesPairs) {
    Person person{"a b", {"b", "a"}, {"X", 10}, std::nullopt};
    EXPECT_EQ(Enc().encode(person), "address%5Bcity%5D=X&address%5Bzip%5D=10&name=a%20b&tags%5B%5D=a&tags%5B%5D=b");
    EXPECT_EQ(unsorted().encode(person),
              "name=a%20b&tags%5B%5D=b&tags%5B%5D=a&address%5Bcity%5D=X&address%5Bzip%5D=10");

    struct Case {
        Enc encoder;
        std::string expected;
    };
    auto ab = [](Encoder& e) { e.container()->encode(std::vector<std::string>{"x", "y"}, "a"); };
    std::vector<Case> arrays{
        {Enc(), "a%5B%5D=x&a%5B%5D=y"},
        {Enc(true, Enc::ArrayEncoding::noBrackets()), "a=x&a=y"},
        {Enc(true, Enc::ArrayEncoding::indexInBrackets()), "a%5B0%5D=x&a%5B1%5D=y"},
        {Enc(true, Enc::ArrayEncoding::custom([](const std::string& k, int i) { return k + "-" + std::to_string(i); })),
         "a-0=x&a-1=y"},
    };
    for (const auto& c : arrays) EXPECT_EQ(form(ab, c.encoder), c.expected);

    // "=" sorts after digits; indices sort as text.
    EXPECT_EQ(form([](Encoder& e) {
                  auto c = e.container();
                  c->encode(std::string("1"), "a");
                  c->encode(std::string("2"), "a0");
              }),
              "a0=2&a=1");
    std::vector<std::string> eleven;
    for (int i = 0; i < 11; ++i) eleven.push_back("v");
    std::string indexed =
        form([&](Encoder& e) { e.container()->encode(eleven, "a"); }, Enc(true, Enc::ArrayEncoding::indexInBrackets()));
    EXPECT_EQ(indexed.substr(0, 44), "a%5B0%5D=v&a%5B1%5D=v&a%5B10%5D=v&a%5B2%5D=v");

    // Objects in arrays, dots as key paths, empty values, entry order without sorting.
    EXPECT_EQ(form([](Encoder& e) {
                  auto element = e.container()->nestedUnkeyedContainer("a")->nestedContainer();
                  element->encode(std::string("2"), "y");
                  element->encode(std::string("1"), "x");
              }),
              "a%5B%5D%5Bx%5D=1&a%5B%5D%5By%5D=2");
    EXPECT_EQ(form([](Encoder& e) { e.container()->nestedContainer("a")->encode(std::string("1"), "b"); },
                   Enc(true, Enc::ArrayEncoding::brackets(), Enc::BoolEncoding::numeric, Enc::DataEncoding::base64(),
                       Enc::DateEncoding::deferredToDate(), Enc::KeyEncoding::useDefaultKeys(),
                       Enc::KeyPathEncoding::dots())),
              "a.b=1");
    EXPECT_EQ(form([](Encoder& e) { e.container()->encode(std::string(""), "k"); }), "k=");
    EXPECT_EQ(form(
                  [](Encoder& e) {
                      auto c = e.container();
                      c->encode(std::string("1"), "z");
                      c->encode(std::string("2"), "a");
                  },
                  unsorted()),
              "z=1&a=2");
}

TEST(URLEncodedFormEncoder, EscapesByteWise) {
    URLEncodedFormSerializer percent(true, Enc::ArrayEncoding::brackets(), Enc::KeyEncoding::useDefaultKeys(),
                                     Enc::KeyPathEncoding::brackets(), Enc::SpaceEncoding::percentEscaped,
                                     Enc::defaultAllowedCharacters());
    URLEncodedFormSerializer plus(true, Enc::ArrayEncoding::brackets(), Enc::KeyEncoding::useDefaultKeys(),
                                  Enc::KeyPathEncoding::brackets(), Enc::SpaceEncoding::plusReplaced,
                                  Enc::defaultAllowedCharacters());
    struct Case {
        std::string in, percent, plus;
    };
    std::vector<Case> cases{
        {"a&b=c d", "a%26b%3Dc%20d", "a%26b%3Dc+d"},
        {"1+1", "1%2B1", "1%2B1"},
        {"100%", "100%25", "100%25"},
        {"ä", "%C3%A4", "%C3%A4"},
        {"/path?x", "/path?x", "/path?x"},
        {":#[]@!$'()*,;", "%3A%23%5B%5D%40%21%24%27%28%29%2A%2C%3B", "%3A%23%5B%5D%40%21%24%27%28%29%2A%2C%3B"},
        {std::string("\xff\xfe", 2), "%FF%FE", "%FF%FE"},  // not UTF-8: still escaped, never refused
    };
    for (const auto& c : cases) {
        EXPECT_EQ(percent.escape(c.in), c.percent) << c.in;
        EXPECT_EQ(plus.escape(c.in), c.plus) << c.in;
    }
}

TEST(URLEncodedFormEncoder, KeyEncodings) {
    struct Case {
        std::string key, snake;
    };
    std::vector<Case> cases{
        {"myProperty", "my_property"},
        {"myURLProperty", "my_url_property"},
        {"userID", "user_id"},
        {"isJSONValid", "is_json_valid"},
        {"user2Name", "user2_name"},
        {"URLValue", "u_rl_value"},
        {"ABC", "a_bc"},
        {"Ab", "ab"},
        {"already_snake", "already_snake"},
        {"", ""},
        {"éCole", "é_cole"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Enc::KeyEncoding::convertToSnakeCase().encode(c.key), c.snake) << c.key;
        std::string kebab = c.snake;
        if (c.key != "already_snake")
            for (auto& ch : kebab)
                if (ch == '_') ch = '-';
        EXPECT_EQ(Enc::KeyEncoding::convertToKebabCase().encode(c.key), kebab) << c.key;
    }
    EXPECT_EQ(Enc::KeyEncoding::capitalized().encode("userName"), "UserName");
    EXPECT_EQ(Enc::KeyEncoding::capitalized().encode(""), "");
    EXPECT_EQ(Enc::KeyEncoding::capitalized().encode("ßa"), "SSa");  // full mapping may grow
    EXPECT_EQ(Enc::KeyEncoding::uppercased().encode("straße"), "STRASSE");
    EXPECT_EQ(Enc::KeyEncoding::lowercased().encode("ÄB"), "äb");

    // The whole composed key is transformed before escaping.
    Enc snake(true, Enc::ArrayEncoding::brackets(), Enc::BoolEncoding::numeric, Enc::DataEncoding::base64(),
              Enc::DateEncoding::deferredToDate(), Enc::KeyEncoding::convertToSnakeCase());
    EXPECT_EQ(
        form([](Encoder& e) { e.container()->nestedContainer("userName")->encode(std::string("x"), "firstName"); },
             snake),
        "user_name%5Bfirst_name%5D=x");
}

TEST(URLEncodedFormEncoder, ScalarOptions) {
    auto at = [](auto value) { return [value](Encoder& e) { e.container()->encode(value, "k"); }; };
    auto withBool = [](Enc::BoolEncoding b) { return Enc(true, Enc::ArrayEncoding::brackets(), b); };
    auto withData = [](Enc::DataEncoding d) {
        return Enc(true, Enc::ArrayEncoding::brackets(), Enc::BoolEncoding::numeric, d);
    };
    auto withDate = [](Enc::DateEncoding d) {
        return Enc(true, Enc::ArrayEncoding::brackets(), Enc::BoolEncoding::numeric, Enc::DataEncoding::base64(), d);
    };
    const platform::Date oneSecond = platform::Date::fromTimeIntervalSince1970(1);
    const platform::Data bytes(std::vector<std::uint8_t>{0x00, 0xFF});

    EXPECT_EQ(form(at(true), withBool(Enc::BoolEncoding::numeric)), "k=1");
    EXPECT_EQ(form(at(false), withBool(Enc::BoolEncoding::literal)), "k=false");
    EXPECT_EQ(form(at(bytes)), "k=AP8%3D");
    EXPECT_EQ(form(at(platform::Data(std::vector<std::uint8_t>{9, 10})), withData(Enc::DataEncoding::deferredToData())),
              "k%5B%5D=10&k%5B%5D=9");
    EXPECT_EQ(form(at(oneSecond), withDate(Enc::DateEncoding::secondsSince1970())), "k=1.0");
    EXPECT_EQ(form(at(oneSecond), withDate(Enc::DateEncoding::millisecondsSince1970())), "k=1000.0");
    EXPECT_EQ(form(at(oneSecond), withDate(Enc::DateEncoding::iso8601())), "k=1970-01-01T00%3A00%3A01Z");
    EXPECT_EQ(form(at(platform::Date{0.5})), "k=0.5");  // deferred: seconds since 2001
    EXPECT_EQ(form(at(0.00001)), "k=1e-05");
    EXPECT_EQ(form(at(-3)), "k=-3");
    EXPECT_EQ(form(at(std::uint64_t(18446744073709551615ull))), "k=18446744073709551615");

    // A failing custom closure ends the encoding with its own error.
    auto failing = withData(Enc::DataEncoding::custom([](const platform::Data&) -> std::string {
        throw platform::ErrorException(platform::posixError(5, "custom"));
    }));
    try {
        form(at(bytes), failing);
        FAIL() << "no error";
    } catch (const platform::ErrorException& e) {
        EXPECT_EQ(e.error()->code(), 5);
    }
}

TEST(URLEncodedFormEncoder, NilsAndOverwrites) {
    auto with = [](Enc::NilEncoding n, Enc::ArrayEncoding a = Enc::ArrayEncoding::brackets(), bool sorted = true) {
        return Enc(sorted, a, Enc::BoolEncoding::numeric, Enc::DataEncoding::base64(),
                   Enc::DateEncoding::deferredToDate(), Enc::KeyEncoding::useDefaultKeys(),
                   Enc::KeyPathEncoding::brackets(), n);
    };
    auto explicitNil = [](Encoder& e) { e.container()->encodeNil("k"); };
    EXPECT_EQ(form(explicitNil, with(Enc::NilEncoding::dropKey())), "");
    EXPECT_EQ(form(explicitNil, with(Enc::NilEncoding::dropValue())), "k=");
    EXPECT_EQ(form(explicitNil, with(Enc::NilEncoding::null())), "k=null");
    // An absent optional written "if present" never reaches the nil option.
    EXPECT_EQ(with(Enc::NilEncoding::null()).encode(Person{"n", {}, {"c", 1}, std::nullopt}),
              "address%5Bcity%5D=c&address%5Bzip%5D=1&name=n");

    // A nil element uses up its index but leaves no element behind.
    auto list = [](Encoder& e) { e.container()->encode(std::vector<std::optional<int>>{1, std::nullopt, 3}, "a"); };
    EXPECT_EQ(form(list, with(Enc::NilEncoding::dropKey(), Enc::ArrayEncoding::indexInBrackets(), false)),
              "a%5B0%5D=1&a%5B1%5D=3");
    EXPECT_EQ(form(list, with(Enc::NilEncoding::null(), Enc::ArrayEncoding::indexInBrackets(), false)),
              "a%5B0%5D=1&a%5B1%5D=null&a%5B2%5D=3");

    EXPECT_EQ(form(
                  [](Encoder& e) {
                      auto c = e.container();
                      c->encode(std::string("1"), "a");
                      c->encode(std::string("2"), "b");
                      c->encode(std::string("3"), "a");
                  },
                  unsorted()),
              "a=3&b=2");
    EXPECT_EQ(form([](Encoder& e) {
                  auto c = e.container();
                  c->encode(std::string("1"), "k");
                  c->nestedContainer("k")->encode(std::string("2"), "x");
              }),
              "k%5Bx%5D=2");
    // Integer keys (a map keyed by integers) become array elements.
    EXPECT_EQ(form([](Encoder& e) { e.container()->encode(std::map<int, std::string>{{5, "x"}}, "d"); }), "d%5B%5D=x");

    // Index past the end appends.
    URLEncodedFormComponent tree;
    tree.set(URLEncodedFormComponent::string("a"), {CodingKey("k"), CodingKey::index(0)});
    tree.set(URLEncodedFormComponent::string("b"), {CodingKey("k"), CodingKey::index(1)});
    tree.set(URLEncodedFormComponent::string("c"), {CodingKey("k"), CodingKey::index(5)});
    ASSERT_TRUE(tree.object());
    EXPECT_EQ(tree.object()->at(0).value.array()->size(), 3u);
}

TEST(URLEncodedFormEncoder, Failures) {
    auto expectRootError = [](const std::function<void(Encoder&)>& body, const Enc& encoder) {
        try {
            form(body, encoder);
            ADD_FAILURE() << "no error";
        } catch (const platform::ErrorException& e) {
            EXPECT_NE(dynamic_cast<const Enc::Error*>(e.error().get()), nullptr) << e.what();
        }
    };
    expectRootError([](Encoder& e) { e.singleValueContainer()->encode(std::string("x")); }, Enc());
    expectRootError([](Encoder& e) { e.unkeyedContainer()->encode(1); }, Enc());
    auto rootNil = [](Encoder& e) { e.singleValueContainer()->encodeNil(); };
    Enc dropValue(true, Enc::ArrayEncoding::brackets(), Enc::BoolEncoding::numeric, Enc::DataEncoding::base64(),
                  Enc::DateEncoding::deferredToDate(), Enc::KeyEncoding::useDefaultKeys(),
                  Enc::KeyPathEncoding::brackets(), Enc::NilEncoding::dropValue());
    expectRootError(rootNil, dropValue);
    EXPECT_EQ(form(rootNil, Enc()), "");
    EXPECT_EQ(form([](Encoder& e) { e.unkeyedContainer(); }, Enc()), "");
    EXPECT_TRUE(Enc().encodeData(Steps{[](Encoder&) {}}).isEmpty());

    // A second value through one single-value container fails; the first stays.
    Enc encoder;
    auto context = encoder.encodeComponent(Steps{[](Encoder& e) {
        auto single = e.container()->valueContainer("k");
        single->encode(std::string("1"));
        try {
            single->encode(std::string("2"));
            ADD_FAILURE() << "no error";
        } catch (const platform::ErrorException& ex) {
            auto error = std::dynamic_pointer_cast<const platform::EncodingError>(ex.error());
            ASSERT_TRUE(error);
            EXPECT_EQ(error->context().debugDescription,
                      "Attempt to encode value through single value container when previously value already "
                      "encoded.");
            EXPECT_EQ(error->context().codingPath, platform::CodingPath{CodingKey("k")});
        }
    }});
    ASSERT_TRUE(context.object());
    EXPECT_EQ(*context.object()->at(0).value.stringValue(), "1");
}

TEST(URLEncodedFormEncoder, PythonParsesWhatWeWrite) {
    std::map<std::string, std::string> fields{
        {"plain", "abc"}, {"spaces and+plus", "a b+c"}, {"unicode", "Grüße 日本"}, {"symbols", "&=?/#%[]"}};
    Enc plus(true, Enc::ArrayEncoding::brackets(), Enc::BoolEncoding::numeric, Enc::DataEncoding::base64(),
             Enc::DateEncoding::deferredToDate(), Enc::KeyEncoding::useDefaultKeys(), Enc::KeyPathEncoding::brackets(),
             Enc::NilEncoding::dropKey(), Enc::SpaceEncoding::plusReplaced);
    for (const Enc* encoder : std::vector<const Enc*>{nullptr, &plus}) {
        std::string text = encoder ? encoder->encode(fields) : Enc().encode(fields);
        testing_support::TempDir dir;
        testing_support::writeFile(dir / "body", text);
        int status = 0;
        std::string parsed = testing_support::runCommand("python3 -c 'import sys,urllib.parse\n"
                                                         "for k,v in urllib.parse.parse_qsl(open(sys.argv[1]).read(), "
                                                         "keep_blank_values=True, strict_parsing=True):\n"
                                                         "    print(k + \"\\t\" + v)' " +
                                                             (dir / "body").string(),
                                                         &status);
        ASSERT_EQ(status, 0) << text;
        std::string expected;
        for (const auto& [k, v] : fields) expected += k + "\t" + v + "\n";
        EXPECT_EQ(parsed, expected) << text;
    }
}

// Each write goes into the existing node in place, so a long list is built in linear time
// (copying the path's subtree on every write took minutes for this size).
TEST(URLEncodedFormEncoder, BuildsALongListInLinearTime) {
    std::vector<int> numbers(100000);
    for (std::size_t i = 0; i < numbers.size(); ++i) numbers[i] = static_cast<int>(i);
    auto started = std::chrono::steady_clock::now();
    std::string text = form([&](Encoder& e) { e.container()->encode(numbers, "n"); }, unsorted());
    auto elapsed = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(text.rfind("n%5B%5D=0&n%5B%5D=1&", 0), 0u);
    EXPECT_EQ(text.substr(text.size() - 14), "&n%5B%5D=99999") << text.substr(text.size() - 40);
    // The quadratic tree this guards against took minutes for this list; a linear one takes
    // milliseconds, and a bound of the fault's scale holds under sanitizers and load too.
    EXPECT_LT(elapsed, std::chrono::seconds(30));
}

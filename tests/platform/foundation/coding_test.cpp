// The coding layer through the JSON encoder and decoder: containers, strategies, errors.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/foundation/JSONDecoder.h"
#include "platform/foundation/JSONEncoder.h"

using namespace platform;

namespace {
struct Address {
    std::string city;
    int zip = 0;
    void encode(Encoder& e) const {
        auto c = e.container();
        c->encode(city, "city");
        c->encode(zip, "zip");
    }
    static Address decode(Decoder& d) {
        auto c = d.container();
        return {c->decode<std::string>("city"), c->decode<int>("zip")};
    }
    friend bool operator==(const Address&, const Address&) = default;
};

struct Person {
    std::string userName;
    std::optional<std::string> nickName;
    std::vector<Address> homeAddresses;
    std::map<std::string, double> scores;
    Date lastSeen;
    Data avatar;
    bool isAdmin = false;
    void encode(Encoder& e) const {
        auto c = e.container();
        c->encode(userName, "userName");
        c->encodeIfPresent(nickName, "nickName");
        c->encode(homeAddresses, "homeAddresses");
        c->encode(scores, "scores");
        c->encode(lastSeen, "lastSeen");
        c->encode(avatar, "avatar");
        c->encode(isAdmin, "isAdmin");
    }
    static Person decode(Decoder& d) {
        auto c = d.container();
        Person p;
        p.userName = c->decode<std::string>("userName");
        p.nickName = c->decodeIfPresent<std::string>("nickName");
        p.homeAddresses = c->decode<std::vector<Address>>("homeAddresses");
        p.scores = c->decode<std::map<std::string, double>>("scores");
        p.lastSeen = c->decode<Date>("lastSeen");
        p.avatar = c->decode<Data>("avatar");
        p.isAdmin = c->decode<bool>("isAdmin");
        return p;
    }
    friend bool operator==(const Person&, const Person&) = default;
};

Person samplePerson() {
    return {"ann",
            std::nullopt,
            {{"Oslo", 150}},
            {{"math", 9.5}},
            Date::fromTimeIntervalSince1970(1),
            Data::fromString(std::string("\x00\xFF", 2)),
            true};
}

std::string text(const Data& d) { return d.toString(); }

ErrorPtr caught(const std::function<void()>& f) {
    try {
        f();
    } catch (const ErrorException& e) {
        return e.error();
    }
    return nullptr;
}
}  // namespace

// A type coded through free functions found by argument-dependent lookup.
namespace colors {
struct RGB {
    int r = 0, g = 0, b = 0;
    friend bool operator==(const RGB&, const RGB&) = default;
};
void encode(platform::Encoder& e, const RGB& c) {
    auto u = e.unkeyedContainer();
    u->encode(c.r);
    u->encode(c.g);
    u->encode(c.b);
}
RGB decode(platform::Decoder& d, std::type_identity<RGB>) {
    auto u = d.unkeyedContainer();
    return {u->decode<int>(), u->decode<int>(), u->decode<int>()};
}
}  // namespace colors

TEST(JSONCodingTest, EncodesWithDefaultStrategies) {
    JSONEncoder encoder;
    EXPECT_EQ(text(encoder.encode(samplePerson())),
              "{\"avatar\":\"AP8=\",\"homeAddresses\":[{\"city\":\"Oslo\",\"zip\":150}],\"isAdmin\":true,"
              "\"lastSeen\":-978307199,\"scores\":{\"math\":9.5},\"userName\":\"ann\"}");
    EXPECT_EQ(text(encoder.encode(std::vector<colors::RGB>{{1, 2, 3}})), "[[1,2,3]]");
    EXPECT_EQ(text(encoder.encode(std::string("a/b"))), "\"a\\/b\"");
    encoder.outputFormatting = JSONOutputFormatting::withoutEscapingSlashes | JSONOutputFormatting::prettyPrinted;
    EXPECT_EQ(text(encoder.encode(std::map<std::string, std::string>{{"u", "a/b"}})), "{\n  \"u\" : \"a/b\"\n}");
}

TEST(JSONCodingTest, RoundTripsThroughEveryStrategyPair) {
    auto formatter = std::make_shared<DateFormatter>();
    formatter->setDateFormat("yyyy-MM-dd HH:mm:ss.SSS");
    formatter->setTimeZone(TimeZone::gmt());
    struct Case {
        JSONEncoder::DateEncodingStrategy enc;
        JSONDecoder::DateDecodingStrategy dec;
        const char* written;
    } cases[] = {
        {JSONEncoder::DateEncodingStrategy::deferredToDate(), JSONDecoder::DateDecodingStrategy::deferredToDate(),
         "-978307199"},
        {JSONEncoder::DateEncodingStrategy::secondsSince1970(), JSONDecoder::DateDecodingStrategy::secondsSince1970(),
         "1"},
        {JSONEncoder::DateEncodingStrategy::millisecondsSince1970(),
         JSONDecoder::DateDecodingStrategy::millisecondsSince1970(), "1000"},
        {JSONEncoder::DateEncodingStrategy::iso8601(), JSONDecoder::DateDecodingStrategy::iso8601(),
         "\"1970-01-01T00:00:01Z\""},
        {JSONEncoder::DateEncodingStrategy::formatted(formatter),
         JSONDecoder::DateDecodingStrategy::formatted(formatter), "\"1970-01-01 00:00:01.000\""},
    };
    for (const auto& c : cases) {
        JSONEncoder encoder;
        encoder.keyEncodingStrategy = JSONEncoder::KeyEncodingStrategy::convertToSnakeCase;
        encoder.dateEncodingStrategy = c.enc;
        JSONDecoder decoder;
        decoder.keyDecodingStrategy = JSONDecoder::KeyDecodingStrategy::convertFromSnakeCase;
        decoder.dateDecodingStrategy = c.dec;
        std::string json = text(encoder.encode(samplePerson()));
        EXPECT_NE(json.find("\"last_seen\":" + std::string(c.written)), std::string::npos) << json;
        EXPECT_NE(json.find("\"home_addresses\""), std::string::npos) << json;
        EXPECT_EQ(decoder.decode<Person>(Data::fromString(json)), samplePerson()) << json;
    }
    JSONEncoder bytes;
    bytes.dataEncodingStrategy = JSONEncoder::DataEncodingStrategy::deferredToData;
    EXPECT_EQ(text(bytes.encode(Data::fromString("\x01\x02"))), "[1,2]");
    JSONDecoder byteReader;
    byteReader.dataDecodingStrategy = JSONDecoder::DataDecodingStrategy::deferredToData;
    EXPECT_EQ(byteReader.decode<Data>(std::string_view("[1,2]")), Data::fromString("\x01\x02"));
}

TEST(JSONCodingTest, SnakeCaseKeys) {
    std::pair<const char*, const char*> cases[] = {
        {"myProperty", "my_property"},    {"myURLProperty", "my_url_property"}, {"userID", "user_id"},
        {"isJSONValid", "is_json_valid"}, {"user2Name", "user2_name"},          {"URLValue", "url_value"},
        {"_leading", "_leading"},         {"trailing__", "trailing__"},         {"", ""},
    };
    for (auto [in, out] : cases) EXPECT_EQ(convertToSnakeCase(in), out) << in;
    EXPECT_EQ(convertFromSnakeCase("my_url_property"), "myUrlProperty");
    EXPECT_EQ(convertFromSnakeCase("_private_key_"), "_privateKey_");
}

TEST(JSONCodingTest, DecodingErrorsNameThePathAndTheProblem) {
    JSONDecoder decoder;
    struct Case {
        std::function<void()> run;
        DecodingError::Case kind;
        const char* path;
        const char* debug;
    } cases[] = {
        {[&] { decoder.decode<Address>(std::string_view("{\"city\":\"x\"}")); }, DecodingError::Case::keyNotFound, "",
         "No value associated with key CodingKeys(stringValue: \"zip\", intValue: nil) (\"zip\")."},
        {[&] { decoder.decode<Address>(std::string_view("{\"city\":1,\"zip\":2}")); },
         DecodingError::Case::typeMismatch, "city", "Expected to decode String but found a number instead."},
        {[&] { decoder.decode<std::vector<Address>>(std::string_view("[{\"city\":\"x\",\"zip\":null}]")); },
         DecodingError::Case::valueNotFound, "Index 0.zip", "Expected Int value but found null instead."},
        {[&] { decoder.decode<std::vector<std::int8_t>>(std::string_view("[1,300]")); },
         DecodingError::Case::dataCorrupted, "Index 1", "Parsed JSON number <300> does not fit in Int8."},
        {[&] { decoder.decode<int>(std::string_view("1.5")); }, DecodingError::Case::dataCorrupted, "",
         "Parsed JSON number <1.5> does not fit in Int."},
        {[&] { decoder.decode<colors::RGB>(std::string_view("[1,2]")); }, DecodingError::Case::valueNotFound, "Index 2",
         "Unkeyed container is at end."},
        {[&] { decoder.decode<Address>(std::string_view("{\"city\":")); }, DecodingError::Case::dataCorrupted, "",
         "The given data was not valid JSON."},
        {[&] { decoder.decode<bool>(std::string_view("1")); }, DecodingError::Case::typeMismatch, "",
         "Expected to decode Bool but found a number instead."},
    };
    for (const auto& c : cases) {
        auto error = std::dynamic_pointer_cast<const DecodingError>(caught(c.run));
        ASSERT_TRUE(error) << c.debug;
        EXPECT_EQ(error->kind(), c.kind) << c.debug;
        EXPECT_EQ(codingPathText(error->context().codingPath), c.path) << c.debug;
        EXPECT_EQ(error->context().debugDescription, c.debug);
        EXPECT_EQ(error->domain(), NSCocoaErrorDomain);
    }
    auto invalid =
        std::dynamic_pointer_cast<const DecodingError>(caught([&] { decoder.decode<int>(std::string_view("{")); }));
    ASSERT_TRUE(invalid && invalid->underlyingError());
    EXPECT_EQ(invalid->underlyingError()->code(), 3840);
    EXPECT_EQ(decoder.decodeResult<int>(Data::fromString("7")).value(), 7);
    EXPECT_TRUE(decoder.decodeResult<int>(Data::fromString("x")).isFailure());
}

TEST(JSONCodingTest, EncodingErrors) {
    JSONEncoder encoder;
    auto nan = std::dynamic_pointer_cast<const EncodingError>(caught([&] {
        encoder.encode(std::map<std::string, double>{{"x", std::nan("")}});
    }));
    ASSERT_TRUE(nan);
    EXPECT_EQ(codingPathText(nan->context().codingPath), "x");
    EXPECT_EQ(nan->code(), 4866);

    struct Twice {
        void encode(Encoder& e) const {
            auto c = e.singleValueContainer();
            c->encode(1);
            c->encode(2);
        }
    };
    auto twice = std::dynamic_pointer_cast<const EncodingError>(caught([&] { encoder.encode(Twice{}); }));
    ASSERT_TRUE(twice);
    EXPECT_EQ(twice->context().debugDescription,
              "Attempt to encode value through single value container when previously value already encoded.");
}

TEST(JSONCodingTest, OptionalsNestedContainersAndAnyValues) {
    struct Box {
        std::optional<int> a, b;
        void encode(Encoder& e) const {
            auto c = e.container();
            c->encode(a, "a");           // written as null when absent
            c->encodeIfPresent(b, "b");  // left out when absent
            auto inner = c->nestedContainer("inner");
            inner->encode(std::vector<std::optional<int>>{1, std::nullopt}, "list");
        }
    };
    JSONEncoder encoder;
    EXPECT_EQ(text(encoder.encode(Box{})), "{\"a\":null,\"inner\":{\"list\":[1,null]}}");
    JSONDecoder decoder;
    Value any = decoder.decode<Value>(std::string_view("{\"k\":[1,\"x\",null,true]}"));
    EXPECT_EQ(any["k"], Value(Value::Array{Value(1), Value("x"), Value(), Value(true)}));
    EXPECT_EQ(text(encoder.encode(any)), "{\"k\":[1,\"x\",null,true]}");
    auto m = decoder.decode<std::map<int, std::string>>(std::string_view("{\"5\":\"x\",\"-1\":\"y\"}"));
    EXPECT_EQ(m, (std::map<int, std::string>{{5, "x"}, {-1, "y"}}));
    EXPECT_EQ(decoder.decode<std::optional<int>>(std::string_view("null")), std::nullopt);
}

// Serializers over the empty-body rules, preprocessing, charsets, downloaded files and
// errors passed in; the stream serializers; the type-erased form.
#include "Hawser/ResponseSerialization.h"

#include <gtest/gtest.h>

#include "platform/foundation/JSONEncoder.h"
#include "platform/foundation/TextForms.h"
#include "tests/support/TempDir.h"

using namespace Hawser;
using platform::Data;
using platform::Value;
using Reason = ResponseSerializationFailureReason;

namespace {

struct Thing {
    int a = 0;
    static Thing decode(platform::Decoder& decoder) { return Thing{decoder.container()->decode<int>("a")}; }
};

OptionalRequest requestWith(const char* method) {
    platform::URLRequest request(platform::URL::parse("https://example.com/a"));
    request.setHTTPMethod(std::string(method));
    return request;
}

platform::HTTPURLResponsePtr responseWith(int status, std::optional<std::string> contentType = std::nullopt) {
    platform::HTTPHeaderFields fields;
    if (contentType) fields.set("Content-Type", *contentType);
    return std::make_shared<platform::HTTPURLResponse>(*platform::URL::parse("https://example.com/a"), status,
                                                       "HTTP/1.1", fields);
}

// What one serialization gave: the value's text, or the error it threw.
struct Outcome {
    std::optional<std::string> value;
    ErrorPtr error;
    std::shared_ptr<const HWError> hw() const { return asHWError(error); }
    // The case index of the serialization reason, or -1.
    int reason() const {
        auto e = hw();
        if (!e || !e->isResponseSerializationError()) return -1;
        return static_cast<int>(e->as<HWError::ResponseSerializationFailed>()->reason.index());
    }
};

template <class F>
Outcome run(F&& f) {
    try {
        return {f(), nullptr};
    } catch (const platform::ErrorException& e) {
        return {std::nullopt, e.error()};
    }
}

std::string text(const Data& d) { return "data:" + d.toString(); }
std::string text(const std::string& s) { return "text:" + s; }
std::string text(const Value& v) { return "json:" + platform::valueText(v, true); }
std::string text(const Empty&) { return "Empty"; }
std::string text(const Thing& t) { return "Thing:" + std::to_string(t.a); }
std::string text(const platform::URL& u) { return "url:" + u.absoluteString(); }

// Each body serializer on the same input, outcomes in a fixed order.
std::vector<Outcome> allSerializers(const OptionalRequest& request, const platform::HTTPURLResponsePtr& response,
                                    const OptionalData& data, const ErrorPtr& error = nullptr,
                                    DataPreprocessorPtr preprocessor = nullptr) {
    auto p = preprocessor ? preprocessor : ResponseSerializerBase::defaultDataPreprocessor();
    return {
        run([&] { return text(DataResponseSerializer(p).serialize(request, response, data, error)); }),
        run([&] { return text(StringResponseSerializer(p).serialize(request, response, data, error)); }),
        run([&] { return text(JSONResponseSerializer(p).serialize(request, response, data, error)); }),
        run([&] { return text(DecodableResponseSerializer<Empty>(p).serialize(request, response, data, error)); }),
        run([&] { return text(DecodableResponseSerializer<Thing>(p).serialize(request, response, data, error)); }),
    };
}

const int nilOrZero = 6, invalidEmpty = 5, jsonFailed = 2, decodingFailed = 3, stringFailed = 1, fileNil = 7,
          fileReadFailed = 0;

}  // namespace

TEST(ResponseSerialization, EmptyBodiesFollowTheMethodAndStatusRules) {
    struct Row {
        const char* what;
        OptionalRequest request;
        platform::HTTPURLResponsePtr response;
        OptionalData data;
        bool allowed;
    };
    const std::vector<Row> rows = {
        {"HEAD with 200", requestWith("HEAD"), responseWith(200), std::nullopt, true},
        {"204 to a GET", requestWith("GET"), responseWith(204), std::nullopt, true},
        {"205 with an empty body", requestWith("POST"), responseWith(205), Data(), true},
        {"200 to a GET", requestWith("GET"), responseWith(200), Data(), false},
        {"lower-case head", requestWith("head"), responseWith(200), std::nullopt, false},
        {"nothing at all", std::nullopt, nullptr, std::nullopt, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        auto out = allSerializers(row.request, row.response, row.data);
        if (row.allowed) {
            EXPECT_EQ(out[0].value, "data:");
            EXPECT_EQ(out[1].value, "text:");
            EXPECT_EQ(out[2].value, "json:<null>");
            EXPECT_EQ(out[3].value, "Empty");
            EXPECT_EQ(out[4].reason(), invalidEmpty);  // Thing has no empty value of its own
            EXPECT_EQ(out[4].hw()->errorDescription(),
                      "Empty response could not be serialized to type: Thing. Use Empty as the expected type for such "
                      "responses.");
        } else {
            for (const auto& o : out) EXPECT_EQ(o.reason(), nilOrZero);
        }
    }
}

// A request without a method of its own gives the method rule no answer, even where GET
// (what it would be sent as) allows an empty body.
TEST(ResponseSerialization, ARequestWithoutAMethodGivesTheMethodRuleNoAnswer) {
    const DataResponseSerializer getAllowsEmpty(ResponseSerializerBase::defaultDataPreprocessor(), {},
                                                {HTTPMethod("GET")});
    const OptionalRequest withoutMethod = platform::URLRequest(platform::URL::parse("https://example.com/a"));
    EXPECT_EQ(getAllowsEmpty.requestAllowsEmptyResponseData(withoutMethod), std::nullopt);
    EXPECT_EQ(getAllowsEmpty.requestAllowsEmptyResponseData(requestWith("GET")), true);
    EXPECT_EQ(getAllowsEmpty.requestAllowsEmptyResponseData(std::nullopt), std::nullopt);
    EXPECT_FALSE(getAllowsEmpty.emptyResponseAllowed(withoutMethod, responseWith(200)));
}

TEST(ResponseSerialization, AnErrorPassedInComesBackUnchangedBeforeTheBody) {
    const ErrorPtr transfer = platform::NSError::withDescription("Test", 1, "transfer failed");
    for (const auto& o : allSerializers(requestWith("GET"), responseWith(200), Data::fromString("{\"a\":1}"), transfer))
        EXPECT_EQ(o.error, transfer);
    EXPECT_EQ(run([&] {
                  return text(URLResponseSerializer().serializeDownload(std::nullopt, nullptr,
                                                                        platform::URL::parse("file:///x"), transfer));
              }).error,
              transfer);
}

TEST(ResponseSerialization, XSSIPrefixIsRemovedOnceAndOnlyAtTheStart) {
    auto xssi = std::make_shared<GoogleXSSIPreprocessor>();
    auto onlyPrefix = allSerializers(requestWith("GET"), responseWith(200), Data::fromString(")]}',\n"), nullptr, xssi);
    EXPECT_EQ(onlyPrefix[0].value, "data:");  // no empty-body failure after preprocessing
    EXPECT_EQ(onlyPrefix[1].value, "text:");
    EXPECT_EQ(onlyPrefix[2].reason(), jsonFailed);
    EXPECT_EQ(onlyPrefix[4].reason(), decodingFailed);

    auto json =
        allSerializers(requestWith("GET"), responseWith(200), Data::fromString(")]}',\n{\"a\":7}"), nullptr, xssi);
    EXPECT_EQ(json[2].value, "json:[\"a\": 7]");
    EXPECT_EQ(json[4].value, "Thing:7");

    const std::vector<std::pair<std::string, std::string>> kept = {
        {")]}',", ")]}',"},
        {"x)]}',\n", "x)]}',\n"},
        {")]}',\n)]}',\n", ")]}',\n"},
    };
    for (const auto& [input, output] : kept)
        EXPECT_EQ(xssi->preprocess(Data::fromString(input)).toString(), output) << input;
}

TEST(ResponseSerialization, TextEncodingComesFromSerializerThenCharsetThenLatin1) {
    const Data utf8 = Data::fromString("caf\xC3\xA9");
    struct Row {
        std::optional<platform::StringEncoding> encoding;
        std::optional<std::string> contentType;
        Data body;
        std::optional<std::string> text;
        std::optional<std::string> failedEncoding;
    };
    const std::vector<Row> rows = {
        {std::nullopt, "text/plain; charset=utf-8", utf8, "caf\xC3\xA9", std::nullopt},
        {std::nullopt, "text/plain; charset=windows-1252", utf8, "caf\xC3\x83\xC2\xA9", std::nullopt},
        {std::nullopt, "text/plain", utf8, "caf\xC3\x83\xC2\xA9", std::nullopt},
        {std::nullopt, "text/plain; charset=utf-8", Data::fromString("\xFF"), std::nullopt, "UTF-8"},
        {platform::StringEncoding::utf8(), "text/plain; charset=iso-8859-1", utf8, "caf\xC3\xA9", std::nullopt},
        {platform::StringEncoding::utf16LittleEndian(), std::nullopt, Data::fromString(std::string("h\0i\0", 4)), "hi",
         std::nullopt},
    };
    for (const auto& row : rows) {
        auto o = run([&] {
            return StringResponseSerializer(nullptr, row.encoding)
                .serialize(requestWith("GET"), responseWith(200, row.contentType), row.body, nullptr);
        });
        EXPECT_EQ(o.value, row.text);
        if (row.failedEncoding) {
            ASSERT_EQ(o.reason(), stringFailed);
            EXPECT_EQ(o.hw()->failedStringEncoding()->name(), *row.failedEncoding);
        }
    }
}

TEST(ResponseSerialization, DecodingAndJSONFailuresCarryTheParserError) {
    auto json = run([] {
        return text(
            JSONResponseSerializer().serialize(requestWith("GET"), responseWith(200), Data::fromString("{"), nullptr));
    });
    ASSERT_EQ(json.reason(), jsonFailed);
    EXPECT_TRUE(json.hw()->underlyingError());
    auto decoded = run([] {
        return text(DecodableResponseSerializer<Thing>().serialize(requestWith("GET"), responseWith(200),
                                                                   Data::fromString("{\"b\":1}"), nullptr));
    });
    ASSERT_EQ(decoded.reason(), decodingFailed);
    EXPECT_TRUE(decoded.hw()->underlyingError());
    EXPECT_EQ(platform::JSONEncoder().encode(Empty()).toString(), "{}");
}

TEST(ResponseSerialization, DownloadsAreReadWholeOrFailWithTheFileReason) {
    testing_support::TempDir dir;
    testing_support::writeFile(dir / "body.json", "{\"a\":3}");
    testing_support::writeFile(dir / "empty", "");
    auto file = [&](const char* name) { return platform::URL::fileURL((dir / name).string(), false); };
    auto missing = file("missing");

    auto thing = DecodableResponseSerializer<Thing>();
    EXPECT_EQ(run([&] {
                  return text(
                      thing.serializeDownload(requestWith("GET"), responseWith(200), file("body.json"), nullptr));
              }).value,
              "Thing:3");
    EXPECT_EQ(run([&] {
                  return text(DataResponseSerializer().serializeDownload(requestWith("HEAD"), responseWith(200),
                                                                         file("empty"), nullptr));
              }).value,
              "data:");
    EXPECT_EQ(run([&] {
                  return text(DataResponseSerializer().serializeDownload(requestWith("GET"), responseWith(200),
                                                                         file("empty"), nullptr));
              }).reason(),
              nilOrZero);
    EXPECT_EQ(run([&] { return text(thing.serializeDownload(std::nullopt, nullptr, std::nullopt, nullptr)); }).reason(),
              fileNil);

    auto unread = run([&] { return text(thing.serializeDownload(std::nullopt, nullptr, missing, nullptr)); });
    ASSERT_EQ(unread.reason(), fileReadFailed);
    EXPECT_EQ(unread.hw()->errorDescription(),
              "Response could not be serialized, input file could not be read: " + missing.absoluteString() + ".");

    // The URL serializer never opens the file.
    EXPECT_EQ(run([&] {
                  return text(URLResponseSerializer().serializeDownload(std::nullopt, nullptr, missing, nullptr));
              }).value,
              "url:" + missing.absoluteString());
    EXPECT_EQ(run([&] {
                  return text(URLResponseSerializer().serializeDownload(std::nullopt, nullptr, std::nullopt, nullptr));
              }).reason(),
              fileNil);
}

TEST(ResponseSerialization, StreamSerializersWorkOneChunkAtATime) {
    // A character split across chunks is not rejoined.
    EXPECT_EQ(StringStreamSerializer().serialize(Data::fromString("a\xC3")), "a\xEF\xBF\xBD");
    EXPECT_EQ(PassthroughStreamSerializer().serialize(Data::fromString("raw")).toString(), "raw");

    DecodableStreamSerializer<Thing> things;
    EXPECT_EQ(things.serialize(Data::fromString("{\"a\":2}")).a, 2);
    auto empty = run([&] { return text(things.serialize(Data())); });  // no empty-body rule for chunks
    EXPECT_EQ(empty.reason(), decodingFailed);
}

static_assert(ResponseSerializer<DataResponseSerializer> && ResponseSerializer<StringResponseSerializer> &&
              ResponseSerializer<JSONResponseSerializer> && ResponseSerializer<DecodableResponseSerializer<Empty>>);
static_assert(!ResponseSerializer<URLResponseSerializer> && DownloadResponseSerializerProtocol<URLResponseSerializer>);

TEST(ResponseSerialization, TypeErasedSerializersForwardToTheirSerializer) {
    AnyDataResponseSerializer<Value> json = JSONResponseSerializer();
    EXPECT_EQ(json.serialize(requestWith("GET"), responseWith(200), Data::fromString("[1]"), nullptr),
              Value(Value::Array{1}));
    AnyDownloadResponseSerializer<platform::URL> urls = URLResponseSerializer();
    auto u = platform::URL::parse("file:///tmp/x");
    EXPECT_EQ(urls.serializeDownload(std::nullopt, nullptr, u, nullptr), *u);
    AnyDataStreamSerializer<std::string> strings = StringStreamSerializer();
    EXPECT_EQ(strings.serialize(Data::fromString("s")), "s");
}

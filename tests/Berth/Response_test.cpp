// Responses: status filters, body mappings (JSON fragments, key paths, empty bodies),
// equality, and the provider error's descriptions, codes and payloads.
#include <gtest/gtest.h>

#include <fstream>
#include <optional>

#include "Berth/Response.h"
#include "Hawser/HWError.h"
#include "platform/foundation/CodingError.h"
#include "tests/support/TempDir.h"

using namespace Berth;
using platform::Data;
using platform::Value;

namespace {

ResponsePtr make(std::int64_t status, std::string body = "") {
    return Response::create(status, Data::fromString(body));
}

// The BerthError a call throws; none when it does not throw.
template <class F>
std::optional<BerthError> thrown(F&& f) {
    try {
        f();
    } catch (const platform::ErrorException& e) {
        auto error = asBerthError(e.error());
        if (error) return *error;
        ADD_FAILURE() << "not a BerthError: " << e.error()->debugDescription();
    }
    return std::nullopt;
}

struct Optionals {
    std::optional<std::string> name;
    std::optional<int> count;
    static Optionals decode(platform::Decoder& d) {
        auto c = d.container();
        return {c->decodeIfPresent<std::string>("name"), c->decodeIfPresent<int>("count")};
    }
};

}  // namespace

TEST(ResponseFilters, AcceptOrRejectByRangeCarryingTheSameResponse) {
    struct Case {
        std::int64_t status;
        std::function<ResponsePtr(const ResponsePtr&)> filter;
        bool passes;
    };
    auto ok = [](const ResponsePtr& r) { return r->filterSuccessfulStatusCodes(); };
    auto okOrRedirect = [](const ResponsePtr& r) { return r->filterSuccessfulStatusAndRedirectCodes(); };
    auto halfOpen = [](const ResponsePtr& r) { return r->filterHalfOpen(200, 300); };
    auto closed = [](const ResponsePtr& r) { return r->filter(200, 300); };
    auto exact = [](const ResponsePtr& r) { return r->filter(204); };
    auto from = [](const ResponsePtr& r) { return r->filterFrom(500); };
    auto through = [](const ResponsePtr& r) { return r->filterThrough(299); };
    const Case cases[] = {
        {299, ok, true},           {300, ok, false},           {199, ok, false},
        {399, okOrRedirect, true}, {400, okOrRedirect, false}, {199, okOrRedirect, false},
        {300, halfOpen, false},    {300, closed, true},        {204, exact, true},
        {200, exact, false},       {503, from, true},          {499, from, false},
        {299, through, true},      {300, through, false},
    };
    for (const auto& c : cases) {
        auto response = make(c.status, "body");
        auto error = thrown([&] { EXPECT_EQ(c.filter(response), response); });
        EXPECT_EQ(!error.has_value(), c.passes) << c.status;
        if (error) {
            EXPECT_TRUE(error->is<BerthError::StatusCode>());
            EXPECT_EQ(error->response(), response) << "the error carries the response itself";
        }
    }
}

TEST(ResponseMapping, JSONAcceptsFragmentsAndTreatsEmptyBodiesByFlag) {
    EXPECT_EQ(make(200, "42")->mapJSON(), Value(42));
    EXPECT_EQ(make(200, "\"text\"")->mapJSON(), Value("text"));
    EXPECT_EQ(make(200, "{\"a\":[1,true]}")->mapJSON()["a"], Value(Value::Array{1, true}));
    EXPECT_TRUE(make(200, "")->mapJSON(false).isNull());

    auto empty = make(200, "");
    auto error = thrown([&] { empty->mapJSON(true); });
    ASSERT_TRUE(error);
    EXPECT_TRUE(error->is<BerthError::JSONMapping>());
    EXPECT_EQ(error->response(), empty);
    EXPECT_TRUE(thrown([] { make(200, "{oops")->mapJSON(false); })->is<BerthError::JSONMapping>());
}

TEST(ResponseMapping, StringsWithAndWithoutKeyPaths) {
    EXPECT_EQ(make(200, "")->mapString(), "");
    EXPECT_EQ(make(200, "plain")->mapString(), "plain");
    const std::string nested = R"({"outer":{"inner":"found","number":3}})";
    EXPECT_EQ(make(200, nested)->mapString("outer.inner"), "found");

    EXPECT_TRUE(thrown([&] { make(200, nested)->mapString("outer.number"); })->is<BerthError::StringMapping>());
    EXPECT_TRUE(thrown([&] { make(200, nested)->mapString("outer.missing"); })->is<BerthError::StringMapping>());
    EXPECT_TRUE(thrown([] { make(200, "[1]")->mapString("a"); })->is<BerthError::StringMapping>());
    EXPECT_TRUE(thrown([] { make(200, "not json")->mapString("a"); })->is<BerthError::JSONMapping>());
    EXPECT_TRUE(thrown([] {
                    Response::create(200, Data(std::vector<std::uint8_t>{0xff, 0xfe}))->mapString();
                })->is<BerthError::StringMapping>());
}

TEST(ResponseMapping, DecodingAtKeyPathsFragmentsAndEmptyBodies) {
    const std::string body = R"({"data":{"count":7,"name":"n","items":[1,2]},"flag":"x"})";
    // A bare number at a key path goes through the one-key wrapper.
    EXPECT_EQ(make(200, body)->map<int>("data.count"), 7);
    EXPECT_EQ(make(200, body)->map<std::vector<int>>("data.items"), (std::vector<int>{1, 2}));
    auto mismatch = thrown([&] { make(200, body)->map<int>("flag"); });
    ASSERT_TRUE(mismatch);
    EXPECT_TRUE(mismatch->is<BerthError::ObjectMapping>());
    EXPECT_TRUE(mismatch->underlyingError()) << "the decoder's error travels with the response";
    EXPECT_TRUE(mismatch->response());

    auto record = make(200, body)->map<Optionals>("data");
    EXPECT_EQ(record.name, "n");
    EXPECT_EQ(record.count, 7);

    // An absent key path decodes the whole body unless empty data fails.
    auto whole = make(200, R"({"name":"top"})")->map<Optionals>("missing", platform::JSONDecoder(), false);
    EXPECT_EQ(whole.name, "top");
    EXPECT_TRUE(
        thrown([] { make(200, R"({"name":"top"})")->map<Optionals>("missing"); })->is<BerthError::JSONMapping>());

    // Empty bodies: an all-optional record from "{}", a list of them from "[{}]".
    auto fromEmpty = make(200, "")->map<Optionals>(std::nullopt, platform::JSONDecoder(), false);
    EXPECT_FALSE(fromEmpty.name);
    EXPECT_EQ(make(200, "")->map<std::vector<Optionals>>(std::nullopt, platform::JSONDecoder(), false).size(), 1u);
    EXPECT_TRUE(thrown([] { make(200, "")->map<Optionals>(); })->is<BerthError::ObjectMapping>());
}

TEST(ResponseMapping, ImagesFromPNGBytesOrImageMapping) {
    testing_support::TempDir dir;
    auto png = dir / "dot.png";
    auto image = platform::NSImage::imageWithSize({2, 3});
    ASSERT_TRUE(image->writePNG(png.string()));
    std::ifstream in(png, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto mapped = make(200, bytes)->mapImage();
    ASSERT_TRUE(mapped);
    EXPECT_EQ(mapped->pixelSize().width, 2);
    EXPECT_TRUE(thrown([] { make(200, "not an image")->mapImage(); })->is<BerthError::ImageMapping>());
}

TEST(ResponseValue, TextAndEqualityIgnoreTheRequest) {
    EXPECT_EQ(make(404, "hello")->description(), "Status Code: 404, Data Length: 5");
    auto a = Response::create(200, Data::fromString("x"), platform::URLRequest(platform::URL::parse("http://a/")));
    auto b = Response::create(200, Data::fromString("x"), platform::URLRequest(platform::URL::parse("http://b/")));
    EXPECT_EQ(*a, *b);
    EXPECT_FALSE(*a == *make(200, "y"));
    EXPECT_FALSE(*a == *make(201, "x"));
}

TEST(BerthErrorModel, DescriptionsCodesAndPayloads) {
    auto response = make(500, "x");
    auto inner = platform::NSError::withDescription("Inner", 3, "inner trouble");
    struct Case {
        BerthError error;
        std::string description;
        bool hasResponse;
        bool hasUnderlying;
    };
    const Case cases[] = {
        {BerthError::imageMapping(response), "Failed to map data to an Image.", true, false},
        {BerthError::jsonMapping(response), "Failed to map data to JSON.", true, false},
        {BerthError::stringMapping(response), "Failed to map data to a String.", true, false},
        {BerthError::objectMapping(inner, response), "Failed to map data to a Decodable object.", true, true},
        {BerthError::encodableMapping(inner), "Failed to encode Encodable object into data.", false, true},
        {BerthError::statusCode(response), "Status code didn't fall within the given range.", true, false},
        {BerthError::underlying(inner), "inner trouble", false, true},
        {BerthError::requestMapping("::"), "Failed to map Endpoint to a URLRequest.", false, false},
        {BerthError::parameterEncoding(inner), "Failed to encode parameters for URLRequest. inner trouble", false,
         true},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        EXPECT_EQ(c.error.code(), static_cast<std::int64_t>(i));
        EXPECT_EQ(c.error.domain(), "Berth.BerthError");
        EXPECT_EQ(c.error.localizedDescription(), c.description);
        EXPECT_EQ(c.error.response() != nullptr, c.hasResponse) << i;
        EXPECT_EQ(c.error.underlyingError() != nullptr, c.hasUnderlying) << i;
        auto info = c.error.userInfo();
        EXPECT_EQ(info.at(platform::NSLocalizedDescriptionKey), Value(c.description));
        EXPECT_EQ(info.size(), 1u);
    }
    // underlying keeps an engine error's own message, and its optional response.
    auto engine = Hawser::HWError::explicitlyCancelled();
    BerthError wrapped = BerthError::underlying(engine.shared(), response);
    EXPECT_EQ(wrapped.localizedDescription(), engine.errorDescription());
    EXPECT_EQ(wrapped.response(), response);
    EXPECT_TRUE(wrapped.isCancelled());
    EXPECT_EQ(BerthError::requestMapping("bad url").debugDescription(), "requestMapping(\"bad url\")");
}

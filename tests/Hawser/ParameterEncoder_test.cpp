// Typed parameters into requests: placement by method and destination, content types,
// and the errors of each encoder.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>

#include "Hawser/HWError.h"
#include "Hawser/ParameterEncoder.h"

using namespace Hawser;
using platform::URLRequest;

namespace {

URLRequest make(const std::string& url, std::optional<std::string> method) {
    URLRequest request(platform::URL::parse(url));
    request.setHTTPMethod(std::move(method));
    return request;
}

struct Nothing {
    void encode(platform::Encoder& e) const { e.container(); }
};
struct Failing {
    void encode(platform::Encoder& e) const { e.singleValueContainer()->encode(std::string("root")); }
};

HWError thrown(const std::function<void()>& body) {
    try {
        body();
    } catch (const platform::ErrorException& e) {
        if (auto hw = asHWError(e.error())) return *hw;
        ADD_FAILURE() << "not an HWError: " << e.what();
    }
    ADD_FAILURE() << "no error";
    return HWError::explicitlyCancelled();
}

const std::map<std::string, std::string> b2{{"b", "2"}};

}  // namespace

TEST(ParameterEncoder, FormPlacement) {
    struct Case {
        std::string url;
        std::optional<std::string> method;
        URLEncodedFormDestination destination;
        std::string expectedURL;
        std::optional<std::string> expectedBody;
    };
    using D = URLEncodedFormDestination;
    const std::vector<Case> cases{
        {"http://h/p?a=1", "GET", D::methodDependent, "http://h/p?a=1&b=2", std::nullopt},
        {"http://h/p", "DELETE", D::methodDependent, "http://h/p?b=2", std::nullopt},
        {"http://h/p", "HEAD", D::methodDependent, "http://h/p?b=2", std::nullopt},
        {"http://h/p", "POST", D::methodDependent, "http://h/p", "b=2"},
        {"http://h/p", "POST", D::queryString, "http://h/p?b=2", std::nullopt},
        {"http://h/p", "GET", D::httpBody, "http://h/p", "b=2"},
        {"http://h/p", "get", D::methodDependent, "http://h/p", "b=2"},  // method text compared exactly
    };
    for (const auto& c : cases) {
        auto encoder = ParameterEncoder::urlEncodedForm(std::make_shared<URLEncodedFormEncoder>(), c.destination);
        URLRequest out = encoder->encode(b2, make(c.url, c.method));
        EXPECT_EQ(out.url()->absoluteString(), c.expectedURL) << c.url << " " << *c.method;
        if (c.expectedBody) {
            ASSERT_TRUE(out.httpBody());
            EXPECT_EQ(out.httpBody()->toString(), *c.expectedBody);
            EXPECT_EQ(out.value("Content-Type"), "application/x-www-form-urlencoded; charset=utf-8");
        } else {
            EXPECT_FALSE(out.httpBody());
            EXPECT_FALSE(out.value("Content-Type"));
        }
    }

    // Empty form text: no query added, or the existing one kept with a trailing "&".
    auto form = URLEncodedFormParameterEncoder::default_();
    EXPECT_EQ(form->encode(Nothing{}, make("http://h/p", "GET")).url()->absoluteString(), "http://h/p");
    EXPECT_EQ(form->encode(Nothing{}, make("http://h/p?a=1", "GET")).url()->absoluteString(), "http://h/p?a=1&");

    // An existing content type, in any letter case, is kept.
    URLRequest typed = make("http://h/p", "POST");
    typed.setValue("text/plain", "content-type");
    EXPECT_EQ(form->encode(b2, typed).value("Content-Type"), "text/plain");
    EXPECT_EQ(JSONParameterEncoder::default_()->encode(b2, typed).value("Content-Type"), "text/plain");
}

TEST(ParameterEncoder, JSONBodies) {
    const std::map<std::string, int> params{{"b", 1}, {"a", 2}};
    URLRequest out = JSONParameterEncoder::sortedKeys()->encode(params, make("http://h/p", std::nullopt));
    EXPECT_EQ(out.httpBody()->toString(), "{\"a\":2,\"b\":1}");
    EXPECT_EQ(out.value("Content-Type"), "application/json");
    std::string pretty =
        JSONParameterEncoder::prettyPrinted()->encode(params, make("http://h/p", "POST")).httpBody()->toString();
    EXPECT_NE(pretty.find("\n  "), std::string::npos) << pretty;
    std::string plain =
        JSONParameterEncoder::default_()->encode(params, make("http://h/p", "POST")).httpBody()->toString();
    EXPECT_EQ(plain.find('\n'), std::string::npos);

    // A value JSON cannot hold: the encoder's own error, wrapped; the request gets neither a
    // body nor a content type.
    URLRequest request = make("http://h/p", "POST");
    const URLRequest before = request;
    HWError failed = thrown([&] {
        request = ParameterEncoder::json()->encode(std::map<std::string, double>{{"x", NAN}}, request);
    });
    ASSERT_TRUE(failed.isParameterEncodingError()) << failed.errorDescription();
    auto* json =
        failed.as<HWError::ParameterEncodingFailed>()->reason.as<ParameterEncodingFailureReason::JSONEncodingFailed>();
    ASSERT_TRUE(json);
    EXPECT_NE(dynamic_cast<const platform::EncodingError*>(json->error.get()), nullptr);
    EXPECT_EQ(failed.errorDescription().rfind("JSON could not be encoded because of error:\n", 0), 0u);
    EXPECT_TRUE(request == before);
}

TEST(ParameterEncoder, AbsentParametersAndFailures) {
    URLRequest bare;  // no URL, no method
    for (const auto& encoder : {ParameterEncoder::json(), ParameterEncoder::urlEncodedForm()}) {
        URLRequest out = encoder->encode(std::optional<AnyEncodable>(), bare);
        EXPECT_TRUE(out == bare);
    }

    HWError noURL = thrown([&] { ParameterEncoder::urlEncodedForm()->encode(b2, bare); });
    ASSERT_TRUE(noURL.isParameterEncoderError());
    EXPECT_EQ(noURL.as<HWError::ParameterEncoderFailed>()
                  ->reason.as<ParameterEncoderFailureReason::MissingRequiredComponent>()
                  ->component.description(),
              "url");

    HWError noMethod =
        thrown([&] { ParameterEncoder::urlEncodedForm()->encode(b2, make("http://h/p", std::nullopt)); });
    auto* missing = noMethod.as<HWError::ParameterEncoderFailed>()
                        ->reason.as<ParameterEncoderFailureReason::MissingRequiredComponent>();
    ASSERT_TRUE(missing);
    auto* method =
        std::get_if<ParameterEncoderFailureReason::RequiredComponent::HTTPMethodComponent>(&missing->component.kind);
    ASSERT_TRUE(method);
    EXPECT_EQ(method->rawValue, "nil");
    // The JSON encoder does not look at the method.
    EXPECT_NO_THROW(ParameterEncoder::json()->encode(b2, make("http://h/p", std::nullopt)));

    HWError encoderFailed =
        thrown([&] { ParameterEncoder::urlEncodedForm()->encode(Failing{}, make("http://h/p", "POST")); });
    auto* failed =
        encoderFailed.as<HWError::ParameterEncoderFailed>()->reason.as<ParameterEncoderFailureReason::EncoderFailed>();
    ASSERT_TRUE(failed);
    EXPECT_NE(dynamic_cast<const URLEncodedFormEncoder::Error*>(failed->error.get()), nullptr);
}

// The shared empty-body rules, the preprocessors and the non-template serializers.
#include "Hawser/ResponseSerialization.h"

#include <cstring>

#include "Hawser/CharsetName.h"
#include "platform/base/NoDestructor.h"
#include "platform/files/FileManager.h"
#include "platform/foundation/UTF16.h"

namespace Hawser {

namespace {
[[noreturn]] void fail(ResponseSerializationFailureReason reason) {
    HWError::responseSerializationFailed(std::move(reason)).raise();
}
void rethrow(const ErrorPtr& error) {
    if (error) throw platform::ErrorException(error);
}
}  // namespace

std::string bareTypeName(std::string name) {
    // The platform's type names drop named namespaces but keep the anonymous one.
    static const platform::NoDestructor<std::string> anonymous("(anonymous namespace)::");
    for (auto at = name.find(*anonymous); at != std::string::npos; at = name.find(*anonymous))
        name.erase(at, anonymous->size());
    return name;
}

platform::Data GoogleXSSIPreprocessor::preprocess(platform::Data data) const {
    static constexpr char prefix[] = ")]}',\n";
    constexpr std::size_t length = sizeof(prefix) - 1;
    if (data.count() >= length && std::memcmp(data.data(), prefix, length) == 0)
        return data.subdata(length, data.count() - length);
    return data;
}

const DataPreprocessorPtr& ResponseSerializerBase::defaultDataPreprocessor() {
    static const platform::NoDestructor<DataPreprocessorPtr> preprocessor(
        std::make_shared<const PassthroughPreprocessor>());
    return *preprocessor;
}

const std::set<int>& ResponseSerializerBase::defaultEmptyResponseCodes() {
    static const platform::NoDestructor<std::set<int>> codes(std::set<int>{204, 205});
    return *codes;
}

const std::set<HTTPMethod>& ResponseSerializerBase::defaultEmptyRequestMethods() {
    static const platform::NoDestructor<std::set<HTTPMethod>> methods(std::set<HTTPMethod>{HTTPMethod::head});
    return *methods;
}

ResponseSerializerBase::ResponseSerializerBase(DataPreprocessorPtr preprocessor, std::set<int> codes,
                                               std::set<HTTPMethod> methods)
    : dataPreprocessor_(preprocessor ? std::move(preprocessor) : defaultDataPreprocessor()),
      emptyResponseCodes_(std::move(codes)), emptyRequestMethods_(std::move(methods)) {}

std::optional<bool> ResponseSerializerBase::requestAllowsEmptyResponseData(const OptionalRequest& request) const {
    if (!request || !request->explicitHTTPMethod()) return std::nullopt;
    return emptyRequestMethods_.count(HTTPMethod(*request->explicitHTTPMethod())) > 0;
}

std::optional<bool>
ResponseSerializerBase::responseAllowsEmptyResponseData(const platform::HTTPURLResponsePtr& response) const {
    if (!response) return std::nullopt;
    return emptyResponseCodes_.count(response->statusCode()) > 0;
}

bool ResponseSerializerBase::emptyResponseAllowed(const OptionalRequest& request,
                                                  const platform::HTTPURLResponsePtr& response) const {
    return requestAllowsEmptyResponseData(request).value_or(false) ||
           responseAllowsEmptyResponseData(response).value_or(false);
}

std::optional<platform::Data> ResponseSerializerBase::preparedBody(const OptionalRequest& request,
                                                                   const platform::HTTPURLResponsePtr& response,
                                                                   const OptionalData& data,
                                                                   const ErrorPtr& error) const {
    rethrow(error);
    if (!data || data->isEmpty()) {
        if (emptyResponseAllowed(request, response)) return std::nullopt;
        fail(ResponseSerializationFailureReason::InputDataNilOrZeroLength{});
    }
    // What the preprocessor leaves is not checked for emptiness again.
    return dataPreprocessor_->preprocess(*data);
}

platform::Data ResponseSerializerBase::readDownloadedFile(const OptionalURL& fileURL, const ErrorPtr& error) {
    rethrow(error);
    if (!fileURL) fail(ResponseSerializationFailureReason::InputFileNil{});
    auto contents = platform::FileManager::defaultManager()->contents(fileURL->path());
    if (!contents) fail(ResponseSerializationFailureReason::InputFileReadFailed{*fileURL});
    return std::move(*contents);
}

platform::Data DataResponseSerializer::serialize(const OptionalRequest& request,
                                                 const platform::HTTPURLResponsePtr& response, const OptionalData& data,
                                                 const ErrorPtr& error) const {
    auto body = preparedBody(request, response, data, error);
    return body ? std::move(*body) : platform::Data();
}

std::string StringResponseSerializer::serialize(const OptionalRequest& request,
                                                const platform::HTTPURLResponsePtr& response, const OptionalData& data,
                                                const ErrorPtr& error) const {
    auto body = preparedBody(request, response, data, error);
    if (!body) return "";
    std::optional<platform::StringEncoding> encoding = encoding_;
    if (!encoding && response && response->textEncodingName())
        encoding = stringEncodingForIANACharsetName(*response->textEncodingName());
    if (!encoding) encoding = platform::StringEncoding::isoLatin1();
    auto text = encoding->decode(*body);
    if (!text) fail(ResponseSerializationFailureReason::StringSerializationFailed{*encoding});
    return std::move(*text);
}

platform::Value JSONResponseSerializer::serialize(const OptionalRequest& request,
                                                  const platform::HTTPURLResponsePtr& response,
                                                  const OptionalData& data, const ErrorPtr& error) const {
    auto body = preparedBody(request, response, data, error);
    if (!body) return platform::Value();  // null stands for an empty body
    auto parsed = platform::JSONSerialization::jsonObject(*body, options_);
    if (parsed.isFailure()) fail(ResponseSerializationFailureReason::JSONSerializationFailed{parsed.error()});
    return std::move(parsed).value();
}

void Empty::encode(platform::Encoder& encoder) const { encoder.container(); }

platform::URL URLResponseSerializer::serializeDownload(const OptionalRequest&, const platform::HTTPURLResponsePtr&,
                                                       const OptionalURL& fileURL, const ErrorPtr& error) const {
    rethrow(error);
    if (!fileURL) fail(ResponseSerializationFailureReason::InputFileNil{});
    return *fileURL;
}

std::string StringStreamSerializer::serialize(const platform::Data& chunk) const {
    return platform::sanitizedUTF8(chunk.toString());
}

}  // namespace Hawser

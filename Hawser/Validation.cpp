// The built-in validations of data, stream and download requests.
#include "Hawser/Validation.h"
#include "platform/base/Trim.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace Hawser {

namespace {

ValidationResult failure(ResponseValidationFailureReason reason) {
    return ValidationResult::failure(HWError::responseValidationFailed(std::move(reason)).shared());
}

std::vector<std::string> sorted(std::vector<std::string> texts) {
    std::sort(texts.begin(), texts.end());
    return texts;
}

std::optional<platform::Data> readWholeFile(const platform::URL& url) {
    std::ifstream in(url.path(), std::ios::binary);
    if (!in) return std::nullopt;
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return platform::Data(std::move(bytes));
}

ContentTypes acceptedBy(const RequestPtr& request) {
    std::weak_ptr<Request> weak = request;
    return [weak]() -> std::vector<std::string> {
        auto strong = weak.lock();
        return strong ? acceptableContentTypes(*strong) : std::vector<std::string>{"*/*"};
    };
}

}  // namespace

MIMEType::MIMEType(std::string_view text) {
    text = platform::trimmed(text);
    text = text.substr(0, text.find(';'));
    auto first = text.find('/');
    auto last = text.rfind('/');
    type = std::string(text.substr(0, first));
    subtype = std::string(last == std::string_view::npos ? text : text.substr(last + 1));
}

bool MIMEType::matches(const MIMEType& response) const {
    return (type == response.type || type == "*") && (subtype == response.subtype || subtype == "*");
}

StatusCodes acceptableStatusCodes() { return StatusCodes::range(200, 300); }

std::vector<std::string> acceptableContentTypes(const Request& request) {
    if (auto last = request.lastRequest()) {
        if (auto accept = last->value("Accept")) {
            std::vector<std::string> pieces;
            std::size_t start = 0;
            while (true) {
                std::size_t comma = accept->find(',', start);
                pieces.push_back(accept->substr(start, comma == std::string::npos ? std::string::npos : comma - start));
                if (comma == std::string::npos) break;
                start = comma + 1;
            }
            return pieces;
        }
    }
    return {"*/*"};
}

ValidationResult validate(const StatusCodes& statusCode, const platform::HTTPURLResponse& response) {
    if (statusCode.contains(response.statusCode())) return ValidationResult::success(platform::Void{});
    return failure(ResponseValidationFailureReason::UnacceptableStatusCode{response.statusCode()});
}

ValidationResult validate(const std::vector<std::string>& contentType, const platform::HTTPURLResponse& response) {
    const auto& mimeType = response.mimeType();
    if (mimeType) {
        MIMEType responseType(*mimeType);
        for (const auto& text : contentType)
            if (MIMEType(text).matches(responseType)) return ValidationResult::success(platform::Void{});
        return failure(ResponseValidationFailureReason::UnacceptableContentType{sorted(contentType), *mimeType});
    }
    for (const auto& text : contentType)
        if (MIMEType(text).isWildcard()) return ValidationResult::success(platform::Void{});
    return failure(ResponseValidationFailureReason::MissingContentType{sorted(contentType)});
}

ValidationResult validate(const std::vector<std::string>& contentType, const platform::HTTPURLResponse& response,
                          const std::optional<platform::Data>& data) {
    if (!data || data->isEmpty()) return ValidationResult::success(platform::Void{});
    return validate(contentType, response);
}

ValidationResult validate(const std::vector<std::string>& contentType, const platform::HTTPURLResponse& response,
                          const std::optional<platform::URL>& fileURL) {
    if (!fileURL) return failure(ResponseValidationFailureReason::DataFileNil{});
    auto data = readWholeFile(*fileURL);
    if (!data) return failure(ResponseValidationFailureReason::DataFileReadFailed{*fileURL});
    return validate(contentType, response, data);
}

DataRequestPtr validate(const DataRequestPtr& request, StatusCodes statusCode) {
    return request->validate(
        [codes = std::move(statusCode)](const std::optional<URLRequest>&, const platform::HTTPURLResponse& response,
                                        const std::optional<platform::Data>&) { return validate(codes, response); });
}

DataRequestPtr validate(const DataRequestPtr& request, ContentTypes contentType) {
    return request->validate([types = std::move(contentType)](const std::optional<URLRequest>&,
                                                              const platform::HTTPURLResponse& response,
                                                              const std::optional<platform::Data>& data) {
        return validate(types(), response, data);
    });
}

DataRequestPtr validate(const DataRequestPtr& request) {
    validate(request, acceptableStatusCodes());
    return validate(request, acceptedBy(request));
}

DataStreamRequestPtr validate(const DataStreamRequestPtr& request, StatusCodes statusCode) {
    return request->validate(
        [codes = std::move(statusCode)](const std::optional<URLRequest>&, const platform::HTTPURLResponse& response) {
            return validate(codes, response);
        });
}

DataStreamRequestPtr validate(const DataStreamRequestPtr& request, ContentTypes contentType) {
    return request->validate(
        [types = std::move(contentType)](const std::optional<URLRequest>&, const platform::HTTPURLResponse& response) {
            return validate(types(), response);
        });
}

DataStreamRequestPtr validate(const DataStreamRequestPtr& request) {
    validate(request, acceptableStatusCodes());
    return validate(request, acceptedBy(request));
}

DownloadRequestPtr validate(const DownloadRequestPtr& request, StatusCodes statusCode) {
    return request->validate(
        [codes = std::move(statusCode)](const std::optional<URLRequest>&, const platform::HTTPURLResponse& response,
                                        const std::optional<platform::URL>&) { return validate(codes, response); });
}

DownloadRequestPtr validate(const DownloadRequestPtr& request, ContentTypes contentType) {
    return request->validate([types = std::move(contentType)](const std::optional<URLRequest>&,
                                                              const platform::HTTPURLResponse& response,
                                                              const std::optional<platform::URL>& fileURL) {
        return validate(types(), response, fileURL);
    });
}

DownloadRequestPtr validate(const DownloadRequestPtr& request) {
    validate(request, acceptableStatusCodes());
    return validate(request, acceptedBy(request));
}

}  // namespace Hawser

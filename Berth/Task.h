// How a target's parameters and body enter its request: twelve cases, from no body at
// all to multipart uploads and downloads with a destination.
#pragma once
#include <cstddef>
#include <functional>
#include <memory>
#include <variant>
#include <vector>

#include "Berth/MultipartFormData.h"
#include "Hawser/DownloadRequest.h"
#include "Hawser/ParameterEncoding.h"
#include "platform/base/CaseType.h"
#include "platform/base/Data.h"
#include "platform/foundation/Coding.h"
#include "platform/foundation/JSONEncoder.h"

namespace Berth {

// Any encodable value; encoding it encodes the held value into the same encoder, so the
// JSON is exactly the held value's.
struct AnyEncodable {
    std::function<void(platform::Encoder&)> encodable;

    template <class T>
        requires(!std::is_same_v<std::decay_t<T>, AnyEncodable>)
    AnyEncodable(T value)
        : encodable([v = std::move(value)](platform::Encoder& encoder) { platform::encodeValue(encoder, v); }) {}
    void encode(platform::Encoder& encoder) const { encodable(encoder); }
};

using Parameters = Hawser::Parameters;
using ParameterEncodingPtr = std::shared_ptr<const Hawser::ParameterEncoding>;
using DownloadDestination = Hawser::DownloadRequest::Destination;

struct TaskCases {
    struct RequestPlain {};
    struct RequestData {
        platform::Data data;
    };
    struct RequestJSONEncodable {
        AnyEncodable encodable;
    };
    struct RequestCustomJSONEncodable {
        AnyEncodable encodable;
        platform::JSONEncoder encoder;
    };
    struct RequestParameters {
        Parameters parameters;
        ParameterEncodingPtr encoding;
    };
    struct RequestCompositeData {
        platform::Data bodyData;
        Parameters urlParameters;
    };
    struct RequestCompositeParameters {
        Parameters bodyParameters;
        ParameterEncodingPtr bodyEncoding;
        Parameters urlParameters;
    };
    struct UploadFile {
        platform::URL fileURL;
    };
    struct UploadMultipart {
        std::vector<MultipartFormData> parts;
    };
    struct UploadCompositeMultipart {
        std::vector<MultipartFormData> parts;
        Parameters urlParameters;
    };
    struct DownloadDestinationTask {
        DownloadDestination destination;
    };
    struct DownloadParameters {
        Parameters parameters;
        ParameterEncodingPtr encoding;
        DownloadDestination destination;
    };
    using Case = std::variant<RequestPlain, RequestData, RequestJSONEncodable, RequestCustomJSONEncodable,
                              RequestParameters, RequestCompositeData, RequestCompositeParameters, UploadFile,
                              UploadMultipart, UploadCompositeMultipart, DownloadDestinationTask, DownloadParameters>;
};

class Task : public platform::CaseType<TaskCases> {
public:
    using CaseType::CaseType;

    static Task requestPlain() { return RequestPlain{}; }
    static Task requestData(platform::Data data) { return RequestData{std::move(data)}; }
    static Task requestJSONEncodable(AnyEncodable value) { return RequestJSONEncodable{std::move(value)}; }
    static Task requestCustomJSONEncodable(AnyEncodable value, platform::JSONEncoder encoder) {
        return RequestCustomJSONEncodable{std::move(value), std::move(encoder)};
    }
    template <class E>
    static Task requestParameters(Parameters parameters, E encoding) {
        return RequestParameters{std::move(parameters), std::make_shared<const E>(std::move(encoding))};
    }
    static Task requestParameters(Parameters parameters, ParameterEncodingPtr encoding) {
        return RequestParameters{std::move(parameters), std::move(encoding)};
    }
    static Task requestCompositeData(platform::Data bodyData, Parameters urlParameters) {
        return RequestCompositeData{std::move(bodyData), std::move(urlParameters)};
    }
    template <class E>
    static Task requestCompositeParameters(Parameters bodyParameters, E bodyEncoding, Parameters urlParameters) {
        return RequestCompositeParameters{std::move(bodyParameters), std::make_shared<const E>(std::move(bodyEncoding)),
                                          std::move(urlParameters)};
    }
    static Task requestCompositeParameters(Parameters bodyParameters, ParameterEncodingPtr bodyEncoding,
                                           Parameters urlParameters) {
        return RequestCompositeParameters{std::move(bodyParameters), std::move(bodyEncoding), std::move(urlParameters)};
    }
    static Task uploadFile(platform::URL url) { return UploadFile{std::move(url)}; }
    static Task uploadMultipart(std::vector<MultipartFormData> parts) { return UploadMultipart{std::move(parts)}; }
    static Task uploadCompositeMultipart(std::vector<MultipartFormData> parts, Parameters urlParameters) {
        return UploadCompositeMultipart{std::move(parts), std::move(urlParameters)};
    }
    static Task downloadDestination(DownloadDestination destination) {
        return DownloadDestinationTask{std::move(destination)};
    }
    template <class E>
    static Task downloadParameters(Parameters parameters, E encoding, DownloadDestination destination) {
        return DownloadParameters{std::move(parameters), std::make_shared<const E>(std::move(encoding)),
                                  std::move(destination)};
    }

    // The case name as declared ("requestPlain").
    std::string caseName() const;
};

}  // namespace Berth

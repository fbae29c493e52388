// What a provider hands its caller for every finished exchange: status, body, and the
// request and HTTP response objects, with filters by status and mappings of the body.
// Every failure throws a BerthError (as platform::ErrorException) carrying this response.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "Berth/BerthError.h"
#include "platform/base/Data.h"
#include "platform/base/Value.h"
#include "platform/foundation/Coding.h"
#include "platform/foundation/JSONDecoder.h"
#include "platform/graphics/NSImage.h"
#include "platform/net/URLRequest.h"
#include "platform/net/URLResponse.h"

namespace Berth {

// A decodable record read from {"value": <fragment>}, so that a bare string, number or
// null found at a key path can be decoded with a JSON decoder.
template <class T>
struct DecodableWrapper {
    T value;
    static DecodableWrapper decode(platform::Decoder& decoder) {
        auto container = decoder.container();
        return DecodableWrapper{container->template decode<T>(platform::CodingKey("value"))};
    }
};

class Response : public std::enable_shared_from_this<Response> {
public:
    static ResponsePtr create(std::int64_t statusCode, platform::Data data,
                              std::optional<platform::URLRequest> request = std::nullopt,
                              platform::HTTPURLResponsePtr response = nullptr);

    const std::int64_t statusCode;
    const platform::Data data;
    const std::optional<platform::URLRequest> request;
    const platform::HTTPURLResponsePtr response;

    // "Status Code: 200, Data Length: 5"
    std::string description() const;
    std::string debugDescription() const { return description(); }

    // ---- filters: the response itself, or BerthError.statusCode ----
    ResponsePtr filter(std::int64_t from, std::int64_t through) const;  // closed range
    ResponsePtr filterHalfOpen(std::int64_t from, std::int64_t upTo) const;
    ResponsePtr filterFrom(std::int64_t from) const;        // from...
    ResponsePtr filterThrough(std::int64_t through) const;  // ...through
    ResponsePtr filter(std::int64_t statusCode) const;
    ResponsePtr filterSuccessfulStatusCodes() const;
    ResponsePtr filterSuccessfulStatusAndRedirectCodes() const;

    // ---- mappings ----
    platform::NSImagePtr mapImage() const;
    // Fragments allowed; an empty body is null unless `failsOnEmptyData`.
    platform::Value mapJSON(bool failsOnEmptyData = true) const;
    std::string mapString(const std::optional<std::string>& atKeyPath = std::nullopt) const;
    template <class T>
    T map(const std::optional<std::string>& atKeyPath = std::nullopt,
          const platform::JSONDecoder& decoder = platform::JSONDecoder(), bool failsOnEmptyData = true) const;

    // Equal status, body and HTTP response object (the same object, or both none);
    // the request takes no part.
    friend bool operator==(const Response& a, const Response& b);

private:
    Response(std::int64_t statusCode, platform::Data data, std::optional<platform::URLRequest> request,
             platform::HTTPURLResponsePtr response);

    // The JSON bytes `map` decodes: either bytes to decode as T, or a wrapped fragment.
    struct DecodingInput {
        platform::Data json;
        bool wrappedFragment = false;
    };
    DecodingInput decodingInput(const std::optional<std::string>& keyPath, bool failsOnEmptyData) const;
    [[noreturn]] void throwObjectMapping() const;
    ResponsePtr self() const { return shared_from_this(); }
};

// dot-separated keys walked through nested dictionaries; none when a step is missing
// or is no dictionary.
std::optional<platform::Value> valueForKeyPath(const platform::Value& root, const std::string& keyPath);

template <class T>
T Response::map(const std::optional<std::string>& atKeyPath, const platform::JSONDecoder& decoder,
                bool failsOnEmptyData) const {
    DecodingInput input = decodingInput(atKeyPath, failsOnEmptyData);
    if (input.wrappedFragment) {
        try {
            return decoder.decode<DecodableWrapper<T>>(input.json).value;
        } catch (...) {
            throwObjectMapping();
        }
    }
    if (input.json.isEmpty() && !failsOnEmptyData) {
        // An all-optional record, or a list of them, still decodes from an empty body.
        for (const char* empty : {"{}", "[{}]"}) {
            try {
                return decoder.decode<T>(platform::Data::fromString(empty));
            } catch (...) {}
        }
    }
    try {
        return decoder.decode<T>(input.json);
    } catch (...) {
        throwObjectMapping();
    }
}

}  // namespace Berth

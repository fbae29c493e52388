// Response serializers: what one exchange produced (request, response, body bytes or
// downloaded file, transfer error) becomes one typed value or an error. Serializers
// are concepts with templates over them; a request stores them type-erased
// (AnyDataResponseSerializer and friends). Every operation that fails throws
// platform::ErrorException; a transfer error given in is rethrown unchanged.
#pragma once
#include <concepts>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <type_traits>

#include "Hawser/HTTPMethod.h"
#include "Hawser/HWError.h"
#include "platform/base/Data.h"
#include "platform/base/Value.h"
#include "platform/foundation/Coding.h"
#include "platform/foundation/JSONDecoder.h"
#include "platform/foundation/JSONSerialization.h"
#include "platform/foundation/StringEncoding.h"
#include "platform/foundation/TypeName.h"
#include "platform/foundation/URL.h"
#include "platform/net/URLRequest.h"
#include "platform/net/URLResponse.h"

namespace Hawser {

using OptionalRequest = std::optional<platform::URLRequest>;
using OptionalData = std::optional<platform::Data>;
using OptionalURL = std::optional<platform::URL>;

// ---- concepts ----

// clang-format off
template <class S>
concept DataResponseSerializerProtocol =
    requires(const S& s, const OptionalRequest& request, const platform::HTTPURLResponsePtr& response,
             const OptionalData& data, const ErrorPtr& error) {
        typename S::SerializedObject;
        { s.serialize(request, response, data, error) } -> std::convertible_to<typename S::SerializedObject>;
    };
// clang-format on

// clang-format off
template <class S>
concept DownloadResponseSerializerProtocol =
    requires(const S& s, const OptionalRequest& request, const platform::HTTPURLResponsePtr& response,
             const OptionalURL& fileURL, const ErrorPtr& error) {
        typename S::SerializedObject;
        { s.serializeDownload(request, response, fileURL, error) } -> std::convertible_to<typename S::SerializedObject>;
    };
// clang-format on

// Turns one chunk of a streamed body into a value.
// clang-format off
template <class S>
concept DataStreamSerializer = requires(const S& s, const platform::Data& chunk) {
    typename S::SerializedObject;
    { s.serialize(chunk) } -> std::convertible_to<typename S::SerializedObject>;
};
// clang-format on

// Decodes a T from bytes; the platform's JSONDecoder is one.
// clang-format off
template <class D, class T>
concept DataDecoder = requires(const D& d, const platform::Data& data) {
    { d.template decode<T>(data) } -> std::convertible_to<T>;
};
// clang-format on

// A type with a value of its own that stands for an empty body.
// clang-format off
template <class T>
concept EmptyResponse = requires {
    { T::emptyValue() } -> std::same_as<T>;
};
// clang-format on

// The type's name without namespaces ("Thing"), as empty-body errors name it.
std::string bareTypeName(std::string name);

// ---- preprocessors ----

// Runs on a non-empty body before it is serialized; may throw.
class DataPreprocessor {
public:
    virtual ~DataPreprocessor() = default;
    virtual platform::Data preprocess(platform::Data data) const = 0;
};
using DataPreprocessorPtr = std::shared_ptr<const DataPreprocessor>;

class PassthroughPreprocessor final : public DataPreprocessor {
public:
    platform::Data preprocess(platform::Data data) const override { return data; }
};

// Removes one leading ")]}',\n", which some servers put before JSON so that the body
// cannot run as a script.
class GoogleXSSIPreprocessor final : public DataPreprocessor {
public:
    platform::Data preprocess(platform::Data data) const override;
};

// ---- the common base of the body serializers ----

class ResponseSerializerBase {
public:
    static const DataPreprocessorPtr& defaultDataPreprocessor();      // a PassthroughPreprocessor
    static const std::set<int>& defaultEmptyResponseCodes();          // {204, 205}
    static const std::set<HTTPMethod>& defaultEmptyRequestMethods();  // {HEAD}

    const DataPreprocessorPtr& dataPreprocessor() const { return dataPreprocessor_; }
    const std::set<int>& emptyResponseCodes() const { return emptyResponseCodes_; }
    const std::set<HTTPMethod>& emptyRequestMethods() const { return emptyRequestMethods_; }

    // None without a request or without a method set on it (not read as GET); else whether
    // the method, by its exact name, is in emptyRequestMethods.
    std::optional<bool> requestAllowsEmptyResponseData(const OptionalRequest& request) const;
    // None without a response; else whether its status is in emptyResponseCodes.
    std::optional<bool> responseAllowsEmptyResponseData(const platform::HTTPURLResponsePtr& response) const;
    bool emptyResponseAllowed(const OptionalRequest& request, const platform::HTTPURLResponsePtr& response) const;

protected:
    ResponseSerializerBase(DataPreprocessorPtr preprocessor, std::set<int> codes, std::set<HTTPMethod> methods);

    // The shared first steps: rethrows `error`; answers none for an empty body that is
    // allowed (the caller returns its empty value); throws inputDataNilOrZeroLength for
    // one that is not; else the preprocessed body.
    std::optional<platform::Data> preparedBody(const OptionalRequest& request,
                                               const platform::HTTPURLResponsePtr& response, const OptionalData& data,
                                               const ErrorPtr& error) const;
    // Rethrows `error`; throws inputFileNil without a URL and inputFileReadFailed when
    // the file cannot be read; else the whole file.
    static platform::Data readDownloadedFile(const OptionalURL& fileURL, const ErrorPtr& error);

private:
    DataPreprocessorPtr dataPreprocessor_;
    std::set<int> emptyResponseCodes_;
    std::set<HTTPMethod> emptyRequestMethods_;
};

// Every body serializer is also a download serializer: the file is read whole and
// serialized as a body.
#define HAWSER_SERIALIZE_DOWNLOAD_AS_DATA                                                                              \
    SerializedObject serializeDownload(const OptionalRequest& request, const platform::HTTPURLResponsePtr& response,   \
                                       const OptionalURL& fileURL, const ErrorPtr& error) const {                      \
        return serialize(request, response, readDownloadedFile(fileURL, error), nullptr);                              \
    }

class DataResponseSerializer : public ResponseSerializerBase {
public:
    using SerializedObject = platform::Data;
    explicit DataResponseSerializer(DataPreprocessorPtr dataPreprocessor = defaultDataPreprocessor(),
                                    std::set<int> emptyResponseCodes = defaultEmptyResponseCodes(),
                                    std::set<HTTPMethod> emptyRequestMethods = defaultEmptyRequestMethods())
        : ResponseSerializerBase(std::move(dataPreprocessor), std::move(emptyResponseCodes),
                                 std::move(emptyRequestMethods)) {}

    // An allowed empty body gives empty bytes.
    platform::Data serialize(const OptionalRequest& request, const platform::HTTPURLResponsePtr& response,
                             const OptionalData& data, const ErrorPtr& error) const;
    HAWSER_SERIALIZE_DOWNLOAD_AS_DATA
};

class StringResponseSerializer : public ResponseSerializerBase {
public:
    using SerializedObject = std::string;
    // Without an encoding, the response's charset decides, else ISO Latin 1.
    explicit StringResponseSerializer(DataPreprocessorPtr dataPreprocessor = defaultDataPreprocessor(),
                                      std::optional<platform::StringEncoding> encoding = std::nullopt,
                                      std::set<int> emptyResponseCodes = defaultEmptyResponseCodes(),
                                      std::set<HTTPMethod> emptyRequestMethods = defaultEmptyRequestMethods())
        : ResponseSerializerBase(std::move(dataPreprocessor), std::move(emptyResponseCodes),
                                 std::move(emptyRequestMethods)),
          encoding_(std::move(encoding)) {}

    const std::optional<platform::StringEncoding>& encoding() const { return encoding_; }
    // UTF-8 text; an allowed empty body gives the empty text. Bytes that are not valid
    // in the encoding fail with stringSerializationFailed naming it.
    std::string serialize(const OptionalRequest& request, const platform::HTTPURLResponsePtr& response,
                          const OptionalData& data, const ErrorPtr& error) const;
    HAWSER_SERIALIZE_DOWNLOAD_AS_DATA

private:
    std::optional<platform::StringEncoding> encoding_;
};

class JSONResponseSerializer : public ResponseSerializerBase {
public:
    using SerializedObject = platform::Value;
    explicit JSONResponseSerializer(
        DataPreprocessorPtr dataPreprocessor = defaultDataPreprocessor(),
        std::set<int> emptyResponseCodes = defaultEmptyResponseCodes(),
        std::set<HTTPMethod> emptyRequestMethods = defaultEmptyRequestMethods(),
        platform::JSONReadingOptions options = platform::JSONReadingOptions::fragmentsAllowed)
        : ResponseSerializerBase(std::move(dataPreprocessor), std::move(emptyResponseCodes),
                                 std::move(emptyRequestMethods)),
          options_(options) {}

    platform::JSONReadingOptions options() const { return options_; }
    // An allowed empty body gives null; text that is not JSON fails with
    // jsonSerializationFailed carrying the parser's error.
    platform::Value serialize(const OptionalRequest& request, const platform::HTTPURLResponsePtr& response,
                              const OptionalData& data, const ErrorPtr& error) const;
    HAWSER_SERIALIZE_DOWNLOAD_AS_DATA

private:
    platform::JSONReadingOptions options_;
};

// The value standing for an empty body; decodes from anything, encodes as an empty
// keyed container ("{}" in JSON).
struct Empty {
    static Empty emptyValue() { return Empty{}; }
    static Empty decode(platform::Decoder&) { return Empty{}; }
    void encode(platform::Encoder& encoder) const;
    static std::string typeName() { return "Empty"; }
    std::string description() const { return "Empty()"; }
    friend bool operator==(Empty, Empty) { return true; }
};

template <class T, class Decoder = platform::JSONDecoder>
    requires DataDecoder<Decoder, T>
class DecodableResponseSerializer : public ResponseSerializerBase {
public:
    using SerializedObject = T;
    explicit DecodableResponseSerializer(DataPreprocessorPtr dataPreprocessor = defaultDataPreprocessor(),
                                         Decoder decoder = Decoder(),
                                         std::set<int> emptyResponseCodes = defaultEmptyResponseCodes(),
                                         std::set<HTTPMethod> emptyRequestMethods = defaultEmptyRequestMethods())
        : ResponseSerializerBase(std::move(dataPreprocessor), std::move(emptyResponseCodes),
                                 std::move(emptyRequestMethods)),
          decoder_(std::move(decoder)) {}

    const Decoder& decoder() const { return decoder_; }

    // An allowed empty body gives T's empty value, or fails with invalidEmptyResponse
    // naming T when it has none; a decoder failure becomes decodingFailed.
    T serialize(const OptionalRequest& request, const platform::HTTPURLResponsePtr& response, const OptionalData& data,
                const ErrorPtr& error) const {
        auto body = preparedBody(request, response, data, error);
        if (!body) {
            if constexpr (EmptyResponse<T>) return T::emptyValue();
            else
                HWError::responseSerializationFailed(
                    ResponseSerializationFailureReason::InvalidEmptyResponse{bareTypeName(platform::typeName<T>())})
                    .raise();
        }
        try {
            return decoder_.template decode<T>(*body);
        } catch (...) {
            HWError::responseSerializationFailed(
                ResponseSerializationFailureReason::DecodingFailed{platform::errorFromCurrentException()})
                .raise();
        }
    }
    HAWSER_SERIALIZE_DOWNLOAD_AS_DATA

private:
    Decoder decoder_;
};

#undef HAWSER_SERIALIZE_DOWNLOAD_AS_DATA

// A body serializer: both kinds, with the empty-body rules and a preprocessor.
// clang-format off
template <class S>
concept ResponseSerializer = DataResponseSerializerProtocol<S> && DownloadResponseSerializerProtocol<S> &&
                             requires(const S& s) {
                                 { s.dataPreprocessor() } -> std::convertible_to<DataPreprocessorPtr>;
                                 { s.emptyResponseCodes() } -> std::convertible_to<std::set<int>>;
                                 { s.emptyRequestMethods() } -> std::convertible_to<std::set<HTTPMethod>>;
                             };
// clang-format on

// The downloaded file's URL; the file itself is not opened.
struct URLResponseSerializer {
    using SerializedObject = platform::URL;
    platform::URL serializeDownload(const OptionalRequest& request, const platform::HTTPURLResponsePtr& response,
                                    const OptionalURL& fileURL, const ErrorPtr& error) const;
};

// ---- stream serializers (one chunk at a time, no empty-body rule) ----

struct PassthroughStreamSerializer {
    using SerializedObject = platform::Data;
    platform::Data serialize(const platform::Data& chunk) const { return chunk; }
};

// Each chunk decoded by itself as UTF-8, malformed bytes as U+FFFD.
struct StringStreamSerializer {
    using SerializedObject = std::string;
    std::string serialize(const platform::Data& chunk) const;
};

template <class T, class Decoder = platform::JSONDecoder>
    requires DataDecoder<Decoder, T>
struct DecodableStreamSerializer {
    using SerializedObject = T;
    Decoder decoder;
    DataPreprocessorPtr dataPreprocessor = ResponseSerializerBase::defaultDataPreprocessor();

    T serialize(const platform::Data& chunk) const {
        platform::Data body = dataPreprocessor->preprocess(chunk);
        try {
            return decoder.template decode<T>(body);
        } catch (...) {
            HWError::responseSerializationFailed(
                ResponseSerializationFailureReason::DecodingFailed{platform::errorFromCurrentException()})
                .raise();
        }
    }
};

// ---- type-erased forms, as requests store them ----

template <class Object>
class AnyDataResponseSerializer {
public:
    using SerializedObject = Object;
    template <DataResponseSerializerProtocol S>
        requires(!std::same_as<S, AnyDataResponseSerializer> &&
                 std::convertible_to<typename S::SerializedObject, Object>)
    AnyDataResponseSerializer(S serializer)
        : serialize_([s = std::move(serializer)](const OptionalRequest& rq, const platform::HTTPURLResponsePtr& rs,
                                                 const OptionalData& d,
                                                 const ErrorPtr& e) -> Object { return s.serialize(rq, rs, d, e); }) {}

    Object serialize(const OptionalRequest& request, const platform::HTTPURLResponsePtr& response,
                     const OptionalData& data, const ErrorPtr& error) const {
        return serialize_(request, response, data, error);
    }

private:
    std::function<Object(const OptionalRequest&, const platform::HTTPURLResponsePtr&, const OptionalData&,
                         const ErrorPtr&)>
        serialize_;
};

template <class Object>
class AnyDownloadResponseSerializer {
public:
    using SerializedObject = Object;
    template <DownloadResponseSerializerProtocol S>
        requires(!std::same_as<S, AnyDownloadResponseSerializer> &&
                 std::convertible_to<typename S::SerializedObject, Object>)
    AnyDownloadResponseSerializer(S serializer)
        : serialize_([s = std::move(serializer)](const OptionalRequest& rq, const platform::HTTPURLResponsePtr& rs,
                                                 const OptionalURL& u, const ErrorPtr& e) -> Object {
              return s.serializeDownload(rq, rs, u, e);
          }) {}

    Object serializeDownload(const OptionalRequest& request, const platform::HTTPURLResponsePtr& response,
                             const OptionalURL& fileURL, const ErrorPtr& error) const {
        return serialize_(request, response, fileURL, error);
    }

private:
    std::function<Object(const OptionalRequest&, const platform::HTTPURLResponsePtr&, const OptionalURL&,
                         const ErrorPtr&)>
        serialize_;
};

template <class Object>
class AnyDataStreamSerializer {
public:
    using SerializedObject = Object;
    template <DataStreamSerializer S>
        requires(!std::same_as<S, AnyDataStreamSerializer> && std::convertible_to<typename S::SerializedObject, Object>)
    AnyDataStreamSerializer(S serializer)
        : serialize_(
              [s = std::move(serializer)](const platform::Data& chunk) -> Object { return s.serialize(chunk); }) {}

    Object serialize(const platform::Data& chunk) const { return serialize_(chunk); }

private:
    std::function<Object(const platform::Data&)> serialize_;
};

}  // namespace Hawser

// The two request kinds whose outcome is one serialized response, described by what
// sets them apart: what they read (the body in memory or the downloaded file's URL),
// the response that carries it, and the monitor events that report it. The response
// handlers, the awaitable tasks and the publishers are each written once over these
// traits.
#pragma once
#include <concepts>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>

#include "Hawser/DataRequest.h"
#include "Hawser/DownloadRequest.h"
#include "Hawser/ResponseSerialization.h"

namespace Hawser {

struct DataKind {
    using RequestType = DataRequest;
    using RequestPtr = DataRequestPtr;
    // What the request read: the received bytes, if any.
    using Received = std::optional<platform::Data>;
    template <class Value>
    using Response = DataResponse<Value, HWError>;
    // The name of the awaitable form, as misuse reports give it.
    static constexpr const char* taskName = "dataTask(automaticallyCancelling:forResponse:)";

    static Received received(const DataRequest& request) { return request.data(); }
    static DataResponseFields fields(const DataRequest& request) { return {request.data()}; }
    template <DataResponseSerializerProtocol S>
    static auto serialize(const S& serializer, const OptionalRequest& request,
                          const platform::HTTPURLResponsePtr& response, const Received& data, const ErrorPtr& error) {
        return serializer.serialize(request, response, data, error);
    }
    static void didParse(EventMonitor& monitor, const DataRequestPtr& request, const Response<Received>& response) {
        monitor.requestDidParseResponse(request, response);
    }
    static void didParseValue(EventMonitor& monitor, const DataRequestPtr& request,
                              const Response<AnyValue>& response) {
        monitor.requestDidParseResponseOfValue(request, response);
    }
};

struct DownloadKind {
    using RequestType = DownloadRequest;
    using RequestPtr = DownloadRequestPtr;
    // What the request read: the downloaded file's URL, if any.
    using Received = std::optional<platform::URL>;
    template <class Value>
    using Response = DownloadResponse<Value, HWError>;
    static constexpr const char* taskName = "downloadTask(automaticallyCancelling:forResponse:)";

    static Received received(const DownloadRequest& request) { return request.fileURL(); }
    static DownloadResponseFields fields(const DownloadRequest& request) {
        return {request.fileURL(), request.resumeData()};
    }
    // The serializer reads the file itself.
    template <DownloadResponseSerializerProtocol S>
    static auto serialize(const S& serializer, const OptionalRequest& request,
                          const platform::HTTPURLResponsePtr& response, const Received& fileURL,
                          const ErrorPtr& error) {
        return serializer.serializeDownload(request, response, fileURL, error);
    }
    static void didParse(EventMonitor& monitor, const DownloadRequestPtr& request, const Response<Received>& response) {
        monitor.requestDidParseDownloadResponse(request, response);
    }
    static void didParseValue(EventMonitor& monitor, const DownloadRequestPtr& request,
                              const Response<AnyValue>& response) {
        monitor.requestDidParseDownloadResponseOfValue(request, response);
    }
};

// A request class of one of the two kinds (an upload is a data request).
// clang-format off
template <class R>
concept ResponseKindRequest = std::derived_from<R, DataRequest> || std::derived_from<R, DownloadRequest>;
// clang-format on

template <ResponseKindRequest R>
using KindOf = std::conditional_t<std::derived_from<R, DownloadRequest>, DownloadKind, DataKind>;

// A serializer that reads what requests of `Kind` read.
// clang-format off
template <class S, class Kind>
concept SerializerFor = requires(const S& serializer, const typename Kind::Received& received) {
    Kind::serialize(serializer, OptionalRequest(), platform::HTTPURLResponsePtr(), received, ErrorPtr());
};
// clang-format on

template <class Kind, class Value>
using ResponseHandler = std::function<void(const typename Kind::template Response<Value>&)>;
template <class Value>
using DataResponseHandler = ResponseHandler<DataKind, Value>;
template <class Value>
using DownloadResponseHandler = ResponseHandler<DownloadKind, Value>;

}  // namespace Hawser

// Deflate request compression.
#include "Hawser/RequestCompression.h"

#include "Hawser/HTTPHeaders.h"
#include "platform/foundation/Compression.h"

namespace Hawser {

namespace {

platform::ErrorPtr compressionError(const std::string& what) {
    // The platform's error for a failed compression.
    return platform::NSError::withDescription(platform::NSCocoaErrorDomain, 5376, "Compression failed: " + what);
}

}  // namespace

platform::Data deflate(const platform::Data& body) {
    // Level 5 gives the zlib header 0x78 0x5E.
    auto compressed = platform::compress(body, platform::CompressionFormat::zlib, 5);
    if (compressed.isFailure()) throw platform::ErrorException(compressionError(compressed.error().call));
    return std::move(compressed).value();
}

DeflateRequestCompressor::DeflateRequestCompressor(DuplicateHeaderBehavior duplicateHeaderBehavior,
                                                   std::function<bool(const platform::Data&)> shouldCompressBodyData)
    : duplicateHeaderBehavior(duplicateHeaderBehavior),
      shouldCompressBodyData(shouldCompressBodyData ? std::move(shouldCompressBodyData)
                                                    : [](const platform::Data&) { return true; }) {}

void DeflateRequestCompressor::adapt(const platform::URLRequest& urlRequest, const SessionPtr&,
                                     AdaptCompletion completion) {
    using Outcome = platform::Result<platform::URLRequest>;
    // Only bytes in memory are compressed; a body stream is left alone.
    const auto& body = urlRequest.httpBody();
    if (!body || !shouldCompressBodyData(*body)) return completion(Outcome::success(urlRequest));

    HTTPHeaders headerList = headers(urlRequest);
    if (headerList.value("Content-Encoding")) {
        switch (duplicateHeaderBehavior) {
            case DuplicateHeaderBehavior::error:
                return completion(Outcome::failure(std::make_shared<DuplicateHeaderError>()));
            case DuplicateHeaderBehavior::skip: return completion(Outcome::success(urlRequest));
            case DuplicateHeaderBehavior::replace: break;
        }
    }

    platform::Data compressed;
    try {
        compressed = deflate(*body);
    } catch (const platform::ErrorException& e) {
        return completion(Outcome::failure(e.error()));
    }
    platform::URLRequest adapted = urlRequest;
    adapted.setHTTPBody(std::move(compressed));
    headerList.update("Content-Encoding", "deflate");
    setHeaders(adapted, headerList);
    completion(Outcome::success(std::move(adapted)));
}

std::shared_ptr<DeflateRequestCompressor> deflateCompressor() { return std::make_shared<DeflateRequestCompressor>(); }

std::shared_ptr<DeflateRequestCompressor>
deflateCompressor(DeflateRequestCompressor::DuplicateHeaderBehavior duplicateHeaderBehavior,
                  std::function<bool(const platform::Data&)> shouldCompressBodyData) {
    return std::make_shared<DeflateRequestCompressor>(duplicateHeaderBehavior, std::move(shouldCompressBodyData));
}

}  // namespace Hawser

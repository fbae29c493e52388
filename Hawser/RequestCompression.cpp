// Deflate request compression over zlib.
#include "Hawser/RequestCompression.h"

#include <zlib.h>

#include "Hawser/HTTPHeaders.h"

namespace Hawser {

namespace {

platform::ErrorPtr compressionError(const std::string& what) {
    // The platform's error for a failed compression.
    return platform::NSError::withDescription(platform::NSCocoaErrorDomain, 5376, "Compression failed: " + what);
}

}  // namespace

platform::Data deflate(const platform::Data& body) {
    z_stream stream{};
    // Raw DEFLATE (negative window bits): the zlib header and trailer are written here,
    // so the header is always the fixed 0x78 0x5E.
    if (deflateInit2(&stream, 5, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        throw platform::ErrorException(compressionError("deflateInit2"));
    }
    std::vector<std::uint8_t> out{0x78, 0x5E};
    out.resize(2 + deflateBound(&stream, static_cast<uLong>(body.count())));
    stream.next_in = const_cast<Bytef*>(body.data());
    stream.avail_in = static_cast<uInt>(body.count());
    stream.next_out = out.data() + 2;
    stream.avail_out = static_cast<uInt>(out.size() - 2);
    int status = ::deflate(&stream, Z_FINISH);
    std::size_t produced = out.size() - 2 - stream.avail_out;
    deflateEnd(&stream);
    if (status != Z_STREAM_END) throw platform::ErrorException(compressionError("deflate"));
    out.resize(2 + produced);

    uLong checksum = adler32(1, body.data(), static_cast<uInt>(body.count()));
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(checksum >> shift));
    return platform::Data(std::move(out));
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

std::shared_ptr<DeflateRequestCompressor> deflateCompressor() {
    return std::make_shared<DeflateRequestCompressor>();
}

std::shared_ptr<DeflateRequestCompressor> deflateCompressor(
    DeflateRequestCompressor::DuplicateHeaderBehavior duplicateHeaderBehavior,
    std::function<bool(const platform::Data&)> shouldCompressBodyData) {
    return std::make_shared<DeflateRequestCompressor>(duplicateHeaderBehavior, std::move(shouldCompressBodyData));
}

}  // namespace Hawser

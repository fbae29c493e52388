// An interceptor that compresses the in-memory body of outgoing requests into the zlib
// format and marks it "Content-Encoding: deflate". It never retries.
#pragma once
#include <functional>
#include <memory>

#include "Hawser/RequestInterceptor.h"
#include "platform/base/Data.h"

namespace Hawser {

// The zlib format of `body` at level 5: the header 0x78 0x5E, DEFLATE data, then the
// Adler-32 of the body, most significant byte first. Throws platform::ErrorException when
// zlib fails.
platform::Data deflate(const platform::Data& body);

class DeflateRequestCompressor final : public RequestInterceptor {
public:
    // What to do when the request already carries a Content-Encoding header.
    enum class DuplicateHeaderBehavior { error, replace, skip };

    // The request already had a Content-Encoding header.
    class DuplicateHeaderError final : public platform::Error {
    public:
        std::string domain() const override { return "Hawser.DeflateRequestCompressor.DuplicateHeaderError"; }
        std::int64_t code() const override { return 1; }
        std::string typeName() const override { return "DuplicateHeaderError"; }
    };

    DeflateRequestCompressor(DuplicateHeaderBehavior duplicateHeaderBehavior = DuplicateHeaderBehavior::error,
                             std::function<bool(const platform::Data&)> shouldCompressBodyData = nullptr);

    const DuplicateHeaderBehavior duplicateHeaderBehavior;
    const std::function<bool(const platform::Data&)> shouldCompressBodyData;

    using RequestInterceptor::adapt;
    // Completes exactly once, before returning.
    void adapt(const platform::URLRequest& urlRequest, const SessionPtr& session, AdaptCompletion completion) override;
};

// The standard compressor (error on a duplicate header, every body compressed), and one
// with the given fields, where an interceptor is expected.
std::shared_ptr<DeflateRequestCompressor> deflateCompressor();
std::shared_ptr<DeflateRequestCompressor>
deflateCompressor(DeflateRequestCompressor::DuplicateHeaderBehavior duplicateHeaderBehavior,
                  std::function<bool(const platform::Data&)> shouldCompressBodyData);

}  // namespace Hawser

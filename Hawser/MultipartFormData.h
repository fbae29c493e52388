// A multipart/form-data body: named fields, files, data and streams, each with its own
// headers, encoded into memory or streamed into a new file. The first problem met while
// appending is kept and thrown when the body is encoded.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Hawser/HTTPHeaders.h"
#include "Hawser/HWError.h"
#include "platform/base/Data.h"
#include "platform/files/FileManager.h"
#include "platform/foundation/URL.h"
#include "platform/net/InputStream.h"

namespace Hawser {

class MultipartFormData {
public:
    struct BodyPart {
        HTTPHeaders headers;
        platform::InputStreamPtr bodyStream;
        std::uint64_t bodyContentLength = 0;  // the bytes the stream must yield
        bool hasInitialBoundary = false;
        bool hasFinalBoundary = false;
    };
    using BodyPartPtr = std::shared_ptr<BodyPart>;

    struct BoundaryGenerator {
        // "hawser.boundary." + 16 lower-case hex digits from the secure random source.
        static std::string randomBoundary();
    };

    // Below this many declared body bytes an upload is encoded in memory.
    static constexpr std::uint64_t encodingMemoryThreshold = 10'000'000;

    explicit MultipartFormData(
        std::shared_ptr<platform::FileManager> fileManager = platform::FileManager::defaultManager(),
        std::optional<std::string> boundary = std::nullopt);
    virtual ~MultipartFormData() = default;

    const std::string boundary;
    const std::shared_ptr<platform::FileManager> fileManager;
    std::vector<BodyPartPtr> bodyParts;
    std::optional<HWError> bodyPartError;
    std::size_t streamBufferSize = 1024;

    // "multipart/form-data; boundary=" + boundary unless another value was assigned.
    virtual std::string contentType();
    virtual void setContentType(std::string value) { contentType_ = std::move(value); }
    // The sum of the parts' declared body lengths (boundaries and headers not counted).
    virtual std::uint64_t contentLength() const;

    // None of the appends throws; a failure is stored (the first one only).
    virtual void append(const platform::Data& data, const std::string& withName,
                        const std::optional<std::string>& fileName = std::nullopt,
                        const std::optional<std::string>& mimeType = std::nullopt);
    // File name and MIME type from the URL's last component and extension.
    virtual void append(const platform::URL& fileURL, const std::string& withName);
    virtual void append(const platform::URL& fileURL, const std::string& withName, const std::string& fileName,
                        const std::string& mimeType);
    virtual void append(platform::InputStreamPtr stream, std::uint64_t withLength, const std::string& name,
                        const std::string& fileName, const std::string& mimeType);
    virtual void append(platform::InputStreamPtr stream, std::uint64_t withLength, HTTPHeaders headers);

    // The whole body. Throws the stored failure, or multipartEncodingFailed.
    virtual platform::Data encode();
    // Streams the whole body into a new file; a file already there is an error and left
    // alone. On any failure the partly written file is removed.
    virtual void writeEncodedData(const platform::URL& to);
    // One part, boundaries included as its flags say.
    virtual platform::Data encode(const BodyPartPtr& bodyPart);

    // Content-Disposition (name, optional file name), then Content-Type when given.
    static HTTPHeaders contentHeaders(const std::string& withName, const std::optional<std::string>& fileName,
                                      const std::optional<std::string>& mimeType);
    // "application/octet-stream" for an extension not in the table.
    static std::string mimeType(const std::string& forPathExtension);

protected:
    void setBodyPartError(MultipartEncodingFailureReason withReason);
    void markBoundaries();
    std::string initialBoundary() const { return "--" + boundary + "\r\n"; }
    std::string encapsulatedBoundary() const { return "\r\n--" + boundary + "\r\n"; }
    std::string finalBoundary() const { return "\r\n--" + boundary + "--\r\n"; }
    static std::string encodeHeaders(const BodyPart& part);
    // Reads the part's stream to its end in chunks into `sink`; answers the number of bytes
    // read (a read error fails).
    std::uint64_t readBodyStream(const BodyPart& part,
                                 const std::function<void(const std::uint8_t*, std::size_t)>& sink);

private:
    std::optional<std::string> contentType_;
};

using MultipartFormDataPtr = std::shared_ptr<MultipartFormData>;

}  // namespace Hawser

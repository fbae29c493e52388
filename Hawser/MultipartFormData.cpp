// Building multipart/form-data bodies in memory or in a file.
#include "Hawser/MultipartFormData.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <unistd.h>

#include "platform/base/Fatal.h"
#include "platform/base/NoDestructor.h"
#include "platform/crypto/SecRandom.h"

namespace Hawser {

namespace {

[[noreturn]] void fail(MultipartEncodingFailureReason reason) {
    HWError::multipartEncodingFailed(std::move(reason)).raise();
}

// Quotes, CR and LF in a disposition parameter would end the parameter or the header
// line; they are written as their percent escapes.
std::string dispositionParameter(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '"') out += "%22";
        else if (c == '\r') out += "%0D";
        else if (c == '\n') out += "%0A";
        else out += c;
    }
    return out;
}

class FileWriter {
public:
    explicit FileWriter(int fd) : fd_(fd) {}
    ~FileWriter() {
        if (fd_ >= 0) ::close(fd_);
    }
    void write(const std::uint8_t* bytes, std::size_t count) {
        while (count > 0) {
            ssize_t n = ::write(fd_, bytes, count);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                // A write that takes nothing is as much a failure as one that errs.
                fail(MultipartEncodingFailureReason::OutputStreamWriteFailed{
                    platform::posixError(n < 0 ? errno : EIO, "write")});
            }
            bytes += n;
            count -= static_cast<std::size_t>(n);
        }
    }
    void write(const std::string& text) { write(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()); }
    void close() {
        int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0 && errno != EINTR)
            fail(MultipartEncodingFailureReason::OutputStreamWriteFailed{platform::posixError(errno, "close")});
    }

private:
    int fd_;
};

}  // namespace

std::string MultipartFormData::BoundaryGenerator::randomBoundary() {
    std::uint32_t first = 0, second = 0;
    if (platform::SecRandomCopyBytes(sizeof first, &first) != platform::errSecSuccess ||
        platform::SecRandomCopyBytes(sizeof second, &second) != platform::errSecSuccess)
        platform::fatal("the secure random source failed");
    char text[40];
    std::snprintf(text, sizeof text, "hawser.boundary.%08x%08x", first, second);
    return text;
}

MultipartFormData::MultipartFormData(std::shared_ptr<platform::FileManager> fileManager,
                                     std::optional<std::string> boundary)
    : boundary(boundary ? std::move(*boundary) : BoundaryGenerator::randomBoundary()),
      fileManager(std::move(fileManager)) {}

std::string MultipartFormData::contentType() {
    if (!contentType_) contentType_ = "multipart/form-data; boundary=" + boundary;
    return *contentType_;
}

std::uint64_t MultipartFormData::contentLength() const {
    std::uint64_t total = 0;
    for (const auto& part : bodyParts) total += part->bodyContentLength;
    return total;
}

HTTPHeaders MultipartFormData::contentHeaders(const std::string& withName, const std::optional<std::string>& fileName,
                                              const std::optional<std::string>& mimeType) {
    std::string disposition = "form-data; name=\"" + dispositionParameter(withName) + "\"";
    if (fileName) disposition += "; filename=\"" + dispositionParameter(*fileName) + "\"";
    HTTPHeaders headers{HTTPHeader("Content-Disposition", disposition)};
    if (mimeType) headers.update("Content-Type", *mimeType);
    return headers;
}

std::string MultipartFormData::mimeType(const std::string& forPathExtension) {
    static const platform::NoDestructor<std::map<std::string, std::string>> table(std::map<std::string, std::string>{
        {"aac", "audio/aac"},
        {"avi", "video/x-msvideo"},
        {"bmp", "image/bmp"},
        {"css", "text/css"},
        {"csv", "text/csv"},
        {"dmg", "application/x-apple-diskimage"},
        {"doc", "application/msword"},
        {"gif", "image/gif"},
        {"gz", "application/x-gzip"},
        {"heic", "image/heic"},
        {"htm", "text/html"},
        {"html", "text/html"},
        {"ico", "image/vnd.microsoft.icon"},
        {"jpeg", "image/jpeg"},
        {"jpg", "image/jpeg"},
        {"js", "text/javascript"},
        {"json", "application/json"},
        {"log", "text/plain"},
        {"m4a", "audio/mp4"},
        {"mov", "video/quicktime"},
        {"mp3", "audio/mpeg"},
        {"mp4", "video/mp4"},
        {"pdf", "application/pdf"},
        {"plist", "application/x-plist"},
        {"png", "image/png"},
        {"svg", "image/svg+xml"},
        {"tar", "application/x-tar"},
        {"tif", "image/tiff"},
        {"tiff", "image/tiff"},
        {"txt", "text/plain"},
        {"wav", "audio/vnd.wave"},
        {"webp", "image/webp"},
        {"xml", "application/xml"},
        {"zip", "application/zip"},
    });
    std::string lower = forPathExtension;
    for (auto& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    auto it = table->find(lower);
    return it == table->end() ? "application/octet-stream" : it->second;
}

void MultipartFormData::setBodyPartError(MultipartEncodingFailureReason withReason) {
    if (!bodyPartError) bodyPartError = HWError::multipartEncodingFailed(std::move(withReason));
}

void MultipartFormData::append(const platform::Data& data, const std::string& withName,
                               const std::optional<std::string>& fileName, const std::optional<std::string>& mimeType) {
    append(platform::InputStream::withData(data), data.count(), contentHeaders(withName, fileName, mimeType));
}

void MultipartFormData::append(const platform::URL& fileURL, const std::string& withName) {
    std::string fileName = fileURL.lastPathComponent();
    std::string pathExtension = fileURL.pathExtension();
    if (fileName.empty() || pathExtension.empty()) {
        setBodyPartError(MultipartEncodingFailureReason::BodyPartFilenameInvalid{fileURL});
        return;
    }
    append(fileURL, withName, fileName, mimeType(pathExtension));
}

void MultipartFormData::append(const platform::URL& fileURL, const std::string& withName, const std::string& fileName,
                               const std::string& mimeType) {
    HTTPHeaders headers = contentHeaders(withName, fileName, mimeType);
    if (!fileURL.isFileURL()) return setBodyPartError(MultipartEncodingFailureReason::BodyPartURLInvalid{fileURL});
    const std::string path = fileURL.path();
    // Reachable: nothing there yet to be refused (the next check names it), or readable.
    bool isDirectory = false;
    const bool exists = fileManager->fileExists(path, &isDirectory);
    if (exists && !fileManager->isReadableFile(path))
        return setBodyPartError(MultipartEncodingFailureReason::BodyPartFileNotReachable{fileURL});
    if (!exists || isDirectory)
        return setBodyPartError(MultipartEncodingFailureReason::BodyPartFileIsDirectory{fileURL});
    platform::Value::Dictionary attributes;
    try {
        attributes = fileManager->attributesOfItem(path);
    } catch (...) {
        return setBodyPartError(MultipartEncodingFailureReason::BodyPartFileSizeQueryFailedWithError{
            fileURL, platform::errorFromCurrentException()});
    }
    auto size = attributes.find(platform::FileAttributeKey::size);
    std::optional<std::uint64_t> length;
    if (size != attributes.end()) {
        if (size->second.isInteger()) length = size->second.asUInt64();
    }
    if (!length) return setBodyPartError(MultipartEncodingFailureReason::BodyPartFileSizeNotAvailable{fileURL});
    auto stream = platform::InputStream::withURL(fileURL);
    if (!stream) return setBodyPartError(MultipartEncodingFailureReason::BodyPartInputStreamCreationFailed{fileURL});
    append(std::move(stream), *length, std::move(headers));
}

void MultipartFormData::append(platform::InputStreamPtr stream, std::uint64_t withLength, const std::string& name,
                               const std::string& fileName, const std::string& mimeType) {
    append(std::move(stream), withLength, contentHeaders(name, fileName, mimeType));
}

void MultipartFormData::append(platform::InputStreamPtr stream, std::uint64_t withLength, HTTPHeaders headers) {
    auto part = std::make_shared<BodyPart>();
    part->headers = std::move(headers);
    part->bodyStream = std::move(stream);
    part->bodyContentLength = withLength;
    bodyParts.push_back(std::move(part));
}

void MultipartFormData::markBoundaries() {
    if (bodyParts.empty()) return;
    bodyParts.front()->hasInitialBoundary = true;
    bodyParts.back()->hasFinalBoundary = true;
}

std::string MultipartFormData::encodeHeaders(const BodyPart& part) {
    std::string text;
    for (const auto& header : part.headers) text += header.name + ": " + header.value + "\r\n";
    return text + "\r\n";
}

std::uint64_t MultipartFormData::readBodyStream(const BodyPart& part,
                                                const std::function<void(const std::uint8_t*, std::size_t)>& sink) {
    auto& stream = *part.bodyStream;
    stream.open();
    struct Closer {
        platform::InputStream& s;
        ~Closer() { s.close(); }
    } closer{stream};
    std::vector<std::uint8_t> buffer(streamBufferSize == 0 ? 1 : streamBufferSize);
    std::uint64_t total = 0;
    while (true) {
        std::fill(buffer.begin(), buffer.end(), 0);
        ssize_t n = stream.read(buffer.data(), buffer.size());
        if (n < 0) {
            platform::ErrorPtr error = stream.streamError();
            if (!error) error = platform::posixError(EIO, "read");
            fail(MultipartEncodingFailureReason::InputStreamReadFailed{error});
        }
        if (n == 0) break;
        sink(buffer.data(), static_cast<std::size_t>(n));
        total += static_cast<std::uint64_t>(n);
    }
    return total;
}

platform::Data MultipartFormData::encode(const BodyPartPtr& bodyPart) {
    platform::Data out;
    out.append(bodyPart->hasInitialBoundary ? initialBoundary() : encapsulatedBoundary());
    out.append(encodeHeaders(*bodyPart));
    // In memory the body must be exactly as long as declared; the file path writes what the
    // stream yields (a file that changed size is uploaded with its real size).
    std::uint64_t read =
        readBodyStream(*bodyPart, [&out](const std::uint8_t* bytes, std::size_t count) { out.append(bytes, count); });
    if (read != bodyPart->bodyContentLength) {
        fail(MultipartEncodingFailureReason::InputStreamReadFailed{
            std::make_shared<UnexpectedInputStreamLength>(bodyPart->bodyContentLength, read)});
    }
    if (bodyPart->hasFinalBoundary) out.append(finalBoundary());
    return out;
}

platform::Data MultipartFormData::encode() {
    if (bodyPartError) bodyPartError->raise();
    markBoundaries();
    platform::Data out;
    for (const auto& part : bodyParts) out.append(encode(part));
    return out;
}

void MultipartFormData::writeEncodedData(const platform::URL& to) {
    if (bodyPartError) bodyPartError->raise();
    if (fileManager->fileExists(to.path())) fail(MultipartEncodingFailureReason::OutputStreamFileAlreadyExists{to});
    if (!to.isFileURL()) fail(MultipartEncodingFailureReason::OutputStreamURLInvalid{to});
    const std::string path = to.path();
    // Exclusive creation: a file that appeared since the check above is not overwritten.
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) fail(MultipartEncodingFailureReason::OutputStreamCreationFailed{to});
    FileWriter writer(fd);
    try {
        markBoundaries();
        for (const auto& part : bodyParts) {
            writer.write(part->hasInitialBoundary ? initialBoundary() : encapsulatedBoundary());
            writer.write(encodeHeaders(*part));
            readBodyStream(*part,
                           [&writer](const std::uint8_t* bytes, std::size_t count) { writer.write(bytes, count); });
            if (part->hasFinalBoundary) writer.write(finalBoundary());
        }
        writer.close();
    } catch (...) {
        // A truncated body must never be mistaken for a finished one.
        ::unlink(path.c_str());
        throw;
    }
}

}  // namespace Hawser

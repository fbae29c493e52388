// Choosing and building the body of a multipart upload.
#include "Hawser/MultipartUpload.h"

#include "platform/foundation/UUID.h"

namespace Hawser {

MultipartUpload::MultipartUpload(std::uint64_t encodingMemoryThreshold, URLRequestConvertiblePtr request,
                                 MultipartFormDataPtr multipartFormData)
    : encodingMemoryThreshold(encodingMemoryThreshold), request(std::move(request)),
      fileManager(multipartFormData->fileManager), multipartFormData_(std::move(multipartFormData)) {}

platform::URLRequest MultipartUpload::asURLRequest() const {
    platform::URLRequest urlRequest = request->asURLRequest();
    std::string contentType =
        multipartFormData_.read([](const MultipartFormDataPtr& form) { return form->contentType(); });
    urlRequest.setValue(contentType, "Content-Type");
    return urlRequest;
}

Uploadable MultipartUpload::createUploadable() const {
    auto result = result_.write([this](std::optional<platform::Result<Uploadable>>& made) {
        if (!made) {
            try {
                made = platform::Result<Uploadable>::success(build());
            } catch (...) {
                made = platform::Result<Uploadable>::failure(platform::errorFromCurrentException());
            }
        }
        return *made;
    });
    if (result.isFailure()) throw platform::ErrorException(result.error());
    return result.value();
}

Uploadable MultipartUpload::build() const {
    const std::uint64_t length =
        multipartFormData_.read([](const MultipartFormDataPtr& form) { return form->contentLength(); });
    if (length < encodingMemoryThreshold) {
        return Uploadable::data(
            multipartFormData_.read([](const MultipartFormDataPtr& form) { return form->encode(); }));
    }
    platform::URL directory = fileManager->temporaryDirectory()
                                  .appendingPathComponent("org.hawser.manager", true)
                                  .appendingPathComponent("multipart.form.data", true);
    platform::URL file = directory.appendingPathComponent(platform::UUID().uuidString(), false);
    fileManager->createDirectory(directory, true);
    try {
        multipartFormData_.read([&](const MultipartFormDataPtr& form) { form->writeEncodedData(file); });
    } catch (...) {
        try {
            if (fileManager->fileExists(file.path())) fileManager->removeItem(file);
        } catch (...) {
            // The write error is what the caller needs to see.
        }
        throw;
    }
    return Uploadable::file(file, true);
}

}  // namespace Hawser

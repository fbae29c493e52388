// Binds a multipart form to the request it is sent with and decides once how its body
// travels: encoded in memory when small, else streamed to a temporary file that the
// upload request removes when it is done.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>

#include "Hawser/MultipartFormData.h"
#include "Hawser/URLConvertible.h"
#include "Hawser/UploadRequest.h"
#include "platform/base/Protected.h"
#include "platform/base/Result.h"

namespace Hawser {

class MultipartUpload final : public UploadConvertible {
public:
    MultipartUpload(std::uint64_t encodingMemoryThreshold, URLRequestConvertiblePtr request,
                    MultipartFormDataPtr multipartFormData);

    const std::uint64_t encodingMemoryThreshold;
    const URLRequestConvertiblePtr request;
    const std::shared_ptr<platform::FileManager> fileManager;

    // The wrapped request with the form's Content-Type (any existing one replaced).
    platform::URLRequest asURLRequest() const override;
    // Built on the first call; the same body, or the same failure, on every later one.
    Uploadable createUploadable() const override;
    // The decision itself: memory below the threshold, else a file under
    // <temporary>/org.hawser.manager/multipart.form.data/<UUID>.
    Uploadable build() const;

    // Runs `body` on the form with its lock held.
    template <class F>
    decltype(auto) withForm(F&& body) const {
        return multipartFormData_.read([&](const MultipartFormDataPtr& form) { return body(*form); });
    }

private:
    platform::Protected<MultipartFormDataPtr> multipartFormData_;
    // Built on first use and kept.
    mutable platform::Protected<std::optional<platform::Result<Uploadable>>> result_;
};

}  // namespace Hawser

// The handler only a download has: the downloaded file's URL. Every other handler is
// shared with data requests (ResponseHandlers.h).
#pragma once
#include "Hawser/DownloadRequest.h"
#include "Hawser/ResponseHandlers.h"

namespace Hawser {

// The downloaded file's URL; the file is not opened.
DownloadRequestPtr responseURL(const DownloadRequestPtr& request, DispatchQueuePtr queue,
                               DownloadResponseHandler<platform::URL> completionHandler);

}  // namespace Hawser

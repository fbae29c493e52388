// Loading a URL request as a runtime-facing promise.
#pragma once
#include "Pledge/AnyPromise.h"
#include "Pledge/PLGErrorDomain.h"
#include "platform/net/URLSession.h"

namespace Pledge {

// Starts a data task on `session` at once. Fulfilled with a PLGArray of (response object,
// URL response, body data), the response object being the parsed JSON for a JSON media
// type, the decoded text for a "text/" type, else the data. Rejected with the transport
// error, a bad-status error (-1011), an invalid-text error (-1016) or the JSON parser's
// error, each carrying the body and the response when there are some. Meant for sessions
// that complete on a background queue.
AnyPromisePtr promiseDataTaskWithRequest(const platform::URLSessionPtr& session, const platform::URLRequest& request);

// What such a data task's completion resolves its promise with: the PLGArray of a
// fulfilment or the error object of a rejection. `data` is absent when the completion
// brought no body; then the fulfilment holds nil for it and a rejection no body entry.
platform::Value dataTaskOutcome(const platform::URLRequest& request, std::optional<platform::Data> data,
                                platform::URLResponsePtr response, const platform::ErrorPtr& error);

}  // namespace Pledge

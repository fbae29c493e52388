// A request's lifecycle events as asynchronous sequences: its upload and download
// progress, the URL requests and session tasks it creates, and its cURL command text.
// Each iteration registers its handler on singleEventQueue() and ends when the request
// finishes (at once for one that has already finished, was cancelled and cleaned up, or
// is gone) or when its iterator goes away. The caller keeps the request alive while it
// iterates. Progress, URL-request, task and cURL registrations hold one handler each: a
// later registration takes the events away from an earlier iteration.
#pragma once
#include <string>

#include "Hawser/Request.h"
#include "Hawser/StreamOf.h"

namespace Hawser {

StreamOf<platform::ProgressPtr> uploadProgressStream(const RequestPtr& request,
                                                     BufferingPolicy bufferingPolicy = BufferingPolicy::unbounded());
StreamOf<platform::ProgressPtr> downloadProgressStream(const RequestPtr& request,
                                                       BufferingPolicy bufferingPolicy = BufferingPolicy::unbounded());
// The last URL request already created, if any, then each one created later.
StreamOf<URLRequest> urlRequestStream(const RequestPtr& request,
                                      BufferingPolicy bufferingPolicy = BufferingPolicy::unbounded());
// The last task already created, if any, then each one created later.
StreamOf<URLSessionTaskPtr> urlSessionTaskStream(const RequestPtr& request,
                                                 BufferingPolicy bufferingPolicy = BufferingPolicy::unbounded());
// The request's cURL command text, at most once.
StreamOf<std::string> cURLDescriptionStream(const RequestPtr& request,
                                            BufferingPolicy bufferingPolicy = BufferingPolicy::unbounded());

}  // namespace Hawser

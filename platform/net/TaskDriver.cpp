// One task's transfer on the I/O thread: its attempts, the body's way to the delegate or
// to the download file, and the task's end.
#include "platform/net/TaskDriver.h"

#include <arpa/inet.h>
#include <cstring>
#include <curl/curl.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/net/CurlEngine.h"
#include "platform/net/DeliveryChannel.h"
#include "platform/net/TaskDriverSupport.h"
#include "platform/net/URLError.h"

namespace platform {

using namespace driver;

namespace {

// Room for the announced length, made once before a body kept whole grows, so a large
// answer is not copied as it grows; a length no memory can hold is not believed.
void reserveAnnounced(Data& body, const HTTPURLResponsePtr& response) {
    const std::int64_t announced = response ? response->expectedContentLength() : -1;
    if (announced <= 0) return;
    try {
        body.reserve(static_cast<std::size_t>(announced));
    } catch (const std::exception&) {}
}

}  // namespace

TaskDriver::TaskDriver(URLSessionPtr session, URLSessionTask* task)
    : session_(std::move(session)), task_(task), taskRef_(task->shared_from_this()), engine_(session_->engine_),
      hasDelegate_(session_->delegate() != nullptr), head_([this](const std::string& name, const std::string& value) {
          if (equalsIgnoringCase(name, "Set-Cookie")) storeCookie(value);
      }),
      channel_(std::make_shared<DeliveryChannel>()) {}

TaskDriver::~TaskDriver() {
    if (easy_ && !inMulti_) curl_easy_cleanup(easy_);
    if (headerList_) curl_slist_free_all(headerList_);
}

void TaskDriver::transferDone(CURL* easy, int curlResult) {
    TaskDriver* driver = nullptr;
    curl_easy_getinfo(easy, CURLINFO_PRIVATE, reinterpret_cast<char**>(&driver));
    if (driver) driver->onDone(curlResult);
}

void TaskDriver::post(std::function<void(const URLSessionPtr&, const URLSessionDelegatePtr&)> callback) {
    session_->deliver(std::move(callback));
}

void TaskDriver::onIOThread(std::function<void(TaskDriver&)> command) { ioPoster()(std::move(command)); }

std::function<void(std::function<void(TaskDriver&)>)> TaskDriver::ioPoster() const {
    std::weak_ptr<URLSessionTask> weakTask = taskRef_;
    std::weak_ptr<CurlEngine> weakEngine = engine_;
    return [weakTask, weakEngine](std::function<void(TaskDriver&)> command) {
        auto engine = weakEngine.lock();
        if (!engine) return;
        engine->post([weakTask, command = std::move(command)] {
            auto task = weakTask.lock();
            if (task && task->driver_ && !task->driver_->finished_) command(*task->driver_);
        });
    };
}

// ---- Starting ----------------------------------------------------------------------

void TaskDriver::start() {
    taskStart_ = Date::now();
    if (task_->kind() == URLSessionTask::Kind::data) {
        auto* dataTask = static_cast<URLSessionDataTask*>(task_);
        accumulate_ = static_cast<bool>(dataTask->completion_);
        if (!accumulate_ && hasDelegate_ && session_->configuration().urlCache) cacheLimit_ = kCacheableBodyLimit;
    }
    if (task_->kind() == URLSessionTask::Kind::upload)
        accumulate_ = static_cast<bool>(static_cast<URLSessionDataTask*>(task_)->completion_);
    std::optional<URLRequest> request = task_->originalRequest();
    if (task_->kind() == URLSessionTask::Kind::download) {
        auto* download = static_cast<URLSessionDownloadTask*>(task_);
        if (download->resumeData_) {
            resumeFrom_ = DownloadResumeData::decode(*download->resumeData_);
            if (!resumeFrom_) return finish(URLError::make(URLError::Code::cannotDecodeRawData));
            request = resumeFrom_->request;
        }
    }
    if (!request) return finish(URLError::make(URLError::Code::badURL));
    startAttempt(*request);
}

// Only a live handle is ever in the engine, so inMulti_ is false whenever easy_ is null.
void TaskDriver::releaseTransfer() {
    if (easy_) {
        if (inMulti_) engine_->remove(easy_);
        curl_easy_cleanup(easy_);
    }
    easy_ = nullptr;
    inMulti_ = false;
    if (headerList_) curl_slist_free_all(headerList_);
    headerList_ = nullptr;
}

void TaskDriver::resetAttempt() {
    releaseTransfer();
    head_.reset();
    status_ = 0;
    headers_ = HTTPHeaderFields();
    response_.reset();
    intercept_ = Intercept::none;
    bodyStarted_ = false;
    interceptedBody_ = Data();
    recordedError_.reset();
    pause_ &= pausedByUser;
    curlPaused_ = false;
    awaitingDisposition_ = doneWhileAwaiting_ = false;
    if (channel_->release()) scheduleData();
    body_.reset();
    bodyLength_ = -1;
    bodySent_ = 0;
}

void TaskDriver::startAttempt(URLRequest request) {
    resetAttempt();
    request_ = std::move(request);
    task_->fields_.set(&URLSessionTask::Fields::currentRequest, request_);
    const auto& url = request_.url();
    if (!url) return finish(URLError::make(URLError::Code::badURL));
    auto scheme = url->scheme();
    if (scheme != "http" && scheme != "https") return finish(URLError::make(URLError::Code::unsupportedURL, url));
    if (!url->host() || url->host()->empty()) return finish(URLError::make(URLError::Code::badURL, url));
    if (auto field = request_.unsafeHeaderField()) {
        // A line break in a field would let the value write further header lines.
        return finish(URLError::make(
            URLError::Code::badURL, url,
            {{NSLocalizedDescriptionKey, Value("The header field “" + lowercased(*field) + "” holds a line break.")}}));
    }

    bool bodyDropped = request_.httpMethod() == "GET" || request_.httpMethod() == "HEAD";
    if (task_->kind() != URLSessionTask::Kind::download) {
        auto* dataTask = static_cast<URLSessionDataTask*>(task_);
        if (dataTask->bodyData_ && !bodyDropped) {
            body_ = InputStream::withData(*dataTask->bodyData_);
            bodyLength_ = static_cast<std::int64_t>(dataTask->bodyData_->count());
        } else if (dataTask->bodyFile_ && !bodyDropped) {
            struct stat st {};
            if (::stat(dataTask->bodyFile_->c_str(), &st) != 0 || !S_ISREG(st.st_mode))
                return finish(URLError::make(URLError::Code::fileDoesNotExist, url));
            body_ = InputStream::withFileAtPath(*dataTask->bodyFile_);
            bodyLength_ = static_cast<std::int64_t>(st.st_size);
        } else if (dataTask->streamedBody_ && !bodyDropped) {
            return provideBodyStreamThen([this] { launch(); });
        }
    }
    if (!body_ && request_.httpBody()) {
        body_ = InputStream::withData(*request_.httpBody());
        bodyLength_ = static_cast<std::int64_t>(request_.httpBody()->count());
    } else if (!body_ && request_.httpBodyStream()) {
        if (redirects_ == 0 && authFailures_ == 0) {
            body_ = request_.httpBodyStream();  // a stream can be read once; later rounds ask the delegate
        } else {
            return provideBodyStreamThen([this] { launch(); });
        }
    }
    launch();
}

void TaskDriver::provideBodyStreamThen(std::function<void()> next) {
    auto answer = once([io = ioPoster(), next](InputStreamPtr stream) {
        io([stream, next](TaskDriver& driver) {
            if (!stream)
                return driver.finish(URLError::make(URLError::Code::requestBodyStreamExhausted, driver.request_.url()));
            driver.body_ = stream;
            driver.bodyLength_ = -1;
            if (auto length = driver.request_.value("Content-Length")) driver.bodyLength_ = std::atoll(length->c_str());
            next();
        });
    });
    auto task = taskRef_;
    post([task, answer](const URLSessionPtr& session, const URLSessionDelegatePtr& delegate) mutable {
        if (delegate) delegate->needNewBodyStream(session, task, answer);
        else answer(nullptr);
    });
}

void TaskDriver::launch() {
    if (finished_) return;
    if (!configure(request_)) return finish(URLError::make(URLError::Code::unknown, request_.url()));
    attemptStart_ = Date::now();
    task_->bytesExpectedToSend_ = bodyLength_ < 0 ? 0 : bodyLength_;
    channel_->expectUpload(bodyLength_ < 0 ? NSURLSessionTransferSizeUnknown : bodyLength_);
    engine_->add(easy_);
    inMulti_ = true;
    if (pause_) applyPause();
}

// ---- Pausing -----------------------------------------------------------------------

void TaskDriver::applyPause() {
    if (!easy_ || !inMulti_) return;
    if (pause_ && !curlPaused_) {
        curlPaused_ = true;
        curl_easy_pause(easy_, CURLPAUSE_ALL);
    } else if (!pause_ && curlPaused_) {
        curlPaused_ = false;
        curl_easy_pause(easy_, CURLPAUSE_CONT);  // may call the write callback at once
    }
}

void TaskDriver::clearPause(unsigned reason) {
    pause_ &= ~reason;
    applyPause();
}

void TaskDriver::setUserSuspended(bool suspended) {
    if (finished_) return;
    if (suspended) pause_ |= pausedByUser;
    else pause_ &= ~pausedByUser;
    applyPause();
}

// ---- libcurl callbacks ---------------------------------------------------------------

std::size_t TaskDriver::headerCallback(char* data, std::size_t size, std::size_t count, void* self) {
    return static_cast<TaskDriver*>(self)->onHeader(data, size * count);
}
std::size_t TaskDriver::writeCallback(char* data, std::size_t size, std::size_t count, void* self) {
    return static_cast<TaskDriver*>(self)->onWrite(data, size * count);
}
std::size_t TaskDriver::readCallback(char* data, std::size_t size, std::size_t count, void* self) {
    return static_cast<TaskDriver*>(self)->onRead(data, size * count);
}

std::size_t TaskDriver::onHeader(const char* data, std::size_t length) {
    switch (head_.take(std::string_view(data, length))) {
        case ResponseHeadParser::Outcome::tooLarge:
            recordedError_ =
                URLError::make(URLError::Code::badServerResponse, request_.url(),
                               {{NSLocalizedDescriptionKey, Value("The server's header block is too large.")}});
            return 0;
        case ResponseHeadParser::Outcome::headComplete: headersComplete(); break;
        case ResponseHeadParser::Outcome::more: break;
    }
    return length;
}

void TaskDriver::storeCookie(const std::string& value) {
    const auto& config = session_->configuration();
    if (config.httpShouldSetCookies && request_.httpShouldHandleCookies() && config.httpCookieStorage &&
        config.httpCookieAcceptPolicy != HTTPCookieAcceptPolicy::never)
        if (auto cookie = HTTPCookie::parseSetCookie(value, *request_.url()))
            config.httpCookieStorage->setCookies({*cookie}, *request_.url(), std::nullopt);
}

void TaskDriver::headersComplete() {
    status_ = head_.status();
    headers_ = head_.fields();
    response_ = head_.response(*request_.url());
    intercept_ = Intercept::none;
    if (isRedirectStatus(status_) && headers_.contains("Location")) intercept_ = Intercept::redirect;
    else if (status_ == 401 && authenticationScheme(headers_)) intercept_ = Intercept::authentication;
}

// Called at the first byte of the final answer's body (or at its end when it has none).
void TaskDriver::beginBody() {
    bodyStarted_ = true;
    if (!response_) return;
    task_->fields_.set(&URLSessionTask::Fields::response, response_);
    std::int64_t expected = response_->expectedContentLength();
    if (task_->kind() == URLSessionTask::Kind::download) {
        bool resumed = false;
        std::int64_t total = expected;
        if (resumeOffset_ > 0 && status_ == 206) {
            auto whole = resumedTotalLength(response_->value("Content-Range").value_or(""), resumeOffset_, expected);
            if (!whole) {
                recordedError_ = URLError::make(URLError::Code::badServerResponse, request_.url());
                return;
            }
            resumed = true;
            total = *whole;
        } else {
            resumeOffset_ = 0;
        }
        if (!downloadFile_.open(resumeOffset_)) {
            recordedError_ = URLError::make(URLError::Code::cannotCreateFile, request_.url());
            return;
        }
        task_->bytesExpectedToReceive_ = total;
        channel_->downloadProgress.start(resumeOffset_, total);
        if (resumeFrom_ && redirects_ == 0) {
            auto task = std::static_pointer_cast<URLSessionDownloadTask>(taskRef_);
            std::int64_t offset = resumed ? resumeOffset_ : 0;
            auto* download = static_cast<URLSessionDownloadTask*>(task_);
            if (!download->completion_)
                post([task, offset, total](const URLSessionPtr& session, const URLSessionDelegatePtr& delegate) {
                    if (delegate) delegate->didResumeAtOffset(session, task, offset, total);
                });
        }
        return;
    }
    task_->bytesExpectedToReceive_ = expected;
    if (accumulate_ || !hasDelegate_) return;
    // Bytes are kept back (the transfer goes on) until the delegate allows the response.
    awaitingDisposition_ = true;
    channel_->hold();
    auto task = std::static_pointer_cast<URLSessionDataTask>(taskRef_);
    URLResponsePtr response = response_;
    auto answer = once([io = ioPoster()](URLSessionResponseDisposition disposition) {
        io([disposition](TaskDriver& driver) {
            if (disposition == URLSessionResponseDisposition::cancel)
                return driver.finish(URLError::make(URLError::Code::cancelled, driver.request_.url()));
            driver.releaseHeldData();
            if (driver.doneWhileAwaiting_) driver.finishSuccess();
        });
    });
    post([task, response, answer](const URLSessionPtr& session, const URLSessionDelegatePtr& delegate) mutable {
        if (delegate) delegate->didReceiveResponse(session, task, response, answer);
        else answer(URLSessionResponseDisposition::allow);
    });
}

void TaskDriver::releaseHeldData() {
    awaitingDisposition_ = false;
    if (channel_->release()) scheduleData();
}

void TaskDriver::scheduleData() {
    auto channel = channel_;
    auto task = std::static_pointer_cast<URLSessionDataTask>(taskRef_);
    auto engine = engine_;
    post([channel, task, engine](const URLSessionPtr& session, const URLSessionDelegatePtr& delegate) {
        auto chunk = channel->takeBytes();
        if (delegate && !chunk.bytes.isEmpty()) delegate->didReceiveData(session, task, chunk.bytes);
        if (chunk.resume)
            engine->post([task] {
                if (task->driver_) task->driver_->clearPause(backpressure);
            });
    });
}

std::size_t TaskDriver::onWrite(const char* data, std::size_t length) {
    if (recordedError_ || finished_) return 0;
    if (intercept_ != Intercept::none) {
        if (interceptedBody_.count() + length > kMaxInterceptedBody) {
            recordedError_ = URLError::make(URLError::Code::badServerResponse, request_.url());
            return 0;
        }
        interceptedBody_.append(data, length);
        return length;
    }
    if (!bodyStarted_) beginBody();
    if (recordedError_) return 0;
    if (task_->kind() == URLSessionTask::Kind::download) return onDownloadWrite(data, length);
    if (accumulate_ || !hasDelegate_) {
        if (accumulate_) {
            if (body_accumulated_.isEmpty()) reserveAnnounced(body_accumulated_, response_);
            body_accumulated_.append(data, length);
        }
        task_->bytesReceived_ += static_cast<std::int64_t>(length);
        return length;
    }
    auto appended = channel_->append(data, length);
    if (appended.schedule) scheduleData();
    if (appended.behind) {
        // The delegate is behind: stop reading until it has caught up. (The bytes of this
        // call are taken: a transfer paused by the write callback's answer can end with
        // them lost.)
        pause_ |= backpressure;
        applyPause();
    }
    if (cacheLimit_) {
        if (body_accumulated_.count() + length <= cacheLimit_) body_accumulated_.append(data, length);
        else cacheLimit_ = 0, body_accumulated_ = Data();
    }
    task_->bytesReceived_ += static_cast<std::int64_t>(length);
    return length;
}

std::size_t TaskDriver::onDownloadWrite(const char* data, std::size_t length) {
    if (int error = downloadFile_.write(data, length)) {
        recordedError_ = URLError::make(URLError::Code::cannotWriteToFile, request_.url(), {},
                                        posixError(error, "write " + downloadFile_.path()));
        return 0;
    }
    task_->bytesReceived_ += static_cast<std::int64_t>(length);
    auto* download = static_cast<URLSessionDownloadTask*>(task_);
    if (hasDelegate_ && !download->completion_) stepProgress(static_cast<std::int64_t>(length));
    return length;
}

void TaskDriver::stepProgress(std::int64_t bytes) {
    switch (channel_->downloadProgress.received(bytes)) {
        case ProgressStepper::Next::report: return scheduleProgress();
        case ProgressStepper::Next::armFlush: return armProgressFlush();
        case ProgressStepper::Next::nothing: return;
    }
}

// Held back bytes are still told when no more data comes.
void TaskDriver::armProgressFlush() {
    auto poster = ioPoster();
    DispatchQueue::global()->asyncAfter(std::chrono::duration<double>(ProgressStepper::stepTime).count(), [poster] {
        poster([](TaskDriver& driver) {
            if (driver.channel_->downloadProgress.flushHeld()) driver.scheduleProgress();
        });
    });
}

void TaskDriver::scheduleProgress() {
    auto channel = channel_;
    auto task = std::static_pointer_cast<URLSessionDownloadTask>(taskRef_);
    post([channel, task](const URLSessionPtr& session, const URLSessionDelegatePtr& delegate) {
        auto p = channel->downloadProgress.take();
        if (delegate && p.delta > 0) delegate->didWriteData(session, task, p.delta, p.total, p.expected);
    });
}

std::size_t TaskDriver::onRead(char* data, std::size_t length) {
    if (!body_) return 0;
    ssize_t n = body_->read(reinterpret_cast<std::uint8_t*>(data), length);
    if (n < 0) {
        recordedError_ =
            URLError::make(URLError::Code::requestBodyStreamExhausted, request_.url(), {}, body_->streamError());
        return CURL_READFUNC_ABORT;
    }
    bodySent_ += n;
    task_->bytesSent_ += n;
    if (n > 0 && hasDelegate_ && channel_->sent(n)) scheduleUploadProgress();
    return static_cast<std::size_t>(n);
}

void TaskDriver::scheduleUploadProgress() {
    auto channel = channel_;
    auto task = taskRef_;
    post([channel, task](const URLSessionPtr& session, const URLSessionDelegatePtr& delegate) {
        auto p = channel->takeUpload();
        if (delegate && p.delta > 0) delegate->didSendBodyData(session, task, p.delta, p.total, p.expected);
    });
}

// ---- After an attempt ----------------------------------------------------------------

namespace {

// The socket of this process connected from `localPort` to `remotePort`; the transfer
// does not tell which socket a reused connection has.
int connectedSocket(int localPort, int remotePort) {
    DIR* fds = ::opendir("/proc/self/fd");
    if (!fds) return -1;
    int found = -1;
    while (dirent* entry = ::readdir(fds)) {
        const int fd = std::atoi(entry->d_name);
        if (fd <= 2 || fd == ::dirfd(fds)) continue;
        sockaddr_storage local{}, remote{};
        socklen_t localLength = sizeof local, remoteLength = sizeof remote;
        if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLength) != 0 ||
            ::getpeername(fd, reinterpret_cast<sockaddr*>(&remote), &remoteLength) != 0)
            continue;
        auto port = [](const sockaddr_storage& address) {
            if (address.ss_family == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
            if (address.ss_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
            return static_cast<std::uint16_t>(0);
        };
        if (port(local) == localPort && port(remote) == remotePort) {
            found = fd;
            break;
        }
    }
    ::closedir(fds);
    return found;
}

}  // namespace

int TaskDriver::prereqCallback(void* self, char*, char*, int remotePort, int localPort) {
    auto* driver = static_cast<TaskDriver*>(self);
    long connects = 0;
    curl_easy_getinfo(driver->easy_, CURLINFO_NUM_CONNECTS, &connects);
    if (connects > 0 || driver->freshConnection_) return CURL_PREREQFUNC_OK;
    // A reused HTTP/1.1 connection has nothing to read while idle; whatever is there
    // would be taken for the next reply.
    const int socket = connectedSocket(localPort, remotePort);
    char byte;
    if (socket >= 0 && ::recv(socket, &byte, 1, MSG_PEEK | MSG_DONTWAIT) > 0) {
        driver->staleConnection_ = true;
        return CURL_PREREQFUNC_ABORT;
    }
    return CURL_PREREQFUNC_OK;
}

void TaskDriver::onDone(int curlResult) {
    if (finished_) return;
    inMulti_ = false;
    if (staleConnection_ && curlResult == CURLE_ABORTED_BY_CALLBACK) {
        // Nothing was sent: the same request goes out once more, on a connection of its own.
        staleConnection_ = false;
        freshConnection_ = true;
        return startAttempt(request_);
    }
    // The bytes not yet told as progress are told before anything that ends the task.
    if (channel_->downloadProgress.finishing()) scheduleProgress();
    recordTransaction();
    ErrorPtr error = recordedError_ ? recordedError_ : errorForResult(curlResult);
    if (error) {
        bool keep = false;
        if (auto urlError = std::dynamic_pointer_cast<const URLError>(error))
            keep = urlError->downloadTaskResumeData().has_value();
        return finish(error, keep);
    }
    if (intercept_ == Intercept::redirect) return decideRedirect();
    if (intercept_ == Intercept::authentication) return decideAuthentication();
    if (!bodyStarted_) {
        beginBody();
        if (recordedError_) return finish(recordedError_);
        releaseHeldData();  // nothing to hold: the response and the end go out together
    }
    if (awaitingDisposition_) {
        doneWhileAwaiting_ = true;  // finished when the delegate allows the response
        return;
    }
    finishSuccess();
}

ErrorPtr TaskDriver::errorForResult(int curlResult) {
    long osErrno = 0;
    curl_easy_getinfo(easy_, CURLINFO_OS_ERRNO, &osErrno);
    auto code = urlErrorCodeForCurlResult(curlResult, osErrno);
    if (!code) return nullptr;
    Value::Dictionary info{
        {NSDebugDescriptionErrorKey, Value(std::string(curl_easy_strerror(static_cast<CURLcode>(curlResult))))}};
    if (task_->kind() == URLSessionTask::Kind::download &&
        (*code == URLError::Code::networkConnectionLost || *code == URLError::Code::timedOut)) {
        if (auto resume = resumeDataNow()) info[NSURLSessionDownloadTaskResumeData] = Value(resume->encoded());
    }
    return URLError::make(*code, request_.url(), std::move(info));
}

std::optional<DownloadResumeData> TaskDriver::resumeDataNow() {
    if (task_->kind() != URLSessionTask::Kind::download || downloadFile_.path().empty() || !response_)
        return std::nullopt;
    if (status_ != 200 && status_ != 206) return std::nullopt;
    if (response_->value("Content-Encoding")) return std::nullopt;  // offsets would not match the server's
    DownloadResumeData r;
    r.entityTag = response_->value("ETag");
    r.lastModified = response_->value("Last-Modified");
    if (!r.validator()) return std::nullopt;
    r.offset = resumeOffset_ + downloadFile_.written();
    if (r.offset <= 0) return std::nullopt;
    r.request = resumeFrom_ ? resumeFrom_->request : task_->originalRequest().value_or(request_);
    r.temporaryPath = downloadFile_.path();
    r.expectedTotalBytes = channel_->downloadProgress.expected();
    return r;
}

// ---- The end ---------------------------------------------------------------------------

void TaskDriver::finishSuccess() {
    const auto& config = session_->configuration();
    if (credentialToStore_ && credentialSpace_ && status_ != 401 && config.urlCredentialStorage)
        config.urlCredentialStorage->set(credentialToStore_, *credentialSpace_);
    bool cacheable = cacheLimit_ && config.urlCache && response_ && status_ == 200 && request_.httpMethod() == "GET" &&
                     request_.cachePolicy() != URLRequest::CachePolicy::reloadIgnoringLocalAndRemoteCacheData &&
                     lowercased(response_->value("Cache-Control").value_or("")).find("no-store") == std::string::npos;
    if (cacheable) {
        auto proposed = std::make_shared<CachedURLResponse>(response_, body_accumulated_);
        auto task = std::static_pointer_cast<URLSessionDataTask>(taskRef_);
        auto cache = config.urlCache;
        auto request = request_;
        post([task, proposed, cache, request](const URLSessionPtr& session, const URLSessionDelegatePtr& delegate) {
            auto store = [cache, request](CachedURLResponsePtr response) {
                if (response) cache->storeCachedResponse(response, request);
            };
            if (delegate) delegate->willCacheResponse(session, task, proposed, store);
            else store(proposed);
        });
    }
    finish(nullptr);
}

void TaskDriver::finish(ErrorPtr error, bool keepDownloadFile) {
    if (finished_) return;
    finished_ = true;
    releaseTransfer();
    if (body_) body_->close();
    downloadFile_.close();

    auto task = taskRef_;
    URLResponsePtr response = task_->response();
    std::optional<URL> location;
    if (task_->kind() == URLSessionTask::Kind::download && !downloadFile_.path().empty()) {
        if (!error) location = URL::fileURL(downloadFile_.path(), false);
        else if (!keepDownloadFile) downloadFile_.remove();
    }
    if (location) {
        auto download = std::static_pointer_cast<URLSessionDownloadTask>(task);
        if (!download->completion_)
            post([download, location](const URLSessionPtr& session, const URLSessionDelegatePtr& delegate) {
                if (delegate) delegate->didFinishDownloadingTo(session, download, *location);
                ::unlink(location->path().c_str());  // the delegate moved it, or it is not wanted
            });
    }
    URLSessionTaskMetrics metrics{std::move(transactions_),
                                  DateInterval{taskStart_, Date::now().timeIntervalSince(taskStart_)}, redirects_};
    post([task, metrics](const URLSessionPtr& session, const URLSessionDelegatePtr& delegate) {
        if (delegate) delegate->didFinishCollectingMetrics(session, task, metrics);
    });
    std::optional<Data> body;
    if (!error && accumulate_) body = std::move(body_accumulated_);
    // The body moves to the completion: an answer of any size is held once on its way.
    post([task, error, response, body = std::move(body), location](const URLSessionPtr& session,
                                                                   const URLSessionDelegatePtr& delegate) mutable {
        task->fields_.write([&](URLSessionTask::Fields& f) {
            f.state = URLSessionTask::State::completed;
            f.error = error;
        });
        if (task->kind() == URLSessionTask::Kind::download) {
            auto download = std::static_pointer_cast<URLSessionDownloadTask>(task);
            if (download->completion_) {
                auto handler = std::move(download->completion_);
                handler(location, response, error);
                if (location) ::unlink(location->path().c_str());
            } else if (delegate) {
                delegate->didCompleteWithError(session, task, error);
            }
        } else {
            auto dataTask = std::static_pointer_cast<URLSessionDataTask>(task);
            if (dataTask->completion_) {
                auto handler = std::move(dataTask->completion_);
                if (!body) body = Data();
                handler(error ? std::nullopt : std::move(body), response, error);
            } else if (delegate) {
                delegate->didCompleteWithError(session, task, error);
            }
        }
        session->taskDidComplete(task->taskIdentifier());
    });
    session_.reset();
    auto last = std::move(taskRef_);  // may end this driver's life when it goes
}

void TaskDriver::cancel(std::function<void(std::optional<Data>)> resumeHandler, bool producesResumeData) {
    if (finished_) {
        if (resumeHandler)
            post([resumeHandler](const URLSessionPtr&, const URLSessionDelegatePtr&) { resumeHandler(std::nullopt); });
        return;
    }
    std::optional<Data> resumeData;
    if (producesResumeData)
        if (auto r = resumeDataNow()) resumeData = r->encoded();
    Value::Dictionary info;
    if (resumeData) info[NSURLSessionDownloadTaskResumeData] = Value(*resumeData);
    if (resumeHandler)
        post([resumeHandler, resumeData](const URLSessionPtr&, const URLSessionDelegatePtr&) {
            resumeHandler(resumeData);
        });
    auto url = request_.url()             ? request_.url()
               : task_->originalRequest() ? task_->originalRequest()->url()
                                          : std::nullopt;
    finish(URLError::make(URLError::Code::cancelled, url, std::move(info)), resumeData.has_value());
}

}  // namespace platform

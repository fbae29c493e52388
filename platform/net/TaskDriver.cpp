// One task's transfer on the I/O thread: its attempts, header parsing, the body's way to
// the delegate or to the download file, and the task's end.
#include "platform/net/TaskDriver.h"

#include <cerrno>
#include <cstring>
#include <curl/curl.h>
#include <fcntl.h>
#include <sys/file.h>
#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/files/FileManager.h"
#include "platform/net/CurlEngine.h"
#include "platform/net/ResponseHeaderLine.h"
#include "platform/net/TaskDriverSupport.h"
#include "platform/net/URLError.h"

namespace platform {

using namespace driver;

namespace {
// The figures of one posted progress report, taken under the channel's lock; taking them
// clears the pending delta and lets the next report be scheduled.
struct TakenProgress {
    std::int64_t delta, total, expected;
};
constexpr std::int64_t kProgressStepBytes = 256 * 1024;
constexpr auto kProgressStepTime = std::chrono::milliseconds(50);

TakenProgress takeProgress(DeliveryChannel& channel, std::int64_t DeliveryChannel::*delta,
                           std::int64_t DeliveryChannel::*total, std::int64_t DeliveryChannel::*expected,
                           bool DeliveryChannel::*scheduled) {
    std::lock_guard lock(channel.mutex);
    TakenProgress taken{channel.*delta, channel.*total, channel.*expected};
    channel.*delta = 0;
    channel.*scheduled = false;
    return taken;
}
}  // namespace

TaskDriver::TaskDriver(URLSessionPtr session, URLSessionTask* task)
    : session_(std::move(session)), task_(task), taskRef_(task->shared_from_this()), engine_(session_->engine_),
      hasDelegate_(session_->delegate() != nullptr), channel_(std::make_shared<DeliveryChannel>()) {}

TaskDriver::~TaskDriver() {
    if (easy_ && !inMulti_) curl_easy_cleanup(easy_);
    if (headerList_) curl_slist_free_all(headerList_);
    if (fd_ >= 0) ::close(fd_);
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
    status_ = 0;
    headers_ = HTTPHeaderFields();
    headerBytes_ = 0;
    response_.reset();
    intercept_ = Intercept::none;
    bodyStarted_ = false;
    interceptedBody_ = Data();
    recordedError_.reset();
    pause_ &= pausedByUser;
    curlPaused_ = false;
    awaitingDisposition_ = doneWhileAwaiting_ = false;
    {
        std::lock_guard lock(channel_->mutex);
        channel_->holding = false;
    }
    body_.reset();
    bodyLength_ = -1;
    bodySent_ = 0;
}

void TaskDriver::startAttempt(URLRequest request) {
    resetAttempt();
    request_ = std::move(request);
    {
        std::lock_guard lock(task_->mutex_);
        task_->currentRequest_ = request_;
    }
    const auto& url = request_.url();
    if (!url) return finish(URLError::make(URLError::Code::badURL));
    auto scheme = url->scheme();
    if (scheme != "http" && scheme != "https") return finish(URLError::make(URLError::Code::unsupportedURL, url));
    if (!url->host() || url->host()->empty()) return finish(URLError::make(URLError::Code::badURL, url));
    if (auto field = request_.unsafeHeaderField()) {
        // A line break in a field would let the value write further header lines.
        return finish(URLError::make(URLError::Code::badURL, url,
                                     {{NSLocalizedDescriptionKey,
                                       Value("The header field “" + lowercased(*field) + "” holds a line break.")}}));
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
            if (!stream) return driver.finish(URLError::make(URLError::Code::requestBodyStreamExhausted, driver.request_.url()));
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
    {
        std::lock_guard lock(task_->mutex_);
        task_->bytesExpectedToSend_ = bodyLength_ < 0 ? 0 : bodyLength_;
    }
    channel_->uploadExpected = bodyLength_ < 0 ? NSURLSessionTransferSizeUnknown : bodyLength_;
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
    headerBytes_ += length;
    if (headerBytes_ > kMaxHeaderBlock) {
        recordedError_ = URLError::make(URLError::Code::badServerResponse, request_.url(),
                                        {{NSLocalizedDescriptionKey, Value("The server's header block is too large.")}});
        return 0;
    }
    auto line = ResponseHeaderLine::parse(std::string_view(data, length));
    switch (line.kind) {
        case ResponseHeaderLine::Kind::statusLine:
            // A new answer (after 1xx, or a further authentication round inside libcurl).
            headers_ = HTTPHeaderFields();
            headerBytes_ = length;
            httpVersion_ = std::move(line.httpVersion);
            status_ = line.statusCode;
            return length;
        case ResponseHeaderLine::Kind::end:
            if (status_ >= 200) headersComplete();
            return length;
        case ResponseHeaderLine::Kind::ignored: return length;
        case ResponseHeaderLine::Kind::field: break;
    }
    const std::string& name = line.name;
    const std::string& value = line.value;
    if (equalsIgnoringCase(name, "Set-Cookie")) {
        const auto& config = session_->configuration();
        if (config.httpShouldSetCookies && request_.httpShouldHandleCookies() && config.httpCookieStorage &&
            config.httpCookieAcceptPolicy != HTTPCookieAcceptPolicy::never)
            if (auto cookie = HTTPCookie::parseSetCookie(value, *request_.url()))
                config.httpCookieStorage->setCookies({*cookie}, *request_.url(), std::nullopt);
    }
    headers_.add(name, value);
    return length;
}

void TaskDriver::headersComplete() {
    response_ = std::make_shared<HTTPURLResponse>(*request_.url(), status_, httpVersion_, headers_);
    intercept_ = Intercept::none;
    if (isRedirectStatus(status_) && headers_.contains("Location")) intercept_ = Intercept::redirect;
    else if (status_ == 401 && authenticationScheme(headers_)) intercept_ = Intercept::authentication;
}

// Called at the first byte of the final answer's body (or at its end when it has none).
void TaskDriver::beginBody() {
    bodyStarted_ = true;
    if (!response_) return;
    {
        std::lock_guard lock(task_->mutex_);
        task_->response_ = response_;
    }
    std::int64_t expected = response_->expectedContentLength();
    if (task_->kind() == URLSessionTask::Kind::download) {
        bool resumed = false;
        std::int64_t total = expected;
        if (resumeOffset_ > 0 && status_ == 206) {
            auto range = response_->value("Content-Range").value_or("");
            long long first = -1, last = -1, whole = -1;
            if (std::sscanf(range.c_str(), "bytes %lld-%lld/%lld", &first, &last, &whole) < 2 || first != resumeOffset_) {
                recordedError_ = URLError::make(URLError::Code::badServerResponse, request_.url());
                return;
            }
            resumed = true;
            total = whole > 0 ? whole : (expected >= 0 ? resumeOffset_ + expected : -1);
        } else {
            resumeOffset_ = 0;
        }
        if (!openDownloadFile()) {
            recordedError_ = URLError::make(URLError::Code::cannotCreateFile, request_.url());
            return;
        }
        task_->bytesExpectedToReceive_ = total;
        channel_->progressExpected = total;
        channel_->progressTotal = resumeOffset_;
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
    {
        std::lock_guard lock(channel_->mutex);
        channel_->holding = true;
    }
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
    std::lock_guard lock(channel_->mutex);
    channel_->holding = false;
    if (!channel_->pending.isEmpty() && !channel_->dataScheduled) scheduleData();
}

void TaskDriver::scheduleData() {
    channel_->dataScheduled = true;
    auto channel = channel_;
    auto task = std::static_pointer_cast<URLSessionDataTask>(taskRef_);
    auto engine = engine_;
    post([channel, task, engine](const URLSessionPtr& session, const URLSessionDelegatePtr& delegate) {
        Data chunk;
        bool resume;
        {
            std::lock_guard lock(channel->mutex);
            chunk.bytes().swap(channel->pending.bytes());
            channel->dataScheduled = false;
            resume = channel->backpressured;
            channel->backpressured = false;
        }
        if (delegate && !chunk.isEmpty()) delegate->didReceiveData(session, task, chunk);
        if (resume)
            engine->post([task] {
                if (task->driver_) task->driver_->clearPause(backpressure);
            });
    });
}

// A download's file is held locked while it is written, so that a clean-up of partial
// downloads left by killed processes can tell it from theirs (with the process id in its
// name, which also covers the moment between closing the file and moving it).
static void lockDownloadFile(int fd) { ::flock(fd, LOCK_EX | LOCK_NB); }

bool TaskDriver::openDownloadFile() {
    if (resumeOffset_ > 0) {
        fd_ = ::open(downloadPath_.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd_ < 0 || ::ftruncate(fd_, resumeOffset_) != 0 || ::lseek(fd_, resumeOffset_, SEEK_SET) < 0) return false;
        lockDownloadFile(fd_);
        return true;
    }
    if (!downloadPath_.empty()) {  // resuming failed: start the same file over
        fd_ = ::open(downloadPath_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        if (fd_ >= 0) {
            lockDownloadFile(fd_);
            return true;
        }
    }
    std::string folder;
    try {
        folder = FileManager::defaultManager()->temporaryDirectory().path();
    } catch (const ErrorException&) {
        folder = "/tmp";
    }
    // The process id in the name tells a clean-up whose file it is while that process lives.
    std::string pattern = folder + "/download-" + std::to_string(::getpid()) + "-XXXXXX.tmp";
    fd_ = ::mkstemps(pattern.data(), 4);
    if (fd_ < 0) return false;
    ::fcntl(fd_, F_SETFD, FD_CLOEXEC);
    lockDownloadFile(fd_);
    downloadPath_ = pattern;
    return true;
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
    if (task_->kind() == URLSessionTask::Kind::download) {
        std::size_t done = 0;
        while (done < length) {
            ssize_t n = ::write(fd_, data + done, length - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                recordedError_ = URLError::make(URLError::Code::cannotWriteToFile, request_.url(), {},
                                                posixError(errno, "write " + downloadPath_));
                return 0;
            }
            done += static_cast<std::size_t>(n);
        }
        written_ += static_cast<std::int64_t>(length);
        task_->bytesReceived_ += static_cast<std::int64_t>(length);
        auto* download = static_cast<URLSessionDownloadTask*>(task_);
        if (hasDelegate_ && !download->completion_) {
            std::lock_guard lock(channel_->mutex);
            channel_->progressDelta += static_cast<std::int64_t>(length);
            channel_->progressTotal += static_cast<std::int64_t>(length);
            // Progress is told in steps (a size or a moment, whichever comes first), so a
            // fast download does not cost a delegate call for every few kilobytes; the rest
            // is told when the transfer ends.
            auto now = std::chrono::steady_clock::now();
            if (!channel_->progressScheduled) {
                if (channel_->progressDelta >= kProgressStepBytes || now - channel_->lastProgress >= kProgressStepTime) {
                    channel_->lastProgress = now;
                    scheduleProgress();
                } else if (!progressFlushArmed_) {
                    // Held back bytes are still told when no more data comes.
                    progressFlushArmed_ = true;
                    auto poster = ioPoster();
                    DispatchQueue::global()->asyncAfter(
                        std::chrono::duration<double>(kProgressStepTime).count(),
                        [poster] { poster([](TaskDriver& driver) { driver.flushHeldProgress(); }); });
                }
            }
        }
        return length;
    }
    if (accumulate_ || !hasDelegate_) {
        if (accumulate_) body_accumulated_.append(data, length);
        task_->bytesReceived_ += static_cast<std::int64_t>(length);
        return length;
    }
    bool behind;
    {
        std::lock_guard lock(channel_->mutex);
        channel_->pending.append(data, length);
        if (!channel_->holding && !channel_->dataScheduled) scheduleData();
        behind = channel_->pending.count() >= kMaxPendingData;
        if (behind) channel_->backpressured = true;
    }
    if (behind) {
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

void TaskDriver::flushHeldProgress() {
    progressFlushArmed_ = false;
    std::lock_guard lock(channel_->mutex);
    if (channel_->progressDelta > 0 && !channel_->progressScheduled) {
        channel_->lastProgress = std::chrono::steady_clock::now();
        scheduleProgress();
    }
}

void TaskDriver::scheduleProgress() {
    channel_->progressScheduled = true;
    auto channel = channel_;
    auto task = std::static_pointer_cast<URLSessionDownloadTask>(taskRef_);
    post([channel, task](const URLSessionPtr& session, const URLSessionDelegatePtr& delegate) {
        auto p = takeProgress(*channel, &DeliveryChannel::progressDelta, &DeliveryChannel::progressTotal,
                              &DeliveryChannel::progressExpected, &DeliveryChannel::progressScheduled);
        if (delegate && p.delta > 0) delegate->didWriteData(session, task, p.delta, p.total, p.expected);
    });
}

std::size_t TaskDriver::onRead(char* data, std::size_t length) {
    if (!body_) return 0;
    ssize_t n = body_->read(reinterpret_cast<std::uint8_t*>(data), length);
    if (n < 0) {
        recordedError_ = URLError::make(URLError::Code::requestBodyStreamExhausted, request_.url(), {},
                                        body_->streamError());
        return CURL_READFUNC_ABORT;
    }
    bodySent_ += n;
    task_->bytesSent_ += n;
    if (n > 0 && hasDelegate_) {
        std::lock_guard lock(channel_->mutex);
        channel_->uploadDelta += n;
        channel_->uploadTotal += n;
        if (!channel_->uploadScheduled) {
            channel_->uploadScheduled = true;
            auto channel = channel_;
            auto task = taskRef_;
            post([channel, task](const URLSessionPtr& session, const URLSessionDelegatePtr& delegate) {
                auto p = takeProgress(*channel, &DeliveryChannel::uploadDelta, &DeliveryChannel::uploadTotal,
                                      &DeliveryChannel::uploadExpected, &DeliveryChannel::uploadScheduled);
                if (delegate && p.delta > 0) delegate->didSendBodyData(session, task, p.delta, p.total, p.expected);
            });
        }
    }
    return static_cast<std::size_t>(n);
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
    {
        // The bytes not yet told as progress are told before anything that ends the task.
        std::lock_guard lock(channel_->mutex);
        if (channel_->progressDelta > 0 && !channel_->progressScheduled) scheduleProgress();
    }
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
    Value::Dictionary info{{NSDebugDescriptionErrorKey, Value(std::string(curl_easy_strerror(static_cast<CURLcode>(curlResult))))}};
    if (task_->kind() == URLSessionTask::Kind::download &&
        (*code == URLError::Code::networkConnectionLost || *code == URLError::Code::timedOut)) {
        if (auto resume = resumeDataNow()) info[NSURLSessionDownloadTaskResumeData] = Value(resume->encoded());
    }
    return URLError::make(*code, request_.url(), std::move(info));
}

std::optional<DownloadResumeData> TaskDriver::resumeDataNow() {
    if (task_->kind() != URLSessionTask::Kind::download || downloadPath_.empty() || !response_) return std::nullopt;
    if (status_ != 200 && status_ != 206) return std::nullopt;
    if (response_->value("Content-Encoding")) return std::nullopt;  // offsets would not match the server's
    DownloadResumeData r;
    r.entityTag = response_->value("ETag");
    r.lastModified = response_->value("Last-Modified");
    if (!r.validator()) return std::nullopt;
    r.offset = resumeOffset_ + written_;
    if (r.offset <= 0) return std::nullopt;
    r.request = resumeFrom_ ? resumeFrom_->request : task_->originalRequest().value_or(request_);
    r.temporaryPath = downloadPath_;
    r.expectedTotalBytes = channel_->progressExpected;
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
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;

    auto task = taskRef_;
    URLResponsePtr response = task_->response();
    std::optional<URL> location;
    if (task_->kind() == URLSessionTask::Kind::download && !downloadPath_.empty()) {
        if (!error) location = URL::fileURL(downloadPath_, false);
        else if (!keepDownloadFile) ::unlink(downloadPath_.c_str());
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
    post([task, error, response, body, location](const URLSessionPtr& session, const URLSessionDelegatePtr& delegate) {
        {
            std::lock_guard lock(task->mutex_);
            task->state_ = URLSessionTask::State::completed;
            task->error_ = error;
        }
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
                handler(error ? std::nullopt : std::optional<Data>(body.value_or(Data())), response, error);
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
        if (resumeHandler) post([resumeHandler](const URLSessionPtr&, const URLSessionDelegatePtr&) { resumeHandler(std::nullopt); });
        return;
    }
    std::optional<Data> resumeData;
    if (producesResumeData)
        if (auto r = resumeDataNow()) resumeData = r->encoded();
    Value::Dictionary info;
    if (resumeData) info[NSURLSessionDownloadTaskResumeData] = Value(*resumeData);
    if (resumeHandler)
        post([resumeHandler, resumeData](const URLSessionPtr&, const URLSessionDelegatePtr&) { resumeHandler(resumeData); });
    auto url = request_.url() ? request_.url() : task_->originalRequest() ? task_->originalRequest()->url() : std::nullopt;
    finish(URLError::make(URLError::Code::cancelled, url, std::move(info)), resumeData.has_value());
}

}  // namespace platform

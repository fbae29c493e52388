// The I/O-thread side of one task: the attempt state machine. It builds each attempt's
// libcurl handle, decides redirects and authentication rounds with the delegate, and ends
// the task. Its stages own the rest: the answer's head is read by `ResponseHeadParser`, a
// download's body goes to a `DownloadFile`, and bytes and progress reach the delegate
// queue through the `DeliveryChannel` (download progress stepped by `ProgressStepper`).
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/net/DownloadFile.h"
#include "platform/net/DownloadResumeData.h"
#include "platform/net/ResponseHeadParser.h"
#include "platform/net/URLSession.h"

typedef void CURL;
typedef struct x509_store_ctx_st X509_STORE_CTX;
struct curl_slist;

namespace platform {

class CurlEngine;
class DeliveryChannel;

class TaskDriver {
public:
    TaskDriver(URLSessionPtr session, URLSessionTask* task);
    ~TaskDriver();
    TaskDriver(const TaskDriver&) = delete;
    TaskDriver& operator=(const TaskDriver&) = delete;

    // Every member below runs on the session's I/O thread.
    void start();
    void setUserSuspended(bool suspended);
    // Ends the task as cancelled; with `resumeHandler`, a download first produces resume
    // data if it can.
    void cancel(std::function<void(std::optional<Data>)> resumeHandler, bool producesResumeData);
    void onDone(int curlResult);
    bool isFinished() const { return finished_; }

    // The engine's done handler: finds the driver of a handle.
    static void transferDone(CURL* easy, int curlResult);

private:
    enum PauseReason : unsigned { pausedByUser = 1, backpressure = 4 };
    enum class Intercept { none, redirect, authentication };

    // Attempts
    void startAttempt(URLRequest request);
    void launch();
    bool configure(const URLRequest& request);
    // Takes the handle off the engine and frees it with its header list.
    void releaseTransfer();
    void resetAttempt();
    void applyPause();
    void clearPause(unsigned reason);

    // libcurl callbacks
    static std::size_t headerCallback(char* data, std::size_t size, std::size_t count, void* self);
    static std::size_t writeCallback(char* data, std::size_t size, std::size_t count, void* self);
    static std::size_t readCallback(char* data, std::size_t size, std::size_t count, void* self);
    static int progressCallback(void* self, long long dlTotal, long long dlNow, long long ulTotal, long long ulNow);
    static int sslContextCallback(CURL* easy, void* sslContext, void* self);
    // Before a request goes out: refuses a reused connection that holds unread bytes.
    static int prereqCallback(void* self, char* remoteIP, char* localIP, int remotePort, int localPort);
    static int verifyCallback(X509_STORE_CTX* store, void* self);

    std::size_t onHeader(const char* data, std::size_t length);
    std::size_t onWrite(const char* data, std::size_t length);
    std::size_t onDownloadWrite(const char* data, std::size_t length);
    std::size_t onRead(char* data, std::size_t length);
    bool evaluateServerTrust(X509_STORE_CTX* store);
    void headersComplete();
    void storeCookie(const std::string& value);
    void beginBody();
    void releaseHeldData();
    void scheduleData();

    // Decisions after an attempt
    void decideRedirect();
    void decideAuthentication();
    void continueWithCredential(URLCredentialPtr credential, const std::string& method);
    void deliverInterceptedResponse();
    void provideBodyStreamThen(std::function<void()> next);

    // The end
    void finishSuccess();
    void finish(ErrorPtr error, bool keepDownloadFile = false);
    ErrorPtr errorForResult(int curlResult);
    std::optional<DownloadResumeData> resumeDataNow();
    void recordTransaction();
    void post(std::function<void(const URLSessionPtr&, const URLSessionDelegatePtr&)> callback);
    // Runs `command` later on the I/O thread, if this task's driver still exists then.
    void onIOThread(std::function<void(TaskDriver&)> command);
    // A callable that does the same from any thread, even after this driver has gone.
    std::function<void(std::function<void(TaskDriver&)>)> ioPoster() const;
    void stepProgress(std::int64_t bytes);
    void scheduleProgress();
    void scheduleUploadProgress();
    void armProgressFlush();

    URLSessionPtr session_;
    URLSessionTask* task_;
    std::shared_ptr<URLSessionTask> taskRef_;
    std::shared_ptr<CurlEngine> engine_;
    bool hasDelegate_;

    URLRequest request_;  // the current attempt's request
    CURL* easy_ = nullptr;
    curl_slist* headerList_ = nullptr;
    bool inMulti_ = false;
    bool finished_ = false;
    unsigned pause_ = 0;
    bool curlPaused_ = false;
    bool awaitingDisposition_ = false;
    bool doneWhileAwaiting_ = false;

    // Body to send
    InputStreamPtr body_;
    std::int64_t bodyLength_ = -1;
    std::int64_t bodySent_ = 0;

    // The answer of the current attempt: its head as it is read, then as it was complete
    ResponseHeadParser head_;
    int status_ = 0;
    HTTPHeaderFields headers_;
    HTTPURLResponsePtr response_;
    Intercept intercept_ = Intercept::none;
    bool bodyStarted_ = false;
    Data interceptedBody_;
    ErrorPtr recordedError_;

    // Redirects, authentication rounds, metrics
    int redirects_ = 0;
    // The reused connection held bytes no request asked for (a reply longer than its
    // Content-Length): the attempt was stopped and goes out once more on a new one.
    bool staleConnection_ = false;
    bool freshConnection_ = false;
    int authFailures_ = 0;
    std::optional<std::pair<std::string, std::string>> credential_;  // user, password
    std::string credentialMethod_;
    URLCredentialPtr credentialToStore_;
    std::optional<URLProtectionSpace> credentialSpace_;
    std::vector<URLSessionTaskTransactionMetrics> transactions_;
    Date taskStart_;
    Date attemptStart_;

    // Data tasks: the body for a completion handler or the cache, and the delegate channel
    Data body_accumulated_;
    bool accumulate_ = false;
    std::size_t cacheLimit_ = 0;
    std::shared_ptr<DeliveryChannel> channel_;

    // Downloads
    DownloadFile downloadFile_;
    std::int64_t resumeOffset_ = 0;
    std::optional<DownloadResumeData> resumeFrom_;
};

}  // namespace platform

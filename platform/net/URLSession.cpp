// Sessions: task factories, the delegate queue, invalidation.
#include "platform/net/URLSession.h"

#include "platform/base/Fatal.h"
#include "platform/base/NoDestructor.h"
#include "platform/net/CurlEngine.h"
#include "platform/net/TaskDriver.h"

namespace platform {

void URLSessionDelegate::didReceiveChallenge(const URLSessionPtr& session, const URLSessionTaskPtr&,
                                             const URLAuthenticationChallengePtr& challenge,
                                             ChallengeCompletionHandler completion) {
    // Connection-level challenges go to the session-level callback, as on the platform.
    if (challenge->protectionSpace().authenticationMethod() == NSURLAuthenticationMethodServerTrust)
        return didReceiveSessionChallenge(session, challenge, std::move(completion));
    completion(URLSessionAuthChallengeDisposition::performDefaultHandling, nullptr);
}

URLSession::URLSession(URLSessionConfiguration configuration, URLSessionDelegatePtr delegate, OperationQueuePtr queue)
    : configuration_(std::move(configuration)), delegateQueue_(std::move(queue)) {
    state_.set(&State::delegate, std::move(delegate));
    engine_ = CurlEngine::create(configuration_.httpMaximumConnectionsPerHost, &TaskDriver::transferDone);
}

URLSessionPtr URLSession::create(URLSessionConfiguration configuration, URLSessionDelegatePtr delegate,
                                 OperationQueuePtr delegateQueue) {
    if (!delegateQueue) {
        delegateQueue = OperationQueue::create();
        delegateQueue->setMaxConcurrentOperationCount(1);
        delegateQueue->setName("URLSession delegate queue");
    }
    return URLSessionPtr(new URLSession(std::move(configuration), std::move(delegate), std::move(delegateQueue)));
}

const URLSessionPtr& URLSession::shared() {
    static const NoDestructor<URLSessionPtr> session(create(URLSessionConfiguration::defaultSessionConfiguration()));
    return *session;
}

URLSession::~URLSession() { engine_->shutdown(); }

URLSessionDelegatePtr URLSession::delegate() const { return state_.get(&State::delegate); }

std::string URLSession::sessionDescription() const { return state_.get(&State::description); }

void URLSession::setSessionDescription(std::string text) { state_.set(&State::description, std::move(text)); }

void URLSession::deliver(std::function<void(const URLSessionPtr&, const URLSessionDelegatePtr&)> callback) {
    auto self = shared_from_this();
    delegateQueue_->addOperation([self, callback = std::move(callback)] { callback(self, self->delegate()); });
}

void URLSession::checkValid() const {
    if (state_.get(&State::invalidating)) fatal("Task created in a session that has been invalidated");
}

std::uint64_t URLSession::registerTask(const URLSessionTaskPtr& task) {
    state_.write([&](State& state) { state.activeTasks[task->taskIdentifier()] = task; });
    return task->taskIdentifier();
}

namespace {
template <class T>
std::shared_ptr<T> makeTask(URLSessionTask::Kind kind, std::uint64_t id, const URLSessionPtr& session,
                            std::optional<URLRequest> request) {
    struct Made : T {
        Made(URLSessionTask::Kind k, std::uint64_t i, std::weak_ptr<URLSession> s, std::optional<URLRequest> r)
            : T(k, i, std::move(s), std::move(r)) {}
    };
    return std::make_shared<Made>(kind, id, session, std::move(request));
}
}  // namespace

std::uint64_t URLSession::nextIdentifier() {
    return state_.write([](State& state) { return state.nextIdentifier++; });
}

URLSessionDataTaskPtr URLSession::dataTask(const URLRequest& request) {
    checkValid();
    auto task = makeTask<URLSessionDataTask>(URLSessionTask::Kind::data, nextIdentifier(), shared_from_this(), request);
    registerTask(task);
    return task;
}

URLSessionDataTaskPtr URLSession::dataTask(const URL& url) { return dataTask(URLRequest(url)); }

URLSessionDataTaskPtr URLSession::dataTask(const URLRequest& request,
                                           URLSessionDataTask::CompletionHandler completion) {
    auto task = dataTask(request);
    task->completion_ = std::move(completion);
    return task;
}

URLSessionUploadTaskPtr URLSession::uploadTask(const URLRequest& request, const Data& bodyData) {
    checkValid();
    auto task =
        makeTask<URLSessionUploadTask>(URLSessionTask::Kind::upload, nextIdentifier(), shared_from_this(), request);
    task->bodyData_ = bodyData;
    registerTask(task);
    return task;
}

URLSessionUploadTaskPtr URLSession::uploadTask(const URLRequest& request, const URL& fileURL) {
    checkValid();
    auto task =
        makeTask<URLSessionUploadTask>(URLSessionTask::Kind::upload, nextIdentifier(), shared_from_this(), request);
    task->bodyFile_ = fileURL.path();
    registerTask(task);
    return task;
}

URLSessionUploadTaskPtr URLSession::uploadTaskWithStreamedRequest(const URLRequest& request) {
    checkValid();
    auto task =
        makeTask<URLSessionUploadTask>(URLSessionTask::Kind::upload, nextIdentifier(), shared_from_this(), request);
    task->streamedBody_ = true;
    registerTask(task);
    return task;
}

URLSessionUploadTaskPtr URLSession::uploadTask(const URLRequest& request, const Data& bodyData,
                                               URLSessionDataTask::CompletionHandler completion) {
    auto task = uploadTask(request, bodyData);
    task->completion_ = std::move(completion);
    return task;
}

URLSessionUploadTaskPtr URLSession::uploadTask(const URLRequest& request, const URL& fileURL,
                                               URLSessionDataTask::CompletionHandler completion) {
    auto task = uploadTask(request, fileURL);
    task->completion_ = std::move(completion);
    return task;
}

URLSessionDownloadTaskPtr URLSession::downloadTask(const URLRequest& request) {
    checkValid();
    auto task =
        makeTask<URLSessionDownloadTask>(URLSessionTask::Kind::download, nextIdentifier(), shared_from_this(), request);
    registerTask(task);
    return task;
}

URLSessionDownloadTaskPtr URLSession::downloadTask(const URL& url) { return downloadTask(URLRequest(url)); }

URLSessionDownloadTaskPtr URLSession::downloadTask(const URLRequest& request,
                                                   URLSessionDownloadTask::CompletionHandler completion) {
    auto task = downloadTask(request);
    task->completion_ = std::move(completion);
    return task;
}

URLSessionDownloadTaskPtr URLSession::downloadTask(const Data& resumeData) {
    checkValid();
    auto decoded = DownloadResumeData::decode(resumeData);
    std::optional<URLRequest> request;
    if (decoded) request = decoded->request;
    auto task =
        makeTask<URLSessionDownloadTask>(URLSessionTask::Kind::download, nextIdentifier(), shared_from_this(), request);
    task->resumeData_ = resumeData;
    registerTask(task);
    return task;
}

URLSessionDownloadTaskPtr URLSession::downloadTask(const Data& resumeData,
                                                   URLSessionDownloadTask::CompletionHandler completion) {
    auto task = downloadTask(resumeData);
    task->completion_ = std::move(completion);
    return task;
}

void URLSession::getAllTasks(std::function<void(std::vector<URLSessionTaskPtr>)> completion) {
    auto tasks = state_.read([](const State& state) {
        std::vector<URLSessionTaskPtr> running;
        for (auto& [id, task] : state.activeTasks)
            if (task->state() != URLSessionTask::State::completed) running.push_back(task);
        return running;
    });
    deliver([tasks, completion](const URLSessionPtr&, const URLSessionDelegatePtr&) { completion(tasks); });
}

void URLSession::taskDidComplete(std::uint64_t identifier) {
    state_.write([&](State& state) { state.activeTasks.erase(identifier); });
    invalidateIfIdle();
}

void URLSession::finishTasksAndInvalidate() {
    state_.set(&State::invalidating, true);
    invalidateIfIdle();
}

void URLSession::invalidateAndCancel() {
    auto tasks = state_.write([](State& state) {
        state.invalidating = true;
        std::vector<URLSessionTaskPtr> all;
        for (auto& [id, task] : state.activeTasks) all.push_back(task);
        return all;
    });
    for (auto& task : tasks) task->cancel();
    invalidateIfIdle();
}

void URLSession::invalidateIfIdle() {
    bool becameInvalid = state_.write([](State& state) {
        if (!state.invalidating || state.invalidated || !state.activeTasks.empty()) return false;
        state.invalidated = true;
        return true;
    });
    if (!becameInvalid) return;
    deliver([](const URLSessionPtr& session, const URLSessionDelegatePtr& delegate) {
        if (delegate) delegate->didBecomeInvalidWithError(session, nullptr);
        session->state_.set(&State::delegate, nullptr);  // the session held its delegate until now
    });
}

}  // namespace platform

// Bounded HTTP fetches of revocation information over OpenSSL's HTTP client, and the
// process-wide stores of checked answers and of failed fetches.
#include "platform/security/RevocationFetcher.h"

#include <netdb.h>
#include <openssl/bio.h>
#include <openssl/crypto.h>
#include <openssl/http.h>
#include <openssl/ocsp.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>

#include "platform/base/Date.h"
#include "platform/base/FreedBy.h"
#include "platform/base/NoDestructor.h"
#include "platform/base/Protected.h"

namespace platform::revocation {

namespace {

struct KeptAnswer {
    Data answer;
    double until = 0;  // seconds since 1970
};
using KeptAnswers = std::map<std::string, KeptAnswer>;

Protected<KeptAnswers>& keptAnswers() {
    static NoDestructor<Protected<KeptAnswers>> kept;
    return *kept;
}

double secondsSince1970() { return Date::now().timeIntervalSince1970(); }

std::optional<Data> keptAnswer(const std::string& key) {
    return keptAnswers().read([&](const KeptAnswers& kept) -> std::optional<Data> {
        auto found = kept.find(key);
        if (found == kept.end() || found->second.until <= secondsSince1970()) return std::nullopt;
        return found->second.answer;
    });
}

std::size_t bytesOf(const std::string& key, const Data& answer) { return key.size() + answer.count(); }

// Makes room for one more entry of `bytes`: drops what has expired, then the entries that
// expire first while the kept answers would be too many or too large.
void makeRoom(KeptAnswers& kept, std::size_t bytes) {
    double now = secondsSince1970();
    std::erase_if(kept, [now](const auto& entry) { return entry.second.until <= now; });
    std::size_t total = 0;
    for (const auto& [key, entry] : kept) total += bytesOf(key, entry.answer);
    while (!kept.empty() && (kept.size() >= kKeptAnswers || total + bytes > kKeptAnswersBytes)) {
        auto first = std::min_element(kept.begin(), kept.end(),
                                      [](const auto& a, const auto& b) { return a.second.until < b.second.until; });
        total -= bytesOf(first->first, first->second.answer);
        kept.erase(first);
    }
}

using Clock = std::chrono::steady_clock;

// The URLs whose last fetch failed, each with when that stops counting.
using FailedFetches = std::map<std::string, Clock::time_point>;

Protected<FailedFetches>& failedFetches() {
    static NoDestructor<Protected<FailedFetches>> failed;
    return *failed;
}

bool hasFailedLately(const std::string& url) {
    return failedFetches().read([&](const FailedFetches& failed) {
        auto found = failed.find(url);
        return found != failed.end() && Clock::now() < found->second;
    });
}

// Remembers how the fetch of `url` went: a failure for `kFailureMemory`, within the bound on
// their number; a success forgets an earlier failure.
void noteFetch(const std::string& url, bool succeeded) {
    failedFetches().write([&](FailedFetches& failed) {
        failed.erase(url);
        if (succeeded) return;
        const auto now = Clock::now();
        std::erase_if(failed, [now](const auto& entry) { return entry.second <= now; });
        if (failed.size() >= kRememberedFailures)
            failed.erase(std::min_element(failed.begin(), failed.end(),
                                          [](const auto& a, const auto& b) { return a.second < b.second; }));
        failed.emplace(url, now + kFailureMemory);
    });
}

// Whether a fetch begun at `started` and ending now ended at once (see `kQuickFailure`).
bool cameAtOnce(Clock::time_point started) { return Clock::now() - started < kQuickFailure; }

using BIOPtr = FreedBy<BIO, BIO_free_all>;

std::optional<Data> bodyOf(BIO* answer) {
    if (!answer) return std::nullopt;
    char* bytes = nullptr;
    long length = BIO_get_mem_data(answer, &bytes);
    if (length <= 0 || static_cast<std::size_t>(length) > kMaxAnswerBytes) return std::nullopt;
    return Data(bytes, static_cast<std::size_t>(length));
}

struct URLParts {
    std::string host, port, path;
    std::string hostField() const {
        bool ipv6 = host.find(':') != std::string::npos;
        return (ipv6 ? "[" + host + "]" : host) + ":" + port;
    }
};

// The parts of an http URL; none for any other.
std::optional<URLParts> partsOf(const std::string& url) {
    if (url.rfind("http://", 0) != 0) return std::nullopt;
    int tls = 0;
    char *host = nullptr, *port = nullptr, *path = nullptr, *query = nullptr;
    if (!OSSL_HTTP_parse_url(url.c_str(), &tls, nullptr, &host, &port, nullptr, &path, &query, nullptr)) return {};
    URLParts parts{host, port, path};
    if (query && *query) parts.path += std::string("?") + query;
    for (char* part : {host, port, path, query}) OPENSSL_free(part);
    return parts;
}

int millisecondsUntil(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::max<long long>(left, 0));
}

// A non-blocking socket connected to `address` by `deadline`, else -1. A refused
// connection ends at once (OpenSSL's own connect would retry it until the time is up).
int connectBy(const addrinfo& address, Clock::time_point deadline) {
    int fd = ::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, address.ai_protocol);
    if (fd < 0) return -1;
    if (::connect(fd, address.ai_addr, address.ai_addrlen) == 0) return fd;
    int error = errno;
    if (error == EINPROGRESS) {
        pollfd wait{fd, POLLOUT, 0};
        socklen_t length = sizeof error;
        if (::poll(&wait, 1, millisecondsUntil(deadline)) == 1 &&
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0)
            return fd;
    }
    ::close(fd);
    return -1;
}

BIOPtr connectTo(const URLParts& parts, Clock::time_point deadline) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(parts.host.c_str(), parts.port.c_str(), &hints, &found) != 0) return nullptr;
    int fd = -1;
    for (addrinfo* address = found; address && fd < 0 && Clock::now() < deadline; address = address->ai_next)
        fd = connectBy(*address, deadline);
    ::freeaddrinfo(found);
    return BIOPtr(fd < 0 ? nullptr : BIO_new_socket(fd, BIO_CLOSE));
}

// Holds SIGPIPE back from this thread while a peer may close on us mid-write, and drops
// one that came meanwhile: the process does not ignore it, and the evaluation may run on
// any thread.
class SIGPIPEHeldBack {
public:
    SIGPIPEHeldBack() {
        sigemptyset(&pipe_);
        sigaddset(&pipe_, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe_, &before_);
    }
    ~SIGPIPEHeldBack() {
        if (sigismember(&before_, SIGPIPE)) return;
        timespec none{};
        while (sigtimedwait(&pipe_, nullptr, &none) == SIGPIPE) {}
        pthread_sigmask(SIG_SETMASK, &before_, nullptr);
    }
    SIGPIPEHeldBack(const SIGPIPEHeldBack&) = delete;
    SIGPIPEHeldBack& operator=(const SIGPIPEHeldBack&) = delete;

private:
    sigset_t pipe_, before_;
};

using RequestContextPtr = FreedBy<OSSL_HTTP_REQ_CTX, OSSL_HTTP_REQ_CTX_free>;

// One HTTP exchange: a GET without `ocspRequest`, else a POST of it. The connection is
// direct (no proxy), and the whole exchange ends by `timeoutSeconds`.
std::optional<Data> exchange(const std::string& url, const OCSP_REQUEST* ocspRequest, int timeoutSeconds) {
    auto parts = partsOf(url);
    if (!parts) return std::nullopt;
    const auto deadline = Clock::now() + std::chrono::seconds(timeoutSeconds);
    SIGPIPEHeldBack heldBack;
    BIOPtr connection = connectTo(*parts, deadline);
    if (!connection) return std::nullopt;
    RequestContextPtr context(OSSL_HTTP_REQ_CTX_new(connection.get(), connection.get(), 0));
    int secondsLeft = std::max(1, (millisecondsUntil(deadline) + 999) / 1000);
    if (!context ||
        // No server here: with one the request line would take a proxy's absolute form.
        !OSSL_HTTP_REQ_CTX_set_request_line(context.get(), ocspRequest != nullptr, nullptr, nullptr,
                                            parts->path.c_str()) ||
        !OSSL_HTTP_REQ_CTX_add1_header(context.get(), "Host", parts->hostField().c_str()) ||
        !OSSL_HTTP_REQ_CTX_set_expected(context.get(), nullptr, 1, secondsLeft, 0))
        return std::nullopt;
    OSSL_HTTP_REQ_CTX_set_max_response_length(context.get(), kMaxAnswerBytes);
    if (ocspRequest &&
        !OSSL_HTTP_REQ_CTX_set1_req(context.get(), "application/ocsp-request", ASN1_ITEM_rptr(OCSP_REQUEST),
                                    reinterpret_cast<const ASN1_VALUE*>(ocspRequest)))
        return std::nullopt;
    // The answer stays the context's; it is copied out before the context goes.
    return bodyOf(OSSL_HTTP_REQ_CTX_exchange(context.get()));
}

}  // namespace

std::optional<int> Fetcher::fetchTimeout() const {
    auto left = std::chrono::duration_cast<std::chrono::seconds>(deadline_ - Clock::now()).count();
    if (left < 1) return std::nullopt;
    return static_cast<int>(std::min<long long>(left, kFetchTimeoutSeconds));
}

template <class Fetch>
std::optional<Data> Fetcher::lookUpOrFetch(const std::string& url, const std::string& key, Fetch&& fetch) {
    if (auto asked = asked_.find(key); asked != asked_.end()) return asked->second;
    std::optional<Data> answer = keptAnswer(key);
    if (!answer && networkAllowed_ && !hasFailedLately(url))
        if (auto timeout = fetchTimeout()) {
            const auto started = Clock::now();
            answer = fetch(*timeout);
            // A failure that came at once is asked again by the next evaluation; any other is
            // held against its source, unless the evaluation's budget cut the fetch short.
            const bool slow = *timeout == kFetchTimeoutSeconds && !cameAtOnce(started);
            if (answer && slow) answeredSlowly_.insert(url);
            if (answer || slow) noteFetch(url, answer.has_value());
        }
    asked_[key] = answer;
    return answer;
}

std::optional<Data> Fetcher::get(const std::string& url) {
    if (!partsOf(url)) return std::nullopt;
    return lookUpOrFetch(url, url, [&](int timeout) { return exchange(url, nullptr, timeout); });
}

std::optional<Data> Fetcher::askResponder(const std::string& url, const std::string& key, const OCSP_REQUEST* request) {
    if (!partsOf(url)) return std::nullopt;
    return lookUpOrFetch(url, key, [&](int timeout) { return exchange(url, request, timeout); });
}

void Fetcher::answerUnusable(const std::string& url) {
    if (answeredSlowly_.count(url)) noteFetch(url, false);
}

void Fetcher::remember(const std::string& key, const Data& answer, double nextUpdate) {
    const std::size_t bytes = bytesOf(key, answer);
    if (nextUpdate <= secondsSince1970() || bytes > kKeptAnswersBytes) return;
    keptAnswers().write([&](KeptAnswers& kept) {
        kept.erase(key);  // a newer answer replaces the one kept
        makeRoom(kept, bytes);
        kept.emplace(key, KeptAnswer{answer, nextUpdate});
    });
}

}  // namespace platform::revocation

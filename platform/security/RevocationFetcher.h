// Revocation information over plain HTTP: CRLs by GET, OCSP answers by POST, each fetch
// over a direct connection (no proxy), bounded in time and size, and what was fetched
// kept for reuse.
//
// One fetcher serves one trust evaluation: a URL is asked at most once per evaluation (a
// failure included), and the whole evaluation shares one time budget. Answers that carry
// a next-update time and have been checked by their reader are also kept process-wide until
// then, within the bounds below, so a later evaluation (one without network access too) can
// use them. A fetch given the whole `kFetchTimeoutSeconds` that fails after `kQuickFailure`
// or later (a silent source, a connection that never comes, an error or a close that comes
// late) is remembered process-wide by its URL for `kFailureMemory` (on the monotonic clock),
// and until then no evaluation asks that URL again: a slow source costs one wait, not one
// per evaluation. A failure that came at once (refused, an HTTP error, closed, too large) is not
// remembered, and neither is a fetch the evaluation's budget cut short.
#pragma once
#include <chrono>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "platform/base/Data.h"

typedef struct ocsp_request_st OCSP_REQUEST;

namespace platform::revocation {

// Every fetch ends within this many seconds, and one evaluation spends at most
// `kEvaluationBudget` on the network in all.
inline constexpr int kFetchTimeoutSeconds = 4;
inline constexpr std::chrono::seconds kEvaluationBudget{10};
// A larger answer is dropped unread.
inline constexpr std::size_t kMaxAnswerBytes = 1 << 20;
// The answers kept process-wide take at most this many bytes in all (and are at most
// `kKeptAnswers` in number); the entry that expires first makes room.
inline constexpr std::size_t kKeptAnswersBytes = 4 << 20;
inline constexpr std::size_t kKeptAnswers = 256;
// A fetch that failed, but not at once, is remembered this long, for at most
// `kRememberedFailures` URLs; the failure remembered longest makes room.
inline constexpr std::chrono::seconds kFailureMemory{60};
inline constexpr std::size_t kRememberedFailures = 256;
// A failure sooner than this came at once. A refusal comes within a round trip and an error
// status within a few (connect, request, answer), well under half a second on the paths these
// fetches travel, and such a source may have its answer a moment later: asking it again costs
// each evaluation at most this long. A source that takes longer to fail (slow, silent, or made
// so by anyone on the path, as these fetches are plain HTTP) would cost every evaluation that
// asks it as long, so its failure is remembered.
inline constexpr std::chrono::milliseconds kQuickFailure{500};

class Fetcher {
public:
    using Clock = std::chrono::steady_clock;

    explicit Fetcher(bool networkAllowed, Clock::time_point deadline = Clock::now() + kEvaluationBudget)
        : networkAllowed_(networkAllowed), deadline_(deadline) {}

    // The body at an http URL; none when it cannot be had (not http, unreachable, too
    // large, out of time, failed slowly lately, or the network is not allowed and nothing is kept).
    std::optional<Data> get(const std::string& url);
    // The answer of the OCSP responder at an http URL to `request`; `key` names the answer
    // in the caches (the URL alone does not: one responder answers for many certificates).
    std::optional<Data> askResponder(const std::string& url, const std::string& key, const OCSP_REQUEST* request);

    // Says that what `url` answered in this evaluation could not be used (no CRL its issuer
    // signed, no OCSP answer that tells): an answer that came slowly is held against its
    // source as a slow failure is, so a source that answers slowly with nothing of use costs
    // one wait a minute too; one that came at once is asked again.
    void answerUnusable(const std::string& url);

    // Keeps an answer the caller has checked for reuse by later evaluations until
    // `nextUpdate` (seconds since 1970); `key` is the URL of a `get` or the key of an `askResponder`.
    static void remember(const std::string& key, const Data& answer, double nextUpdate);

private:
    template <class Fetch>
    std::optional<Data> lookUpOrFetch(const std::string& url, const std::string& key, Fetch&& fetch);
    // Seconds left for one fetch; none when the budget is spent.
    std::optional<int> fetchTimeout() const;

    bool networkAllowed_;
    Clock::time_point deadline_;
    std::map<std::string, std::optional<Data>> asked_;
    // The URLs that answered in this evaluation, given the whole time, but not at once.
    std::set<std::string> answeredSlowly_;
};

}  // namespace platform::revocation

// Revocation checks against a local authority made for each test: its CRL served over
// local HTTP, its OCSP answers from an `openssl ocsp` responder, and a stapled answer from
// an `openssl s_server` handshake.
#include <gtest/gtest.h>

#include <openssl/x509v3.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>

#include "platform/base/Date.h"
#include "platform/security/RevocationFetcher.h"
#include "platform/security/SecRevocation.h"
#include "platform/security/SecTrust.h"
#include "tests/platform/net/NetTestSupport.h"

using namespace platform;
using namespace nettest;
using testing_support::LocalHTTPServer;

namespace {

constexpr std::uint64_t kOCSP = kSecRevocationOCSPMethod, kCRL = kSecRevocationCRLMethod,
                        kAny = kSecRevocationUseAnyAvailableMethod, kPreferCRL = kSecRevocationPreferCRL,
                        kRequirePositive = kSecRevocationRequirePositiveResponse,
                        kNoNetwork = kSecRevocationNetworkAccessDisabled;

// An authority with a CRL server and an OCSP responder, and the leaves it signed, each
// naming both: "good" (recorded as issued), "revoked", "unrecorded" (unknown to the
// responder, absent from the CRL); "unreachable", whose sources are ports where nothing
// listens; "held" and "oversized", whose CRLs never come or come too large; "crl-after-404" and
// "held-after-404", whose CRL points answer their first request 404 at once, and then serve the
// CRL or never answer; "slow-404s", whose three CRL points answer 404 only after 0.9 s, 2.9 s
// and 3.5 s (past the soonest the fetch may give up); "slow-junk", whose CRL point answers
// 200 with no CRL after 0.9 s; "stale", revoked,
// whose OCSP source serves a good answer made before the revocation and too long ago; on
// demand "<kind>-crl" and "<kind>-crl-listed", whose CRL source serves one of the CRLs made
// by hand (`madeCRLs`), listing the latter alone; "old-crl" is revoked since; leaves whose
// sources disagree, each revoked by one of them alone (`makeLeavesHeardTwice`); and leaves an
// older CRL puts on hold that a newer one may lift (`makeLeavesOnHold`). Each set has
// an authority name of its own, and the paths of the sources that fail name it too, so no
// answer kept, and no failure remembered, from another test's authority can apply.
struct Authority {
    testing_support::TestCertificates certificates;
    std::string name;
    std::unique_ptr<LocalHTTPServer> crlServer;
    std::unique_ptr<testing_support::OpenSSLServer> responder;

    enum class Leaves { usual, withCRLsMadeByHand };

    explicit Authority(Leaves leaves = Leaves::usual) {
        static std::atomic<int> made{0};
        name = "authority" + std::to_string(++made);
        crlServer = std::make_unique<LocalHTTPServer>([this](LocalHTTPServer::Received received) {
            if (isFirstAskOfAFlakySource(received.path)) return LocalHTTPServer::Reply(404);
            if (auto slow = slowFailures.find(received.path); slow != slowFailures.end()) {
                const auto wait = slow->second;  // a slow source, not a wait for an event
                std::this_thread::sleep_for(wait);
                if (received.path.starts_with(failingPath("slow-junk")))  // DER, a SEQUENCE of an INTEGER
                    return LocalHTTPServer::Reply(200, std::string("\x30\x03\x02\x01\x01", 5),
                                                  {{"Content-Type", "application/pkix-crl"}});
                return LocalHTTPServer::Reply(404);
            }
            if (received.path == failingPath("crl-after-404")) received.path = "/" + name + ".crl";
            if (received.path == failingPath("held-after-404")) received.path = failingPath("held");
            if (auto served = servedAnswers.find(received.path); served != servedAnswers.end())
                return LocalHTTPServer::Reply(200, served->second.toString(),
                                              {{"Content-Type", "application/ocsp-response"}});
            if (auto made = madeCRLs.find(received.path); made != madeCRLs.end())
                return LocalHTTPServer::Reply(200, made->second, {{"Content-Type", "application/pkix-crl"}});
            if (received.path == failingPath("oversized"))
                return LocalHTTPServer::Reply(200, std::string((1 << 20) + 1, 'x'));
            if (received.path == failingPath("held")) {
                LocalHTTPServer::Reply held;
                held.holdUntilStop = true;
                return held;
            }
            if (received.path != "/" + name + ".crl") return LocalHTTPServer::Reply(404);
            return LocalHTTPServer::Reply(200, crl, {{"Content-Type", "application/pkix-crl"}});
        });
        int ocspPort = testing_support::freePort();
        std::string crlURL = crlServer->url("/" + name + ".crl");
        std::string ocspURL = "http://127.0.0.1:" + std::to_string(ocspPort);
        std::string nowhere = "http://127.0.0.1:" + std::to_string(testing_support::freePort());
        certificates.authority(name);
        for (const char* leaf : {"good", "revoked", "unrecorded"})
            certificates.leafWithRevocationSources(leaf, name, "IP:127.0.0.1", crlURL, ocspURL);
        certificates.leafWithRevocationSources("unreachable", name, "IP:127.0.0.1", nowhere + failingPath("crl"),
                                               nowhere + failingPath("ocsp"));
        certificates.leafWithRevocationSources("stale", name, "IP:127.0.0.1", crlURL, crlServer->url("/stale.ocsp"));
        for (const char* leaf : {"held", "oversized", "crl-after-404", "held-after-404"})
            certificates.leafWithRevocationSources(leaf, name, "IP:127.0.0.1", crlServer->url(failingPath(leaf)), "");
        makeSlowFailures();
        certificates.record("good", name);
        certificates.revoke("revoked", name);
        certificates.revoke("stale", name);
        crl = certificates.crl(name);
        makeGoodAnswersForStale();
        if (leaves == Leaves::withCRLsMadeByHand) {
            makeCRLsByHand(ocspURL);
            makeLeavesHeardTwice(ocspURL);
            makeLeavesOnHold();
        }
        responder = certificates.ocspResponder(name, ocspPort);
    }

    SecCertificateRef load(const std::string& certificate) const {
        return SecCertificateCreateWithData(Data::fromString(certificates.der(certificate)));
    }

    // The status of evaluating `leaf` under the SSL policy and a revocation policy with
    // `flags`, this authority the only anchor.
    OSStatus evaluate(const std::string& leaf, std::uint64_t flags, std::optional<Data> stapled = std::nullopt) const {
        SecTrustRef trust;
        EXPECT_EQ(SecTrustCreateWithCertificates(
                      {load(leaf)}, {SecPolicyCreateSSL(true, "127.0.0.1"), SecPolicyCreateRevocation(flags)}, &trust),
                  errSecSuccess);
        SecTrustSetAnchorCertificates(trust, {load(name)});
        SecTrustSetOCSPResponse(trust, std::move(stapled));
        ErrorPtr error;
        bool trusted = SecTrustEvaluateWithError(trust, &error);
        EXPECT_EQ(trusted, error == nullptr);
        return error ? static_cast<OSStatus>(error->code()) : errSecSuccess;
    }

    std::string crl;  // DER, as served
    // Good answers for "stale" by when they were made: "stale" (too long ago, with no next
    // update), "recent" (just recent enough, with none), "expired" (past its next update),
    // "early" (made an hour from now). With the leaves heard twice, "good-before-revocation",
    // a current good answer for "ocsp-revoked-crl-good", and "good-then-revoked", a current
    // answer for "unrecorded" that tells two statuses of it, good and then revoked.
    std::map<std::string, Data> answers;
    std::map<std::string, Data> servedAnswers;  // the OCSP answers the CRL server serves, by path
    // The CRLs made by hand, by the path each is served at, of a kind by when it was made:
    // "old" (too long ago, with no next update), "recent" (just recent enough, with none),
    // "expired" (past its next update), "early" (made an hour from now).
    static constexpr const char* kMadeCRLKinds[] = {"old", "recent", "expired", "early"};
    std::map<std::string, std::string> madeCRLs;
    std::string madeCRLPath(const std::string& kind) const { return "/" + name + "-" + kind + ".crl"; }
    // The path of a source that fails ("held", "oversized", "crl" and "ocsp" of "unreachable").
    std::string failingPath(const std::string& source) const { return "/" + name + "/" + source; }
    // How many requests the CRL points of a leaf whose sources fail have had.
    int requestsFor(const std::string& leaf) const {
        const std::string path = failingPath(leaf);
        auto received = crlServer->received();
        return static_cast<int>(std::count_if(received.begin(), received.end(), [&](const auto& request) {
            return request.path == path || request.path.rfind(path + "/", 0) == 0;
        }));
    }
    // Whether `path` is that of a source that answers 404 at first, asked for the first time.
    bool isFirstAskOfAFlakySource(const std::string& path) {
        if (path != failingPath("crl-after-404") && path != failingPath("held-after-404")) return false;
        std::lock_guard lock(flakySourcesMutex_);
        return flakySourcesAsked_.insert(path).second;
    }

private:
    std::mutex flakySourcesMutex_;
    std::set<std::string> flakySourcesAsked_;
    // The paths that answer 404 after a wait, with the wait; read only once made.
    std::map<std::string, std::chrono::milliseconds> slowFailures;

    void makeSlowFailures() {
        const std::pair<const char*, std::vector<int>> leaves[] = {{"slow-404s", {900, 2900, 3500}},
                                                                   {"slow-junk", {900}}};
        for (const auto& [leaf, waits] : leaves) {
            std::vector<std::string> urls;
            for (int wait : waits) {
                const std::string path = failingPath(leaf) + "/" + std::to_string(wait);
                slowFailures.emplace(path, std::chrono::milliseconds(wait));
                urls.push_back(crlServer->url(path));
            }
            certificates.leafWithRevocationSources(leaf, name, "IP:127.0.0.1", urls, "");
        }
    }

    void makeGoodAnswersForStale() {
        constexpr long hour = 3600, maxAge = revocation::kMaxAgeWithoutNextUpdateSeconds;
        auto good = [&](long thisUpdate, std::optional<long> nextUpdate) {
            return Data::fromString(certificates.goodOCSPResponse("stale", name, thisUpdate, nextUpdate));
        };
        answers.emplace("stale", good(-(maxAge + hour), std::nullopt));
        answers.emplace("recent", good(-(maxAge - hour), std::nullopt));
        answers.emplace("expired", good(-2 * hour, -hour));
        answers.emplace("early", good(hour, 24 * hour));
        servedAnswers.emplace("/stale.ocsp", answers.at("stale"));
    }

    void makeCRLsByHand(const std::string& ocspURL) {
        for (const char* kind : kMadeCRLKinds)
            for (const char* suffix : {"-crl", "-crl-listed"})
                certificates.leafWithRevocationSources(kind + std::string(suffix), name, "IP:127.0.0.1",
                                                       crlServer->url(madeCRLPath(kind)), ocspURL);
        certificates.revoke("old-crl", name);
        constexpr long hour = 3600, maxAge = revocation::kMaxAgeWithoutNextUpdateSeconds;
        const std::map<std::string, std::pair<long, std::optional<long>>> updates{
            {"old", {-(maxAge + hour), std::nullopt}},
            {"recent", {-(maxAge - hour), std::nullopt}},
            {"expired", {-2 * hour, -hour}},
            {"early", {hour, 24 * hour}},
        };
        for (const auto& [kind, times] : updates)
            madeCRLs.emplace(madeCRLPath(kind),
                             certificates.crlAt(name, {kind + "-crl-listed"}, times.first, times.second));
    }

    // Leaves that one source calls revoked and another, current, calls good: "two-crls"
    // ("two-crls-reversed"), whose first (second) distribution point serves a current CRL
    // made 10 days ago that does not list it and the other one made 5 days ago without a next
    // update that does; "two-current-crls", whose second one is current too, made 12 days ago,
    // and lists it (OpenSSL's checks rank the newer first); "ocsp-good-crl-listing", whose OCSP source serves a current good
    // answer and whose CRL is that second one; "ocsp-revoked-crl-good", revoked in the record
    // the responder answers from, whose CRL is the current one.
    void makeLeavesHeardTwice(const std::string& ocspURL) {
        constexpr long day = 24 * 3600;
        const std::string current = crlServer->url(madeCRLPath("current")),
                          listing = crlServer->url(madeCRLPath("listing"));
        certificates.leafWithRevocationSources("two-crls", name, "IP:127.0.0.1", std::vector{current, listing},
                                               ocspURL);
        certificates.leafWithRevocationSources("two-crls-reversed", name, "IP:127.0.0.1", std::vector{listing, current},
                                               ocspURL);
        certificates.leafWithRevocationSources("two-current-crls", name, "IP:127.0.0.1",
                                               std::vector{current, crlServer->url(madeCRLPath("older-listing"))},
                                               ocspURL);
        certificates.leafWithRevocationSources("ocsp-good-crl-listing", name, "IP:127.0.0.1", listing,
                                               crlServer->url("/ocsp-good-crl-listing.ocsp"));
        certificates.leafWithRevocationSources("ocsp-revoked-crl-good", name, "IP:127.0.0.1", current, ocspURL);
        certificates.revoke("ocsp-revoked-crl-good", name);
        madeCRLs.emplace(madeCRLPath("current"), certificates.crlAt(name, {}, -10 * day, 2 * day));
        madeCRLs.emplace(madeCRLPath("listing"),
                         certificates.crlAt(name, {"two-crls", "two-crls-reversed", "ocsp-good-crl-listing"}, -5 * day,
                                            std::nullopt));
        madeCRLs.emplace(madeCRLPath("older-listing"),
                         certificates.crlAt(name, {"two-current-crls"}, -12 * day, 2 * day));
        auto goodNow = [&](const std::string& leaf) {
            return Data::fromString(certificates.goodOCSPResponse(leaf, name, -3600, day));
        };
        servedAnswers.emplace("/ocsp-good-crl-listing.ocsp", goodNow("ocsp-good-crl-listing"));
        answers.emplace("good-before-revocation", goodNow("ocsp-revoked-crl-good"));
        answers.emplace("good-then-revoked", Data::fromString(certificates.ocspResponseWithStatuses(
                                                 "unrecorded", name, {false, true}, -3600, day)));
    }

    // Leaves the CRL "hold" (number 1, made two days ago) puts on hold, each naming it and the
    // CRL after the dash, all made a day ago: "hold-kept" (none), "hold-lifted" and
    // "hold-lifted-reversed" ("hold-omitted", number 2, listing none of them; the latter names
    // it first), "hold-removed" ("hold-removed", number 2, listing it removeFromCRL),
    // "hold-removed-by-delta" ("hold-delta", a delta of number 1 numbered 2, the same),
    // "hold-kept-by-delta" ("hold-delta", which omits it),
    // "hold-lifted-when-expired" ("hold-omitted-expired", number 2, the same, past its next
    // update an hour ago), "hold-other-issuer" (a CRL numbered 2 the authority's key signs naming another issuer,
    // listing none), "hold-equal-numbers" (number 1 again, listing none); "compromised-omitted",
    // which "hold" lists as key compromise, with "hold-omitted"; "hold-in-delta", whose only CRL
    // is a delta, numbered 3 of a base never served, listing it on hold; "hold-unnumbered",
    // put on hold by a CRL without a number made two days ago and omitted by one made a day ago;
    // "delta-only", whose only CRL is "hold-delta", which omits it; leaves "hold" puts on hold
    // and a newer CRL (number 2) omits, whose issuing distribution point limits it to
    // key compromise ("hold-scoped-reasons"), CA certificates ("hold-scoped-ca"), attribute
    // certificates ("hold-scoped-attributes"), a point the leaf does not name
    // ("hold-scoped-elsewhere"), or user certificates at a point the leaf names
    // ("hold-scoped-here"); "hold-removed-by-scoped-delta", listed removeFromCRL by a delta of
    // number 1 limited to CA certificates; and "hold-relisted", which "hold-omitted" omits and a
    // third CRL (number 3) puts on hold again.
    void makeLeavesOnHold() {
        constexpr long day = 24 * 3600;
        using Entry = testing_support::TestCertificates::CRLEntry;
        auto leafNaming = [&](const std::string& leaf, const std::vector<std::string>& kinds) {
            std::vector<std::string> urls;
            for (const auto& kind : kinds) urls.push_back(crlServer->url(madeCRLPath(kind)));
            certificates.leafWithRevocationSources(leaf, name, "IP:127.0.0.1", urls, "");
        };
        leafNaming("hold-kept", {"hold"});
        leafNaming("hold-lifted", {"hold", "hold-omitted"});
        leafNaming("hold-lifted-reversed", {"hold-omitted", "hold"});
        leafNaming("hold-lifted-when-expired", {"hold", "hold-omitted-expired"});
        leafNaming("hold-removed", {"hold", "hold-removed"});
        leafNaming("hold-removed-by-delta", {"hold", "hold-delta"});
        leafNaming("hold-kept-by-delta", {"hold", "hold-delta"});
        leafNaming("hold-other-issuer", {"hold", "hold-other-issuer"});
        leafNaming("hold-equal-numbers", {"hold", "hold-same-number"});
        leafNaming("compromised-omitted", {"hold", "hold-omitted"});
        leafNaming("hold-in-delta", {"hold-in-delta"});
        leafNaming("hold-unnumbered", {"hold-unnumbered", "hold-unnumbered-omitted"});
        leafNaming("delta-only", {"hold-delta"});
        const std::vector<std::string> scopedLeaves{"hold-scoped-reasons",    "hold-scoped-ca",
                                                    "hold-scoped-attributes", "hold-scoped-elsewhere",
                                                    "hold-scoped-here",       "hold-removed-by-scoped-delta"};
        for (const auto& leaf : scopedLeaves) leafNaming(leaf, {"hold", leaf});
        leafNaming("hold-relisted", {"hold", "hold-omitted", "hold-relisted"});
        std::vector<Entry> held{{"compromised-omitted", CRL_REASON_KEY_COMPROMISE}};
        for (const char* leaf :
             {"hold-kept", "hold-lifted", "hold-lifted-reversed", "hold-lifted-when-expired", "hold-removed",
              "hold-removed-by-delta", "hold-kept-by-delta", "hold-other-issuer", "hold-equal-numbers"})
            held.push_back({leaf, CRL_REASON_CERTIFICATE_HOLD});
        for (const auto& leaf : scopedLeaves) held.push_back({leaf, CRL_REASON_CERTIFICATE_HOLD});
        held.push_back({"hold-relisted", CRL_REASON_CERTIFICATE_HOLD});
        auto made = [&](const std::string& kind, const std::vector<Entry>& entries, long lastUpdate,
                        const testing_support::TestCertificates::CRLForm& form, long nextUpdate = 2 * 24 * 3600) {
            madeCRLs.emplace(madeCRLPath(kind), certificates.crlListing(name, entries, lastUpdate, nextUpdate, form));
        };
        made("hold", held, -2 * day, {1, {}, ""});
        made("hold-omitted", {}, -day, {2, {}, ""});
        made("hold-omitted-expired", {}, -day, {2, {}, ""}, -3600);
        made("hold-removed", {{"hold-removed", CRL_REASON_REMOVE_FROM_CRL}}, -day, {2, {}, ""});
        made("hold-delta", {{"hold-removed-by-delta", CRL_REASON_REMOVE_FROM_CRL}}, -day, {2, 1, ""});
        made("hold-other-issuer", {}, -day, {2, {}, name + "-other"});
        made("hold-same-number", {}, -day, {1, {}, ""});
        made("hold-in-delta", {{"hold-in-delta", CRL_REASON_CERTIFICATE_HOLD}}, -day, {3, 2, ""});
        made("hold-unnumbered", {{"hold-unnumbered", CRL_REASON_CERTIFICATE_HOLD}}, -2 * day, {});
        made("hold-unnumbered-omitted", {}, -day, {});
        made("hold-scoped-reasons", {}, -day, {2, {}, "", "onlysomereasons:keyCompromise"});
        made("hold-scoped-ca", {}, -day, {2, {}, "", "onlyCA:TRUE"});
        made("hold-scoped-attributes", {}, -day, {2, {}, "", "onlyAA:TRUE"});
        const std::string elsewhere = "fullname:URI:" + crlServer->url(madeCRLPath("hold-omitted"));
        made("hold-scoped-elsewhere", {}, -day, {2, {}, "", elsewhere});
        const std::string here = "fullname:URI:" + crlServer->url(madeCRLPath("hold-scoped-here"));
        made("hold-scoped-here", {}, -day, {2, {}, "", here + ",onlyuser:TRUE"});
        made("hold-removed-by-scoped-delta", {{"hold-removed-by-scoped-delta", CRL_REASON_REMOVE_FROM_CRL}}, -day,
             {2, 1, "", "onlyCA:TRUE"});
        made("hold-relisted", {{"hold-relisted", CRL_REASON_CERTIFICATE_HOLD}}, -day / 2, {3, {}, ""});
    }
};

struct RevocationCase {
    const char* leaf;
    std::uint64_t flags;
    OSStatus expected;
    const char* stapled = nullptr;  // one of the authority's `answers`, stapled
};

TEST(Revocation, StatusFromTheCRLAndTheResponder) {
    Authority authority(Authority::Leaves::withCRLsMadeByHand);
    const std::vector<RevocationCase> cases{
        {"revoked", kCRL, errSecCertificateRevoked},
        {"good", kCRL | kRequirePositive, errSecSuccess},
        {"revoked", kOCSP, errSecCertificateRevoked},
        {"good", kOCSP | kRequirePositive, errSecSuccess},
        {"revoked", kAny, errSecCertificateRevoked},
        // The responder knows nothing of the leaf: best effort passes, a demand fails.
        {"unrecorded", kOCSP, errSecSuccess},
        {"unrecorded", kOCSP | kRequirePositive, errSecIncompleteCertRevocationCheck},
        // Nobody answers at all.
        {"unreachable", kAny, errSecSuccess},
        {"unreachable", kAny | kRequirePositive, errSecIncompleteCertRevocationCheck},
        // A good answer kept from before the revocation, without a next update and older
        // than that allows, is no answer, fetched or stapled: the CRL behind it is heard,
        // and alone it is no positive answer.
        {"stale", kOCSP | kRequirePositive, errSecIncompleteCertRevocationCheck},
        {"stale", kAny, errSecCertificateRevoked},
        {"stale", kOCSP | kNoNetwork | kRequirePositive, errSecIncompleteCertRevocationCheck, "stale"},
        {"stale", kCRL, errSecCertificateRevoked, "stale"},
        // A good answer counts only while current: recent enough without a next update,
        // not past its next update, not made in the future.
        {"stale", kOCSP | kNoNetwork | kRequirePositive, errSecSuccess, "recent"},
        {"stale", kOCSP | kNoNetwork | kRequirePositive, errSecIncompleteCertRevocationCheck, "expired"},
        {"stale", kOCSP | kNoNetwork | kRequirePositive, errSecIncompleteCertRevocationCheck, "early"},
        // A CRL made before the revocation, without a next update and older than that
        // allows, is no answer: alone it is no positive answer (best effort passes, as when
        // nothing is learned), and the responder behind it is heard. What it lists as
        // revoked stays revoked.
        {"old-crl", kCRL | kRequirePositive, errSecIncompleteCertRevocationCheck},
        {"old-crl", kCRL, errSecSuccess},
        {"old-crl", kAny | kPreferCRL, errSecCertificateRevoked},
        {"old-crl-listed", kCRL | kRequirePositive, errSecCertificateRevoked},
        // A CRL gives a good answer only while current: recent enough without a next update,
        // not past its next update, not made in the future; a revocation counts in any.
        {"recent-crl", kCRL | kRequirePositive, errSecSuccess},
        {"expired-crl", kCRL | kRequirePositive, errSecIncompleteCertRevocationCheck},
        {"early-crl", kCRL | kRequirePositive, errSecIncompleteCertRevocationCheck},
        {"recent-crl-listed", kCRL | kRequirePositive, errSecCertificateRevoked},
        {"expired-crl-listed", kCRL | kRequirePositive, errSecCertificateRevoked},
        {"early-crl-listed", kCRL | kRequirePositive, errSecCertificateRevoked},
        // A revocation one source lists settles it, whatever another, current, source says:
        // two CRLs in either order, OCSP and a CRL in either method order, a stapled good
        // answer and a fetched revocation, two statuses in one answer. Each good source alone says good (before the
        // revocation is heard and kept).
        {"two-crls", kCRL, errSecCertificateRevoked},
        {"two-crls-reversed", kCRL, errSecCertificateRevoked},
        {"two-current-crls", kCRL, errSecCertificateRevoked},
        {"ocsp-good-crl-listing", kOCSP | kRequirePositive, errSecSuccess},
        {"ocsp-good-crl-listing", kAny, errSecCertificateRevoked},
        {"ocsp-good-crl-listing", kAny | kPreferCRL, errSecCertificateRevoked},
        {"ocsp-revoked-crl-good", kCRL | kRequirePositive, errSecSuccess},
        {"ocsp-revoked-crl-good", kOCSP | kNoNetwork | kRequirePositive, errSecSuccess, "good-before-revocation"},
        {"ocsp-revoked-crl-good", kAny, errSecCertificateRevoked},
        {"ocsp-revoked-crl-good", kAny | kPreferCRL, errSecCertificateRevoked},
        {"ocsp-revoked-crl-good", kOCSP, errSecCertificateRevoked, "good-before-revocation"},
        {"unrecorded", kOCSP | kNoNetwork, errSecCertificateRevoked, "good-then-revoked"},
        // A hold counts until a newer CRL of its issuer (by CRL number, else by last update)
        // lists the certificate removeFromCRL or, a full CRL, omits it; a current full one that
        // does gives a positive answer, one past its next update does not. Another issuer's
        // CRL, one of the same number, or a delta that omits it lifts nothing; a hold in a delta
        // with nothing newer counts; any other reason counts whatever its age.
        {"hold-kept", kCRL, errSecCertificateRevoked},
        {"hold-lifted", kCRL | kRequirePositive, errSecSuccess},
        {"hold-lifted-reversed", kCRL | kRequirePositive, errSecSuccess},
        {"hold-lifted-when-expired", kCRL, errSecSuccess},
        {"hold-lifted-when-expired", kCRL | kRequirePositive, errSecIncompleteCertRevocationCheck},
        {"hold-removed", kCRL | kRequirePositive, errSecSuccess},
        {"hold-removed-by-delta", kCRL, errSecSuccess},
        {"hold-unnumbered", kCRL | kRequirePositive, errSecSuccess},
        {"hold-kept-by-delta", kCRL, errSecCertificateRevoked},
        {"hold-other-issuer", kCRL, errSecCertificateRevoked},
        {"hold-equal-numbers", kCRL, errSecCertificateRevoked},
        {"hold-in-delta", kCRL, errSecCertificateRevoked},
        {"compromised-omitted", kCRL, errSecCertificateRevoked},
        // Only a CRL that covers the certificate lifts its hold, as OpenSSL's checks judge its
        // scope: one limited to other reasons, to other kinds of certificate or to a point the
        // certificate does not name lifts nothing, nor does a delta whose scope is not the
        // hold's CRL's; one limited to its kind at a point it names does. A hold listed again by
        // a newer CRL counts.
        {"hold-scoped-reasons", kCRL, errSecCertificateRevoked},
        {"hold-scoped-ca", kCRL, errSecCertificateRevoked},
        {"hold-scoped-attributes", kCRL, errSecCertificateRevoked},
        {"hold-scoped-elsewhere", kCRL, errSecCertificateRevoked},
        {"hold-removed-by-scoped-delta", kCRL, errSecCertificateRevoked},
        {"hold-scoped-here", kCRL | kRequirePositive, errSecSuccess},
        {"hold-relisted", kCRL, errSecCertificateRevoked},
        // A delta lists only what changed since its base: alone, what it omits is not known good.
        {"delta-only", kCRL | kRequirePositive, errSecIncompleteCertRevocationCheck},
        {"delta-only", kCRL, errSecSuccess},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.leaf) + " with flags " + std::to_string(c.flags) + " stapled " +
                     (c.stapled ? c.stapled : "nothing"));
        auto stapled = c.stapled ? std::optional(authority.answers.at(c.stapled)) : std::nullopt;
        EXPECT_EQ(authority.evaluate(c.leaf, c.flags, stapled), c.expected);
    }
    // Of the CRLs heard, those without a next update ahead are not kept for later evaluations.
    auto isKept = [&](const std::string& path) {
        return revocation::Fetcher(false).get(authority.crlServer->url(path)).has_value();
    };
    EXPECT_TRUE(isKept("/" + authority.name + ".crl"));
    for (const char* kind : {"old", "recent", "expired"}) EXPECT_FALSE(isKept(authority.madeCRLPath(kind))) << kind;
}

// A source that never answers, or answers too much, costs a bounded wait and tells nothing.
// The silent one is not asked again by the next evaluation; one that answered too much at
// once is.
TEST(Revocation, FetchesAreBoundedInTimeAndSize) {
    Authority authority;
    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(authority.evaluate("held", kCRL | kRequirePositive), errSecIncompleteCertRevocationCheck);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    EXPECT_EQ(authority.evaluate("oversized", kCRL | kRequirePositive), errSecIncompleteCertRevocationCheck);
    EXPECT_EQ(authority.evaluate("oversized", kCRL), errSecSuccess);
    EXPECT_EQ(authority.crlServer->requestCount(), 3);
}

// A leaf whose CRL points fail, evaluated with a positive answer required once for each
// status expected, in turn, and how many requests its CRL points have had by then.
struct FailureMemoryCase {
    const char* leaf;
    std::vector<OSStatus> expected;
    int requests;
};

// A failed fetch is remembered for its minute unless it came at once.
TEST(Revocation, AFailureIsRememberedUnlessItCameAtOnce) {
    static_assert(std::chrono::milliseconds(900) > revocation::kQuickFailure, "slow-404s fail slowly");
    Authority authority;
    constexpr OSStatus incomplete = errSecIncompleteCertRevocationCheck;
    const std::vector<FailureMemoryCase> cases{
        // A point that answered 404 at once is asked again: when it then serves its CRL the
        // second evaluation passes; when it then stays silent until the fetch's time-out, the
        // evaluation after that does not ask it.
        {"crl-after-404", {incomplete, errSecSuccess}, 2},
        {"held-after-404", {incomplete, incomplete, incomplete}, 2},
        // Points that answer 404 after 0.9 s, 2.9 s and 3.5 s cost the first evaluation the
        // wait and the next two nothing: each is asked once.
        {"slow-404s", {incomplete, incomplete, incomplete}, 3},
        // A point that answers slowly with no CRL costs the wait once too.
        {"slow-junk", {incomplete, incomplete, incomplete}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.leaf);
        for (OSStatus expected : c.expected) EXPECT_EQ(authority.evaluate(c.leaf, kCRL | kRequirePositive), expected);
        EXPECT_EQ(authority.requestsFor(c.leaf), c.requests);
    }
}

// A CRL point that accepts and never answers costs the first evaluation its fetch timeout;
// the failure is remembered, so the next evaluations, which hold a good stapled answer, do
// not wait on it again.
TEST(Revocation, ASilentSourceCostsOneWait) {
    using std::chrono::steady_clock, std::chrono::seconds;
    Authority authority;
    Data good = Data::fromString(authority.certificates.goodOCSPResponse("held", authority.name, -3600, 24 * 3600));
    auto evaluationTime = [&] {
        auto started = steady_clock::now();
        EXPECT_EQ(authority.evaluate("held", kAny | kRequirePositive, good), errSecSuccess);
        return steady_clock::now() - started;
    };
    EXPECT_GE(evaluationTime(), seconds(revocation::kFetchTimeoutSeconds - 1));
    for (int later = 0; later < 2; ++later) EXPECT_LT(evaluationTime(), seconds(revocation::kFetchTimeoutSeconds) / 2);
    EXPECT_EQ(authority.crlServer->requestCount(), 1);
}

// A fetch the evaluation's budget cut short says nothing of its source: it is not remembered
// as failed, and the next evaluation asks the source again.
TEST(Revocation, AFetchCutShortByTheBudgetIsNotRememberedAsFailed) {
    Authority authority;
    const std::string silent = authority.crlServer->url(authority.failingPath("held"));
    for (int evaluation = 0; evaluation < 2; ++evaluation) {
        revocation::Fetcher shortOfTime(true, std::chrono::steady_clock::now() + std::chrono::milliseconds(1500));
        EXPECT_FALSE(shortOfTime.get(silent).has_value());
    }
    EXPECT_EQ(authority.crlServer->requestCount(), 2);
}

TEST(Revocation, RevokedCertificateIsNamedInTheError) {
    Authority authority;
    SecTrustRef trust;
    ASSERT_EQ(SecTrustCreateWithCertificates({authority.load("revoked")}, {SecPolicyCreateRevocation(kCRL)}, &trust),
              errSecSuccess);
    SecTrustSetAnchorCertificates(trust, {authority.load(authority.name)});
    ErrorPtr error;
    ASSERT_FALSE(SecTrustEvaluateWithError(trust, &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain(), NSOSStatusErrorDomain);
    EXPECT_EQ(error->localizedDescription(), "“revoked” certificate is revoked");
}

TEST(Revocation, MethodOrderAndAnswersKeptBetweenEvaluations) {
    Authority authority;
    // Nothing fetched yet and no network allowed: nothing is learned, nothing is asked.
    EXPECT_EQ(authority.evaluate("revoked", kAny | kNoNetwork), errSecSuccess);
    EXPECT_EQ(authority.evaluate("revoked", kAny | kNoNetwork | kRequirePositive), errSecIncompleteCertRevocationCheck);
    EXPECT_EQ(authority.crlServer->requestCount(), 0);
    // OCSP comes first unless CRLs are preferred; a revocation ends the asking, a good
    // answer does not (another source may list the certificate).
    EXPECT_EQ(authority.evaluate("revoked", kAny), errSecCertificateRevoked);
    EXPECT_EQ(authority.crlServer->requestCount(), 0);
    EXPECT_EQ(authority.evaluate("good", kAny | kRequirePositive), errSecSuccess);
    EXPECT_EQ(authority.crlServer->requestCount(), 1);
    EXPECT_EQ(authority.evaluate("good", kAny | kPreferCRL | kRequirePositive), errSecSuccess);
    EXPECT_EQ(authority.crlServer->requestCount(), 1);
    // The CRL and the OCSP answer are kept until their next update: later evaluations,
    // without the network too, use them, and the CRL is not fetched again.
    EXPECT_EQ(authority.evaluate("revoked", kCRL), errSecCertificateRevoked);
    EXPECT_EQ(authority.evaluate("revoked", kCRL | kNoNetwork), errSecCertificateRevoked);
    EXPECT_EQ(authority.crlServer->requestCount(), 1);
    EXPECT_EQ(authority.evaluate("revoked", kOCSP), errSecCertificateRevoked);
    authority.responder.reset();
    EXPECT_EQ(authority.evaluate("revoked", kOCSP | kNoNetwork), errSecCertificateRevoked);
}

TEST(Revocation, StapledAnswerNeedsNoNetwork) {
    Authority authority;
    Data revoked = Data::fromString(authority.certificates.ocspResponse("revoked", authority.name));
    Data good = Data::fromString(authority.certificates.ocspResponse("good", authority.name));
    EXPECT_EQ(authority.evaluate("revoked", kOCSP | kNoNetwork, revoked), errSecCertificateRevoked);
    EXPECT_EQ(authority.evaluate("good", kOCSP | kNoNetwork | kRequirePositive, good), errSecSuccess);
    // An answer about another certificate tells nothing about this one.
    EXPECT_EQ(authority.evaluate("good", kOCSP | kNoNetwork | kRequirePositive, revoked),
              errSecIncompleteCertRevocationCheck);
}

// The answers kept process-wide fit in a bound on their total size: the one that expires
// first makes room, and one larger than the whole bound is not kept.
TEST(Revocation, KeptAnswersAreBoundedInTotalSize) {
    using revocation::Fetcher, revocation::kKeptAnswersBytes, revocation::kMaxAnswerBytes;
    // Keys of this test alone, expiring within the hour: before any other test's answers,
    // so these are the first to make room for them.
    auto key = [](std::size_t i) { return "http://127.0.0.1:1/kept-answers-bound/" + std::to_string(i); };
    auto isKept = [&](std::size_t i) { return Fetcher(false).get(key(i)).has_value(); };
    const double inAnHour = Date::now().timeIntervalSince1970() + 3600;
    const std::size_t count = kKeptAnswersBytes / kMaxAnswerBytes + 1;
    for (std::size_t i = 0; i < count; ++i)
        Fetcher::remember(key(i), Data::fromString(std::string(kMaxAnswerBytes, 'a')), inAnHour + i);
    std::size_t keptBytes = 0;
    for (std::size_t i = 0; i < count; ++i) keptBytes += isKept(i) ? kMaxAnswerBytes : 0;
    EXPECT_LE(keptBytes, kKeptAnswersBytes);
    EXPECT_FALSE(isKept(0));
    EXPECT_TRUE(isKept(count - 1));
    Fetcher::remember(key(count), Data::fromString(std::string(kKeptAnswersBytes + 1, 'a')), inAnHour + count);
    EXPECT_FALSE(isKept(count));
    EXPECT_TRUE(isKept(count - 1));
}

// The URL session asks for the stapled answer in the handshake and hands it to the trust
// a challenge carries.
TEST(Revocation, HandshakeStapleReachesTheChallengesTrust) {
    Authority authority;
    authority.certificates.ocspResponse("revoked", authority.name);
    authority.certificates.ocspResponse("good", authority.name);
    for (auto [leaf, expected] : {std::pair{"revoked", errSecCertificateRevoked}, std::pair{"good", errSecSuccess}}) {
        SCOPED_TRACE(leaf);
        int port = testing_support::freePort();
        auto server = authority.certificates.staplingTLSServer(leaf, std::string(leaf) + ".ocsp", port);
        auto delegate = std::make_shared<RecordingDelegate>();
        std::optional<OSStatus> status;
        delegate->onChallenge = [&](const URLAuthenticationChallenge& challenge) {
            auto trust = challenge.protectionSpace().serverTrust();
            SecTrustSetPolicies(trust, SecPolicyCreateRevocation(kOCSP | kNoNetwork | kRequirePositive));
            SecTrustSetAnchorCertificates(trust, {authority.load(authority.name)});
            ErrorPtr error;
            bool trusted = SecTrustEvaluateWithError(trust, &error);
            status = error ? static_cast<OSStatus>(error->code()) : errSecSuccess;
            return trusted ? std::make_pair(URLSessionAuthChallengeDisposition::useCredential,
                                            std::make_shared<URLCredential>(trust))
                           : std::make_pair(URLSessionAuthChallengeDisposition::cancelAuthenticationChallenge,
                                            URLCredentialPtr());
        };
        auto session = URLSession::create(URLSessionConfiguration::ephemeralSessionConfiguration(), delegate);
        session->dataTask(*URL::parse("https://127.0.0.1:" + std::to_string(port) + "/"))->resume();
        ASSERT_TRUE(delegate->waitForCompletion());
        EXPECT_EQ(status, expected);
        EXPECT_EQ(errorCode(delegate->error), expected == errSecSuccess ? 0 : NSURLErrorCancelled);
        session->invalidateAndCancel();
    }
}

}  // namespace

// Revocation status of each certificate of a verified chain, from OCSP answers (stapled
// or asked of the responders the certificate names) and CRLs (fetched from its
// distribution points and applied by OpenSSL's CRL checking).
#include "platform/security/SecRevocation.h"

#include <openssl/err.h>
#include <openssl/ocsp.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <ctime>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/base/FreedBy.h"
#include "platform/security/RevocationFetcher.h"
#include "platform/security/SecPolicy.h"

namespace platform::revocation {

namespace {

// In the order of their weight: what one source tells gives way to what another tells
// only when that is weightier.
enum class Status { unknown, good, revoked };
enum class Method { ocsp, crl };

// An OCSP answer a little ahead of our clock, or just past its next update, still counts.
constexpr long kClockSkewSeconds = 300;

using platform::FreedBy;
using OCSPResponsePtr = FreedBy<OCSP_RESPONSE, OCSP_RESPONSE_free>;
using OCSPBasicPtr = FreedBy<OCSP_BASICRESP, OCSP_BASICRESP_free>;
using OCSPRequestPtr = FreedBy<OCSP_REQUEST, OCSP_REQUEST_free>;
using OCSPCertIDPtr = FreedBy<OCSP_CERTID, OCSP_CERTID_free>;
using CRLPtr = FreedBy<X509_CRL, X509_CRL_free>;
using IntegerPtr = FreedBy<ASN1_INTEGER, ASN1_INTEGER_free>;
using EnumeratedPtr = FreedBy<ASN1_ENUMERATED, ASN1_ENUMERATED_free>;
using StoreContextPtr = FreedBy<X509_STORE_CTX, X509_STORE_CTX_free>;

void freeCRLs(STACK_OF(X509_CRL) * crls) { sk_X509_CRL_pop_free(crls, X509_CRL_free); }
void freeCertificateList(STACK_OF(X509) * certificates) { sk_X509_free(certificates); }
using CRLListPtr = FreedBy<STACK_OF(X509_CRL), freeCRLs>;
using CertificateListPtr = FreedBy<STACK_OF(X509), freeCertificateList>;

std::vector<Method> methodsInOrder(std::uint64_t flags) {
    bool ocsp = flags & kSecRevocationOCSPMethod, crl = flags & kSecRevocationCRLMethod;
    if (!ocsp && !crl) ocsp = crl = true;  // no method named: whatever the certificate offers
    std::vector<Method> order;
    if (ocsp) order.push_back(Method::ocsp);
    if (crl) order.insert((flags & kSecRevocationPreferCRL) ? order.begin() : order.end(), Method::crl);
    return order;
}

// What two answers about one certificate tell together: a revocation either of them lists,
// else a good answer either of them gives. A good answer, however current, never hides a
// revocation another one lists; an old list can hide a later revocation but never make one
// up, so a revocation counts whatever its age.
Status combined(Status heard, Status more) { return std::max(heard, more); }

std::optional<double> secondsSince1970(const ASN1_TIME* time) {
    std::tm parts{};
    if (!time || ASN1_TIME_to_tm(time, &parts) != 1) return std::nullopt;
    return static_cast<double>(timegm(&parts));
}

std::vector<std::string> ocspURLs(X509* certificate) {
    std::vector<std::string> urls;
    STACK_OF(OPENSSL_STRING)* list = X509_get1_ocsp(certificate);
    for (int i = 0; i < sk_OPENSSL_STRING_num(list); ++i) urls.emplace_back(sk_OPENSSL_STRING_value(list, i));
    X509_email_free(list);
    return urls;
}

std::vector<std::string> crlURLs(X509* certificate) {
    std::vector<std::string> urls;
    auto* points =
        static_cast<CRL_DIST_POINTS*>(X509_get_ext_d2i(certificate, NID_crl_distribution_points, nullptr, nullptr));
    for (int i = 0; i < sk_DIST_POINT_num(points); ++i) {
        const DIST_POINT_NAME* name = sk_DIST_POINT_value(points, i)->distpoint;
        if (!name || name->type != 0) continue;  // only full names hold URLs
        for (int j = 0; j < sk_GENERAL_NAME_num(name->name.fullname); ++j) {
            const GENERAL_NAME* entry = sk_GENERAL_NAME_value(name->name.fullname, j);
            if (entry->type != GEN_URI) continue;
            const ASN1_IA5STRING* uri = entry->d.uniformResourceIdentifier;
            urls.emplace_back(reinterpret_cast<const char*>(ASN1_STRING_get0_data(uri)), ASN1_STRING_length(uri));
        }
    }
    CRL_DIST_POINTS_free(points);
    return urls;
}

OCSPRequestPtr requestFor(const OCSP_CERTID* id) {
    OCSPRequestPtr request(OCSP_REQUEST_new());
    OCSP_CERTID* copy = OCSP_CERTID_dup(id);
    if (!request || !copy || !OCSP_request_add0_id(request.get(), copy)) {
        OCSP_CERTID_free(copy);
        return nullptr;
    }
    return request;
}

// Names an OCSP answer in the caches: the responder and the certificate asked about.
std::string answerKey(const std::string& url, OCSP_CERTID* id) {
    unsigned char* bytes = nullptr;
    int length = i2d_OCSP_CERTID(id, &bytes);
    if (length <= 0) return {};
    std::string key = "OCSP " + url + " " + Data(bytes, static_cast<std::size_t>(length)).hexString();
    OPENSSL_free(bytes);
    return key;
}

// What a CRL-checking verification of the chain said about each depth.
struct CRLVerdicts {
    std::map<int, Status> byDepth;
    std::set<int> outOfScope;  // the depths no CRL given covers
    bool completed = false;    // the chain verified with them
};

// Whether `error` says that no CRL given covers the certificate: none has its issuer, its
// kind of certificate, every reason and a distribution point it names.
bool isScopeProblem(int error) {
    return error == X509_V_ERR_UNABLE_TO_GET_CRL || error == X509_V_ERR_DIFFERENT_CRL_SCOPE;
}

bool isCRLProblem(int error) {
    switch (error) {
        case X509_V_ERR_UNABLE_TO_GET_CRL:
        case X509_V_ERR_UNABLE_TO_DECRYPT_CRL_SIGNATURE:
        case X509_V_ERR_CRL_SIGNATURE_FAILURE:
        case X509_V_ERR_CRL_NOT_YET_VALID:
        case X509_V_ERR_CRL_HAS_EXPIRED:
        case X509_V_ERR_ERROR_IN_CRL_LAST_UPDATE_FIELD:
        case X509_V_ERR_ERROR_IN_CRL_NEXT_UPDATE_FIELD:
        case X509_V_ERR_UNABLE_TO_GET_CRL_ISSUER:
        case X509_V_ERR_KEYUSAGE_NO_CRL_SIGN:
        case X509_V_ERR_UNHANDLED_CRITICAL_CRL_EXTENSION:
        case X509_V_ERR_DIFFERENT_CRL_SCOPE:
        case X509_V_ERR_CRL_PATH_VALIDATION_ERROR: return true;
        default: return false;
    }
}

// Lets the verification go on past a revoked certificate or a missing or unusable CRL, so
// every depth gets its verdict; a CRL problem leaves that depth unknown.
int recordCRLVerdict(int ok, X509_STORE_CTX* context) {
    if (ok) return ok;
    auto* verdicts = static_cast<CRLVerdicts*>(X509_STORE_CTX_get_app_data(context));
    int depth = X509_STORE_CTX_get_error_depth(context);
    int error = X509_STORE_CTX_get_error(context);
    if (error == X509_V_ERR_CERT_REVOKED) {
        verdicts->byDepth[depth] = Status::revoked;
        return 1;
    }
    if (!isCRLProblem(error)) return 0;
    verdicts->byDepth.emplace(depth, Status::unknown);
    if (isScopeProblem(error)) verdicts->outOfScope.insert(depth);
    return 1;
}

// Whether a CRL without a next update is older than such a CRL may be and still tell that a
// certificate is good. OpenSSL takes it at any age (it judges only a CRL past its next
// update or made in the future, and the verdict's callback leaves the depth unknown then).
bool isOutdated(const X509_CRL* crl) {
    if (X509_CRL_get0_nextUpdate(crl)) return false;
    std::time_t oldest = std::time(nullptr) - kMaxAgeWithoutNextUpdateSeconds;
    return X509_cmp_time(X509_CRL_get0_lastUpdate(crl), &oldest) != 1;  // at or before it, or unreadable
}

// The reason a CRL entry gives for the listing; CRL_REASON_NONE when it gives none.
long reasonOf(const X509_REVOKED* entry) {
    EnumeratedPtr reason(
        static_cast<ASN1_ENUMERATED*>(X509_REVOKED_get_ext_d2i(entry, NID_crl_reason, nullptr, nullptr)));
    return reason ? ASN1_ENUMERATED_get(reason.get()) : CRL_REASON_NONE;
}

bool isDelta(const X509_CRL* crl) { return X509_CRL_get_ext_by_NID(crl, NID_delta_crl, -1) >= 0; }

// Whether `later` is a newer CRL than `crl` of the same issuer: by CRL number when both
// carry one, else by last update. One of an equal number, or made at the same time, is not.
bool isNewer(const X509_CRL* later, const X509_CRL* crl) {
    if (X509_NAME_cmp(X509_CRL_get_issuer(later), X509_CRL_get_issuer(crl)) != 0) return false;
    IntegerPtr laterNumber(static_cast<ASN1_INTEGER*>(X509_CRL_get_ext_d2i(later, NID_crl_number, nullptr, nullptr)));
    IntegerPtr number(static_cast<ASN1_INTEGER*>(X509_CRL_get_ext_d2i(crl, NID_crl_number, nullptr, nullptr)));
    if (laterNumber && number) return ASN1_INTEGER_cmp(laterNumber.get(), number.get()) > 0;
    return ASN1_TIME_compare(X509_CRL_get0_lastUpdate(crl), X509_CRL_get0_lastUpdate(later)) < 0;
}

// Whether two CRLs have the same scope: the same issuing distribution point, or neither has
// one. OpenSSL's checks apply a delta only with a base of the same scope.
bool haveSameScope(const X509_CRL* crl, const X509_CRL* other) {
    auto pointOf = [](const X509_CRL* of) {
        int at = X509_CRL_get_ext_by_NID(of, NID_issuing_distribution_point, -1);
        return at < 0 ? nullptr : X509_EXTENSION_get_data(X509_CRL_get_ext(of, at));
    };
    const ASN1_OCTET_STRING *point = pointOf(crl), *otherPoint = pointOf(other);
    return point && otherPoint ? ASN1_OCTET_STRING_cmp(point, otherPoint) == 0 : point == otherPoint;
}

class Checker {
public:
    explicit Checker(const Check& check)
        : check_(check), fetcher_((check.flags & kSecRevocationNetworkAccessDisabled) == 0),
          chainCertificates_(sk_X509_new_null()), crls_(sk_X509_CRL_new_null()),
          listingOnlyCRLs_(sk_X509_CRL_new_null()) {
        for (X509* certificate : check.chain) sk_X509_push(chainCertificates_.get(), certificate);
    }

    Outcome run() {
        Outcome outcome;
        for (std::size_t depth = 0; depth + 1 < check_.chain.size(); ++depth) {
            Status status = statusOf(depth);
            if (status == Status::revoked) return {Outcome::Kind::revoked, check_.chain[depth]};
            if (status == Status::unknown && outcome.kind == Outcome::Kind::allKnownGood)
                outcome = {Outcome::Kind::incomplete, check_.chain[depth]};
        }
        return outcome;
    }

private:
    // What every source the policy allows tells of the certificate at `depth`: the staple,
    // then each method in the policy's order. Only a revocation ends the asking early.
    Status statusOf(std::size_t depth) {
        OCSPCertIDPtr id(OCSP_cert_to_id(nullptr, check_.chain[depth], check_.chain[depth + 1]));
        Status status = Status::unknown;
        if (depth == 0 && check_.stapledResponse && id) status = ocspStatus(*check_.stapledResponse, id.get());
        for (Method method : methodsInOrder(check_.flags)) {
            if (status == Status::revoked) break;
            status = combined(status, method == Method::ocsp ? askResponders(depth, id.get()) : consultCRLs(depth));
        }
        return status;
    }

    // The status an OCSP answer gives the certificate `id` names, when its signature is
    // one the chain's anchors vouch for: each of its statuses for that certificate counts
    // (a revocation whatever its age, a good one while current). The first next update
    // among them goes to `nextUpdate`.
    Status ocspStatus(const Data& der, OCSP_CERTID* id, std::optional<double>* nextUpdate = nullptr) {
        const unsigned char* bytes = der.data();
        OCSPResponsePtr response(d2i_OCSP_RESPONSE(nullptr, &bytes, static_cast<long>(der.count())));
        if (!response || OCSP_response_status(response.get()) != OCSP_RESPONSE_STATUS_SUCCESSFUL)
            return Status::unknown;
        OCSPBasicPtr basic(OCSP_response_get1_basic(response.get()));
        if (!basic || OCSP_basic_verify(basic.get(), chainCertificates_.get(), check_.store, 0) <= 0)
            return Status::unknown;
        Status told = Status::unknown;
        for (int at = OCSP_resp_find(basic.get(), id, -1); at >= 0; at = OCSP_resp_find(basic.get(), id, at)) {
            int reason = 0;
            ASN1_GENERALIZEDTIME *thisUpdate = nullptr, *next = nullptr;
            int status = OCSP_single_get0_status(OCSP_resp_get0(basic.get(), at), &reason, nullptr, &thisUpdate, &next);
            if (nextUpdate && !*nextUpdate) *nextUpdate = secondsSince1970(next);
            told = combined(told, singleStatus(status, thisUpdate, next));
        }
        return told;
    }

    // What one status of an OCSP answer tells: a revocation stays a revocation; only a good
    // status must still be current.
    static Status singleStatus(int status, ASN1_GENERALIZEDTIME* thisUpdate, ASN1_GENERALIZEDTIME* nextUpdate) {
        if (status == V_OCSP_CERTSTATUS_REVOKED) return Status::revoked;
        if (status != V_OCSP_CERTSTATUS_GOOD || !isCurrent(thisUpdate, nextUpdate)) return Status::unknown;
        return Status::good;
    }

    // Whether an answer is current: made by now and not past its next update, give or take
    // the clock skew; one without a next update only for a bounded time after it was made.
    static bool isCurrent(ASN1_GENERALIZEDTIME* thisUpdate, ASN1_GENERALIZEDTIME* nextUpdate) {
        long maxAge = nextUpdate ? -1 : kMaxAgeWithoutNextUpdateSeconds;
        return OCSP_check_validity(thisUpdate, nextUpdate, kClockSkewSeconds, maxAge) == 1;
    }

    Status askResponders(std::size_t depth, OCSP_CERTID* id) {
        OCSPRequestPtr request = id ? requestFor(id) : nullptr;
        if (!request) return Status::unknown;
        Status status = Status::unknown;
        for (const std::string& url : ocspURLs(check_.chain[depth])) {
            if (status == Status::revoked) break;
            std::string key = answerKey(url, id);
            auto answer = key.empty() ? std::nullopt : fetcher_.askResponder(url, key, request.get());
            if (!answer) continue;
            std::optional<double> nextUpdate;
            Status told = ocspStatus(*answer, id, &nextUpdate);
            if (told == Status::unknown) {
                fetcher_.answerUnusable(url);
                continue;
            }
            if (nextUpdate) Fetcher::remember(key, *answer, *nextUpdate);
            status = combined(status, told);
        }
        return status;
    }

    Status consultCRLs(std::size_t depth) {
        EVP_PKEY* issuerKey = X509_get0_pubkey(check_.chain[depth + 1]);
        bool found = false;
        for (const std::string& url : crlURLs(check_.chain[depth])) {
            if (crlsFrom_.count(url)) {
                found = true;
                continue;
            }
            auto answer = fetcher_.get(url);
            if (!answer) continue;
            const unsigned char* bytes = answer->data();
            CRLPtr crl(d2i_X509_CRL(nullptr, &bytes, static_cast<long>(answer->count())));
            // A CRL its issuer did not sign tells nothing, and is not kept.
            if (!crl || !issuerKey || X509_CRL_verify(crl.get(), issuerKey) != 1) {
                fetcher_.answerUnusable(url);
                continue;
            }
            if (auto next = secondsSince1970(X509_CRL_get0_nextUpdate(crl.get())))
                Fetcher::remember(url, *answer, *next);
            // A delta lists only what changed since a base it does not hold: alone it cannot
            // tell that a certificate it omits is good, but what it lists counts.
            const bool givesNoGoodAnswer = isOutdated(crl.get()) || isDelta(crl.get());
            STACK_OF(X509_CRL)* list = givesNoGoodAnswer ? listingOnlyCRLs_.get() : crls_.get();
            sk_X509_CRL_push(list, crl.release());
            crlsFrom_.insert(url);
            found = true;
        }
        if (!found) return Status::unknown;
        if (isListedByAnyCRL(depth)) return Status::revoked;
        // A revocation OpenSSL's checks find now is a hold that a newer CRL lifted, listed in
        // the CRL they rank best (the newer one is not current): no answer.
        Status status = statusFromCRLs(static_cast<int>(depth), crls_.get());
        return status == Status::revoked ? Status::unknown : status;
    }

    // Whether a CRL heard in this evaluation, whatever its age, lists the certificate at
    // `depth` as revoked, signed by the certificate's issuer. Each CRL is asked apart:
    // OpenSSL's checks apply the one CRL they rank best, which need not be one that lists
    // it. An outdated CRL or a delta gives no good answer, yet what it lists counts: a
    // listing for any reason but a hold whatever its age, a hold until a newer CRL of its
    // issuer lifts it.
    bool isListedByAnyCRL(std::size_t depth) {
        X509* certificate = check_.chain[depth];
        std::vector<X509_CRL*> crls = crlsSignedBy(check_.chain[depth + 1]);
        for (X509_CRL* crl : crls) {
            X509_REVOKED* entry = nullptr;
            // 2 is an entry a delta CRL removes from the list: no revocation.
            if (X509_CRL_get0_by_cert(crl, &entry, certificate) != 1) continue;
            if (reasonOf(entry) != CRL_REASON_CERTIFICATE_HOLD) return true;
            auto lifts = [&](X509_CRL* later) { return isNewer(later, crl) && liftsHold(later, crl, depth); };
            if (std::none_of(crls.begin(), crls.end(), lifts)) return true;
        }
        return false;
    }

    // Whether `later` takes the certificate at `depth` off the hold `crl` lists. A delta
    // lifts it when it lists the certificate removeFromCRL and has the scope of `crl`; a full
    // CRL, when it covers the certificate and omits it or lists it removeFromCRL (a delta
    // lists only what changed, so what it omits stays as it was).
    bool liftsHold(X509_CRL* later, X509_CRL* crl, std::size_t depth) {
        X509_REVOKED* entry = nullptr;
        int listed = X509_CRL_get0_by_cert(later, &entry, check_.chain[depth]);
        if (isDelta(later)) return listed == 2 && haveSameScope(later, crl);
        return listed != 1 && covers(later, static_cast<int>(depth));
    }

    // Whether `crl` covers the certificate at `depth` as OpenSSL's checks judge it given that
    // CRL alone: its issuing distribution point, if any, takes in certificates of its kind,
    // every reason and a distribution point the certificate names. Its age does not matter.
    bool covers(X509_CRL* crl, int depth) {
        CRLListPtr alone(sk_X509_CRL_new_null());
        if (!alone || !X509_CRL_up_ref(crl)) return false;
        if (!sk_X509_CRL_push(alone.get(), crl)) {
            X509_CRL_free(crl);
            return false;
        }
        CRLVerdicts verdicts = verifyWithCRLs(alone.get());
        return verdicts.completed && !verdicts.outOfScope.count(depth);
    }

    // The CRLs heard in this evaluation, current or not, that `issuer` signed.
    std::vector<X509_CRL*> crlsSignedBy(X509* issuer) {
        EVP_PKEY* key = X509_get0_pubkey(issuer);
        std::vector<X509_CRL*> ofIssuer;
        for (STACK_OF(X509_CRL) * crls : {crls_.get(), listingOnlyCRLs_.get()})
            for (int i = 0; i < sk_X509_CRL_num(crls); ++i)
                if (key && X509_CRL_verify(sk_X509_CRL_value(crls, i), key) == 1)
                    ofIssuer.push_back(sk_X509_CRL_value(crls, i));
        return ofIssuer;
    }

    // What OpenSSL's CRL checks over `crls` say of the certificate at `depth`.
    Status statusFromCRLs(int depth, STACK_OF(X509_CRL) * crls) {
        CRLVerdicts verdicts = verifyWithCRLs(crls);
        auto verdict = verdicts.byDepth.find(depth);
        if (verdict != verdicts.byDepth.end()) return verdict->second;
        return verdicts.completed ? Status::good : Status::unknown;
    }

    // Verifies the chain again with OpenSSL's CRL checks over `crls`.
    CRLVerdicts verifyWithCRLs(STACK_OF(X509_CRL) * crls) {
        CRLVerdicts verdicts;
        StoreContextPtr context(X509_STORE_CTX_new());
        if (!context || !check_.prepareVerification(context.get())) return verdicts;
        X509_VERIFY_PARAM_set_flags(X509_STORE_CTX_get0_param(context.get()),
                                    X509_V_FLAG_CRL_CHECK | X509_V_FLAG_CRL_CHECK_ALL);
        X509_STORE_CTX_set0_crls(context.get(), crls);
        X509_STORE_CTX_set_app_data(context.get(), &verdicts);
        X509_STORE_CTX_set_verify_cb(context.get(), recordCRLVerdict);
        verdicts.completed = X509_verify_cert(context.get()) == 1;
        return verdicts;
    }

    const Check& check_;
    Fetcher fetcher_;
    CertificateListPtr chainCertificates_;
    CRLListPtr crls_;                 // the full CRLs fetched so far, judged by OpenSSL's checks
    CRLListPtr listingOnlyCRLs_;      // those `isOutdated`, and deltas: only what they list counts
    std::set<std::string> crlsFrom_;  // the URLs whose CRLs are in either
};

}  // namespace

Outcome checkRevocation(const Check& check) {
    // Failed fetches and unusable answers leave errors on the thread's OpenSSL queue;
    // they must not reach whoever uses OpenSSL next on this thread (the TLS layer).
    ERR_set_mark();
    Outcome outcome = Checker(check).run();
    ERR_pop_to_mark();
    return outcome;
}

}  // namespace platform::revocation

// Certificates and keys for tests that need a real TLS peer, made with the openssl tool in
// a folder of their own: authorities, the leaves they sign, self-signed leaves and the
// chain files a server presents; revocation (an authority's record of what it issued and
// revoked, its CRL, its OCSP answers and responder); and the system's trust store pointed
// at a test authority.
#pragma once
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

#include "tests/support/LocalHTTPServer.h"
#include "tests/support/TempDir.h"

namespace testing_support {

// A process of the openssl tool that serves on a port of 127.0.0.1 (an OCSP responder, a
// TLS server): started, then waited for until it accepts connections; stopped and reaped
// at the end.
class OpenSSLServer {
public:
    // Runs `openssl` with `arguments`, which make it listen on `port`; throws when it does
    // not accept connections within ten seconds.
    OpenSSLServer(const std::vector<std::string>& arguments, int port);
    ~OpenSSLServer();
    OpenSSLServer(const OpenSSLServer&) = delete;
    OpenSSLServer& operator=(const OpenSSLServer&) = delete;

    int port() const { return port_; }

private:
    void waitUntilAccepting();
    void stop();

    pid_t pid_ = -1;
    int port_;
};

// A TCP port of 127.0.0.1 that nothing listened on when it was picked.
int freePort();

// Each certificate `name` is "<name>.pem" with its key "<name>.key" and its subject
// "/CN=<name>". EC P-256 keys, so a whole set takes a fraction of a second to make.
class TestCertificates {
public:
    TestCertificates() = default;
    TestCertificates(const TestCertificates&) = delete;
    TestCertificates& operator=(const TestCertificates&) = delete;

    // A self-signed authority.
    void authority(const std::string& name);
    // An authority signed by `issuer`, which may sign leaves in turn.
    void intermediate(const std::string& name, const std::string& issuer);
    // A leaf signed by `issuer` for `altNames` ("IP:127.0.0.1,DNS:localhost"), valid from
    // now for `days` (negative: expired already).
    void leaf(const std::string& name, const std::string& issuer, const std::string& altNames, int days = 2);
    // A self-signed leaf for `altNames`.
    void selfSigned(const std::string& name, const std::string& altNames);
    // A leaf as above that names where its status is told: a CRL distribution point and an
    // OCSP responder (an empty URL names none).
    void leafWithRevocationSources(const std::string& name, const std::string& issuer, const std::string& altNames,
                                   const std::string& crlURL, const std::string& ocspURL);
    // The same with a CRL distribution point for each of `crlURLs`, in that order.
    void leafWithRevocationSources(const std::string& name, const std::string& issuer, const std::string& altNames,
                                   const std::vector<std::string>& crlURLs, const std::string& ocspURL);
    // Records the leaf `name` as issued by `issuer`, so its OCSP answers call it good; a
    // leaf never recorded is unknown to them.
    void record(const std::string& name, const std::string& issuer);
    // Records the leaf `name` as revoked by `issuer`.
    void revoke(const std::string& name, const std::string& issuer);
    // The DER CRL of `issuer`, listing what it revoked so far, valid for a day.
    std::string crl(const std::string& issuer);
    // The DER OCSP answer `issuer` gives for `name` (good, revoked or unknown), valid for a day.
    std::string ocspResponse(const std::string& name, const std::string& issuer);
    // A DER OCSP answer `issuer` signs calling `name` good whatever its record says (one
    // made before a revocation), with its this-update `thisUpdate` seconds from now
    // (negative: past) and its next update `nextUpdate` seconds from now, or none.
    std::string goodOCSPResponse(const std::string& name, const std::string& issuer, long thisUpdate,
                                 std::optional<long> nextUpdate) const;
    // The same telling a status of `name` for each of `revoked`: revoked when true, else good.
    std::string ocspResponseWithStatuses(const std::string& name, const std::string& issuer,
                                         const std::vector<bool>& revoked, long thisUpdate,
                                         std::optional<long> nextUpdate) const;
    // A DER CRL `issuer` signs listing the certificates `revoked` whatever its record says
    // (one made before a revocation, or after it), with its last update `lastUpdate` seconds
    // from now (negative: past) and its next update `nextUpdate` seconds from now, or none.
    std::string crlAt(const std::string& issuer, const std::vector<std::string>& revoked, long lastUpdate,
                      std::optional<long> nextUpdate) const;
    // A certificate a CRL made by hand lists, with the reason of its entry (a CRL_REASON_*
    // value, such as certificateHold or removeFromCRL), or none.
    struct CRLEntry {
        std::string name;
        std::optional<int> reason;
    };
    // What a CRL made by hand says of itself: its CRL number, the number of the full CRL it
    // is a delta of (none: it is a full CRL), the issuer it names (empty: its signer's), and
    // its issuing distribution point, critical, in the openssl tool's configuration form
    // ("fullname:URI:http://...,onlysomereasons:keyCompromise", "onlyCA:TRUE"; empty: none).
    struct CRLForm {
        std::optional<long> number;
        std::optional<long> deltaOf;
        std::string issuerName;
        std::string issuingDistributionPoint = {};
    };
    // A DER CRL `issuer` signs, as `crlAt` makes it, listing `entries` in the form `form`.
    std::string crlListing(const std::string& issuer, const std::vector<CRLEntry>& entries, long lastUpdate,
                           std::optional<long> nextUpdate, const CRLForm& form) const;
    // An OCSP responder for `issuer` on `port`, answering from its record.
    std::unique_ptr<OpenSSLServer> ocspResponder(const std::string& issuer, int port) const;
    // A TLS server on `port` with certificate `name` that staples the OCSP answer in the file
    // `ocspFile` of the set; it answers a GET with a status page.
    std::unique_ptr<OpenSSLServer> staplingTLSServer(const std::string& name, const std::string& ocspFile,
                                                     int port) const;

    // "<name>-chain.pem": the named certificates in order, leaf first, as a server presents them.
    void chain(const std::string& name, const std::vector<std::string>& certificates);

    // The file `file` of the set ("ca.pem", "server.key", "good-chain.pem" ...).
    std::string path(const std::string& file) const { return (dir_ / file).string(); }
    // The DER bytes of certificate `name`.
    std::string der(const std::string& name) const;
    // A TLS server on 127.0.0.1 with certificate `name` and its key, presenting
    // "<name>-chain.pem" instead of the certificate alone when `presentChain` is set.
    std::unique_ptr<LocalHTTPServer> tlsServer(const std::string& name,
                                               LocalHTTPServer::Handler handler = LocalHTTPServer::echoReply,
                                               bool presentChain = false) const;

private:
    void run(const std::string& command) const;
    void makeSelfSigned(const std::string& name, const std::string& extensions);
    void sign(const std::string& name, const std::string& issuer, const std::string& extensions, int days);
    // "openssl ca" with `issuer`'s record (made on first use) and `arguments`.
    void runAuthority(const std::string& issuer, const std::string& arguments);

    TempDir dir_;
    int serial_ = 1;
};

// The set most TLS tests share, made once per test program: an authority "ca", a
// "server" certificate it signed for 127.0.0.1 and localhost, one for another host
// ("other"), an expired one ("expired"), and a self-signed one for 127.0.0.1 ("self").
const TestCertificates& sharedCertificates();

// While alive, the system's trust store holds the certificates of `file` alone, so a test
// authority plays the system's, or with `kNothingTrusted` no server is trusted by the
// system; the setting before comes back at the end, whatever way the test ends.
class ScopedSystemTrust {
public:
    static constexpr const char* kNothingTrusted = "/nonexistent";

    explicit ScopedSystemTrust(const std::string& file);
    ~ScopedSystemTrust();
    ScopedSystemTrust(const ScopedSystemTrust&) = delete;
    ScopedSystemTrust& operator=(const ScopedSystemTrust&) = delete;

private:
    bool hadSetting_ = false;
    std::string setting_;
};

}  // namespace testing_support

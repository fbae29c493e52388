#include "tests/support/TestCertificates.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <openssl/ocsp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "platform/base/FreedBy.h"

extern char** environ;

namespace testing_support {

namespace {

// What `openssl req` adds to a new key for a certificate: EC P-256, no passphrase.
const std::string kNewKey = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes ";
const std::string kAuthorityExtensions = "basicConstraints=critical,CA:TRUE\nkeyUsage=keyCertSign,cRLSign\n";

}  // namespace

void TestCertificates::authority(const std::string& name) {
    makeSelfSigned(name, "-addext basicConstraints=critical,CA:TRUE -addext keyUsage=keyCertSign,cRLSign");
}

void TestCertificates::intermediate(const std::string& name, const std::string& issuer) {
    sign(name, issuer, kAuthorityExtensions, 2);
}

void TestCertificates::leaf(const std::string& name, const std::string& issuer, const std::string& altNames, int days) {
    sign(name, issuer, "subjectAltName=" + altNames + "\n", days);
}

void TestCertificates::leafWithRevocationSources(const std::string& name, const std::string& issuer,
                                                 const std::string& altNames, const std::string& crlURL,
                                                 const std::string& ocspURL) {
    leafWithRevocationSources(name, issuer, altNames, crlURL.empty() ? std::vector<std::string>{} : std::vector{crlURL},
                              ocspURL);
}

void TestCertificates::leafWithRevocationSources(const std::string& name, const std::string& issuer,
                                                 const std::string& altNames, const std::vector<std::string>& crlURLs,
                                                 const std::string& ocspURL) {
    std::string extensions = "subjectAltName=" + altNames + "\n";
    // Each "URI:" value of the extension is a distribution point of its own.
    std::string points;
    for (const auto& url : crlURLs) points += (points.empty() ? "URI:" : ",URI:") + url;
    if (!points.empty()) extensions += "crlDistributionPoints=" + points + "\n";
    if (!ocspURL.empty()) extensions += "authorityInfoAccess=OCSP;URI:" + ocspURL + "\n";
    sign(name, issuer, extensions, 2);
}

void TestCertificates::record(const std::string& name, const std::string& issuer) {
    runAuthority(issuer, "-valid " + name + ".pem");
}

void TestCertificates::revoke(const std::string& name, const std::string& issuer) {
    runAuthority(issuer, "-revoke " + name + ".pem");
}

std::string TestCertificates::crl(const std::string& issuer) {
    runAuthority(issuer, "-gencrl -out " + issuer + "-crl.pem");
    run("openssl crl -in " + issuer + "-crl.pem -outform DER -out " + issuer + ".crl");
    return readFile(dir_ / (issuer + ".crl"));
}

std::string TestCertificates::ocspResponse(const std::string& name, const std::string& issuer) {
    run("openssl ocsp -no_nonce -issuer " + issuer + ".pem -cert " + name + ".pem -reqout " + name + ".ocsp-request");
    run("openssl ocsp -index " + issuer + "-index.txt -rsigner " + issuer + ".pem -rkey " + issuer + ".key -CA " +
        issuer + ".pem -ndays 1 -reqin " + name + ".ocsp-request -respout " + name + ".ocsp");
    return readFile(dir_ / (name + ".ocsp"));
}

namespace {

using platform::FreedBy;
using CertificatePtr = FreedBy<X509, X509_free>;
using KeyPtr = FreedBy<EVP_PKEY, EVP_PKEY_free>;
using TimePtr = FreedBy<ASN1_TIME, ASN1_TIME_free>;
using CertIDPtr = FreedBy<OCSP_CERTID, OCSP_CERTID_free>;
using BasicPtr = FreedBy<OCSP_BASICRESP, OCSP_BASICRESP_free>;
using ResponsePtr = FreedBy<OCSP_RESPONSE, OCSP_RESPONSE_free>;
using CRLPtr = FreedBy<X509_CRL, X509_CRL_free>;
using RevokedPtr = FreedBy<X509_REVOKED, X509_REVOKED_free>;

// The first PEM object of the file at `path`, read by `read`.
template <class Read>
auto readPEM(const std::string& path, Read read) {
    FILE* file = std::fopen(path.c_str(), "r");
    if (!file) throw std::runtime_error("cannot open " + path);
    auto* object = read(file, nullptr, nullptr, nullptr);
    std::fclose(file);
    if (!object) throw std::runtime_error("unreadable " + path);
    return object;
}

// The DER bytes of `object` (null: none, which throws), encoded by `encode`.
template <class T, class Encode>
std::string derOf(const T* object, Encode encode, const std::string& what) {
    unsigned char* bytes = nullptr;
    int length = object ? encode(object, &bytes) : -1;
    if (length < 0) throw std::runtime_error("cannot encode " + what);
    std::string out(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length));
    OPENSSL_free(bytes);
    return out;
}

}  // namespace

std::string TestCertificates::goodOCSPResponse(const std::string& name, const std::string& issuer, long thisUpdate,
                                               std::optional<long> nextUpdate) const {
    return ocspResponseWithStatuses(name, issuer, {false}, thisUpdate, nextUpdate);
}

std::string TestCertificates::ocspResponseWithStatuses(const std::string& name, const std::string& issuer,
                                                       const std::vector<bool>& revoked, long thisUpdate,
                                                       std::optional<long> nextUpdate) const {
    CertificatePtr certificate(readPEM(path(name + ".pem"), PEM_read_X509));
    CertificatePtr signer(readPEM(path(issuer + ".pem"), PEM_read_X509));
    KeyPtr key(readPEM(path(issuer + ".key"), PEM_read_PrivateKey));
    CertIDPtr id(OCSP_cert_to_id(nullptr, certificate.get(), signer.get()));
    BasicPtr basic(OCSP_BASICRESP_new());
    TimePtr made(X509_gmtime_adj(nullptr, thisUpdate));
    TimePtr next(nextUpdate ? X509_gmtime_adj(nullptr, *nextUpdate) : nullptr);
    bool added = id && basic && made && (!nextUpdate || next);
    for (bool isRevoked : revoked)
        added = added && OCSP_basic_add1_status(
                             basic.get(), id.get(), isRevoked ? V_OCSP_CERTSTATUS_REVOKED : V_OCSP_CERTSTATUS_GOOD,
                             OCSP_REVOKED_STATUS_NOSTATUS, isRevoked ? made.get() : nullptr, made.get(), next.get());
    if (!added || !OCSP_basic_sign(basic.get(), signer.get(), key.get(), EVP_sha256(), nullptr, 0))
        throw std::runtime_error("cannot make an OCSP answer for " + name);
    ResponsePtr response(OCSP_response_create(OCSP_RESPONSE_STATUS_SUCCESSFUL, basic.get()));
    return derOf(response.get(), i2d_OCSP_RESPONSE, "an OCSP answer for " + name);
}

std::string TestCertificates::crlAt(const std::string& issuer, const std::vector<std::string>& revoked, long lastUpdate,
                                    std::optional<long> nextUpdate) const {
    std::vector<CRLEntry> entries;
    for (const auto& name : revoked) entries.push_back({name, std::nullopt});
    return crlListing(issuer, entries, lastUpdate, nextUpdate, {});
}

namespace {

using IntegerPtr = FreedBy<ASN1_INTEGER, ASN1_INTEGER_free>;
using EnumeratedPtr = FreedBy<ASN1_ENUMERATED, ASN1_ENUMERATED_free>;
using NamePtr = FreedBy<X509_NAME, X509_NAME_free>;

// Adds the CRL extension `nid` holding the integer `value` (a CRL number, a delta's base).
void addIntegerExtension(X509_CRL* crl, int nid, long value, bool critical) {
    IntegerPtr integer(ASN1_INTEGER_new());
    if (!integer || !ASN1_INTEGER_set(integer.get(), value) ||
        X509_CRL_add1_ext_i2d(crl, nid, integer.get(), critical, X509V3_ADD_DEFAULT) != 1)
        throw std::runtime_error("cannot number a CRL");
}

// Adds the critical issuing distribution point `value`, in the configuration form.
void addIssuingDistributionPoint(X509_CRL* crl, const std::string& value) {
    X509_EXTENSION* extension =
        X509V3_EXT_conf_nid(nullptr, nullptr, NID_issuing_distribution_point, ("critical," + value).c_str());
    bool added = extension && X509_CRL_add_ext(crl, extension, -1) == 1;
    X509_EXTENSION_free(extension);
    if (!added) throw std::runtime_error("cannot give a CRL the issuing distribution point " + value);
}

void setReason(X509_REVOKED* entry, int reason) {
    EnumeratedPtr value(ASN1_ENUMERATED_new());
    if (!value || !ASN1_ENUMERATED_set(value.get(), reason) ||
        X509_REVOKED_add1_ext_i2d(entry, NID_crl_reason, value.get(), 0, X509V3_ADD_DEFAULT) != 1)
        throw std::runtime_error("cannot give a CRL entry its reason");
}

}  // namespace

std::string TestCertificates::crlListing(const std::string& issuer, const std::vector<CRLEntry>& entries,
                                         long lastUpdate, std::optional<long> nextUpdate, const CRLForm& form) const {
    CertificatePtr signer(readPEM(path(issuer + ".pem"), PEM_read_X509));
    KeyPtr key(readPEM(path(issuer + ".key"), PEM_read_PrivateKey));
    CRLPtr crl(X509_CRL_new());
    TimePtr made(X509_gmtime_adj(nullptr, lastUpdate));
    TimePtr next(nextUpdate ? X509_gmtime_adj(nullptr, *nextUpdate) : nullptr);
    NamePtr issuerName(form.issuerName.empty() ? X509_NAME_dup(X509_get_subject_name(signer.get())) : X509_NAME_new());
    if (issuerName && !form.issuerName.empty())
        X509_NAME_add_entry_by_txt(issuerName.get(), "CN", MBSTRING_UTF8,
                                   reinterpret_cast<const unsigned char*>(form.issuerName.c_str()), -1, -1, 0);
    if (!crl || !made || (nextUpdate && !next) || !issuerName || !X509_CRL_set_version(crl.get(), X509_CRL_VERSION_2) ||
        !X509_CRL_set_issuer_name(crl.get(), issuerName.get()) || !X509_CRL_set1_lastUpdate(crl.get(), made.get()) ||
        (next && !X509_CRL_set1_nextUpdate(crl.get(), next.get())))
        throw std::runtime_error("cannot make a CRL of " + issuer);
    if (form.number) addIntegerExtension(crl.get(), NID_crl_number, *form.number, false);
    if (form.deltaOf) addIntegerExtension(crl.get(), NID_delta_crl, *form.deltaOf, true);
    if (!form.issuingDistributionPoint.empty()) addIssuingDistributionPoint(crl.get(), form.issuingDistributionPoint);
    for (const auto& [name, reason] : entries) {
        CertificatePtr certificate(readPEM(path(name + ".pem"), PEM_read_X509));
        RevokedPtr entry(X509_REVOKED_new());
        if (!entry || !X509_REVOKED_set_serialNumber(entry.get(), X509_get_serialNumber(certificate.get())) ||
            !X509_REVOKED_set_revocationDate(entry.get(), made.get()))
            throw std::runtime_error("cannot list " + name + " in a CRL");
        if (reason) setReason(entry.get(), *reason);
        if (!X509_CRL_add0_revoked(crl.get(), entry.get()))
            throw std::runtime_error("cannot list " + name + " in a CRL");
        entry.release();  // the CRL's now
    }
    if (!X509_CRL_sort(crl.get()) || !X509_CRL_sign(crl.get(), key.get(), EVP_sha256()))
        throw std::runtime_error("cannot sign a CRL of " + issuer);
    return derOf(crl.get(), i2d_X509_CRL, "a CRL of " + issuer);
}

std::unique_ptr<OpenSSLServer> TestCertificates::ocspResponder(const std::string& issuer, int port) const {
    std::vector<std::string> arguments{"ocsp", "-index", path(issuer + "-index.txt"), "-port", std::to_string(port)};
    for (const char* option : {"-rsigner", "-CA"}) arguments.insert(arguments.end(), {option, path(issuer + ".pem")});
    arguments.insert(arguments.end(), {"-rkey", path(issuer + ".key"), "-ndays", "1", "-ignore_err"});
    return std::make_unique<OpenSSLServer>(arguments, port);
}

std::unique_ptr<OpenSSLServer> TestCertificates::staplingTLSServer(const std::string& name, const std::string& ocspFile,
                                                                   int port) const {
    std::vector<std::string> arguments{"s_server", "-accept", "127.0.0.1:" + std::to_string(port)};
    arguments.insert(arguments.end(), {"-cert", path(name + ".pem"), "-key", path(name + ".key")});
    arguments.insert(arguments.end(), {"-status_file", path(ocspFile), "-www", "-quiet"});
    return std::make_unique<OpenSSLServer>(arguments, port);
}

void TestCertificates::selfSigned(const std::string& name, const std::string& altNames) {
    makeSelfSigned(name, "-addext subjectAltName=" + altNames);
}

void TestCertificates::chain(const std::string& name, const std::vector<std::string>& certificates) {
    std::string pem;
    for (const auto& certificate : certificates) pem += readFile(dir_ / (certificate + ".pem"));
    writeFile(dir_ / (name + "-chain.pem"), pem);
}

std::string TestCertificates::der(const std::string& name) const {
    CertificatePtr certificate(readPEM(path(name + ".pem"), PEM_read_X509));
    return derOf(certificate.get(), i2d_X509, "certificate " + name);
}

std::unique_ptr<LocalHTTPServer> TestCertificates::tlsServer(const std::string& name, LocalHTTPServer::Handler handler,
                                                             bool presentChain) const {
    return std::make_unique<LocalHTTPServer>(std::move(handler), path(name + (presentChain ? "-chain.pem" : ".pem")),
                                             path(name + ".key"));
}

void TestCertificates::run(const std::string& command) const {
    int status = 0;
    std::string output = runCommand("cd '" + dir_.path().string() + "' && " + command + " 2>&1", &status);
    if (status != 0) throw std::runtime_error(command + ": " + output);
}

void TestCertificates::makeSelfSigned(const std::string& name, const std::string& extensions) {
    run("openssl req -x509" + kNewKey + "-keyout " + name + ".key -out " + name + ".pem -subj /CN=" + name +
        " -days 2 " + extensions);
}

void TestCertificates::sign(const std::string& name, const std::string& issuer, const std::string& extensions,
                            int days) {
    writeFile(dir_ / (name + ".ext"), extensions);
    run("openssl req" + kNewKey + "-keyout " + name + ".key -out " + name + ".csr -subj /CN=" + name);
    run("openssl x509 -req -in " + name + ".csr -CA " + issuer + ".pem -CAkey " + issuer + ".key -set_serial " +
        std::to_string(++serial_) + " -days " + std::to_string(days) + " -extfile " + name + ".ext -out " + name +
        ".pem");
}

void TestCertificates::runAuthority(const std::string& issuer, const std::string& arguments) {
    const std::string config = issuer + "-ca.cnf";
    if (!std::filesystem::exists(dir_ / config)) {
        writeFile(dir_ / config, "[ca]\ndefault_ca = authority\n[authority]\ndatabase = " + issuer +
                                     "-index.txt\ndefault_md = sha256\ndefault_crl_days = 1\n");
        writeFile(dir_ / (issuer + "-index.txt"), "");
    }
    run("openssl ca -config " + config + " -keyfile " + issuer + ".key -cert " + issuer + ".pem " + arguments);
}

OpenSSLServer::OpenSSLServer(const std::vector<std::string>& arguments, int port) : port_(port) {
    std::vector<std::string> words{"openssl"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int fd : {0, 1, 2}) posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd ? O_WRONLY : O_RDONLY, 0);
    int failed = posix_spawnp(&pid_, "openssl", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed) throw std::runtime_error("cannot start openssl " + arguments.front());
    try {
        waitUntilAccepting();
    } catch (...) {
        stop();
        throw;
    }
}

OpenSSLServer::~OpenSSLServer() { stop(); }

void OpenSSLServer::stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

namespace {

// Whether a socket listens on `port` (any address), as the kernel's socket tables say.
// Asked there rather than by connecting: the OCSP responder stops answering after a
// client that connects and leaves without a request.
bool someoneListensOn(int port) {
    char portHex[8];
    std::snprintf(portHex, sizeof portHex, "%04X", port);
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        std::istringstream lines(readFile(table));
        std::string line;
        std::getline(lines, line);  // the heading
        while (std::getline(lines, line)) {
            std::istringstream fields(line);
            std::string slot, local, remote, state;
            fields >> slot >> local >> remote >> state;
            auto colon = local.rfind(':');
            if (state == "0A" && colon != std::string::npos && local.substr(colon + 1) == portHex) return true;
        }
    }
    return false;
}

}  // namespace

void OpenSSLServer::waitUntilAccepting() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        if (someoneListensOn(port_)) return;
        if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            throw std::runtime_error("openssl ended before it listened on port " + std::to_string(port_));
        }
        // Polled: the process gives no other sign that it listens.
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    throw std::runtime_error("openssl does not listen on port " + std::to_string(port_));
}

int freePort() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        throw std::runtime_error("no free port");
    }
    ::close(fd);
    return ntohs(address.sin_port);
}

namespace {

struct SharedCertificates : TestCertificates {
    SharedCertificates() {
        authority("ca");
        leaf("server", "ca", "IP:127.0.0.1,DNS:localhost");
        leaf("other", "ca", "DNS:other.example");
        leaf("expired", "ca", "IP:127.0.0.1,DNS:localhost", -1);
        selfSigned("self", "IP:127.0.0.1");
    }
};

}  // namespace

const TestCertificates& sharedCertificates() {
    static const SharedCertificates certificates;
    return certificates;
}

ScopedSystemTrust::ScopedSystemTrust(const std::string& file) {
    if (const char* before = std::getenv("SSL_CERT_FILE")) {
        hadSetting_ = true;
        setting_ = before;
    }
    ::setenv("SSL_CERT_FILE", file.c_str(), 1);
}

ScopedSystemTrust::~ScopedSystemTrust() {
    if (hadSetting_) ::setenv("SSL_CERT_FILE", setting_.c_str(), 1);
    else ::unsetenv("SSL_CERT_FILE");
}

}  // namespace testing_support

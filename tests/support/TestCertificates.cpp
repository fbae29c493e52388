#include "tests/support/TestCertificates.h"

#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

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

void TestCertificates::selfSigned(const std::string& name, const std::string& altNames) {
    makeSelfSigned(name, "-addext subjectAltName=" + altNames);
}

void TestCertificates::chain(const std::string& name, const std::vector<std::string>& certificates) {
    std::string pem;
    for (const auto& certificate : certificates) pem += readFile(dir_ / (certificate + ".pem"));
    writeFile(dir_ / (name + "-chain.pem"), pem);
}

std::string TestCertificates::der(const std::string& name) const {
    FILE* file = std::fopen(path(name + ".pem").c_str(), "r");
    if (!file) throw std::runtime_error("no certificate " + name);
    X509* certificate = PEM_read_X509(file, nullptr, nullptr, nullptr);
    std::fclose(file);
    unsigned char* bytes = nullptr;
    int length = certificate ? i2d_X509(certificate, &bytes) : -1;
    X509_free(certificate);
    if (length < 0) throw std::runtime_error("unreadable certificate " + name);
    std::string out(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length));
    OPENSSL_free(bytes);
    return out;
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

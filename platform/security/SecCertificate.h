// An X.509 certificate held as its DER bytes, and the public key it carries.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "platform/base/Data.h"
#include "platform/security/SecBase.h"

typedef struct x509_st X509;
typedef struct evp_pkey_st EVP_PKEY;

namespace platform {

class SecCertificate {
public:
    ~SecCertificate();
    SecCertificate(const SecCertificate&) = delete;
    SecCertificate& operator=(const SecCertificate&) = delete;

    // None when `der` is not exactly one DER certificate.
    static SecCertificateRef createWithData(const Data& der);
    // Takes a reference of its own on `x509`.
    static SecCertificateRef fromX509(X509* x509);

    const Data& data() const { return der_; }
    X509* x509() const { return x509_; }
    // The subject's common name, else the whole subject line.
    std::string subjectSummary() const;

private:
    SecCertificate(X509* x509, Data der) : x509_(x509), der_(std::move(der)) {}
    X509* x509_;
    Data der_;
};

// A public key, compared by its SubjectPublicKeyInfo DER.
class SecKey {
public:
    ~SecKey();
    SecKey(const SecKey&) = delete;
    SecKey& operator=(const SecKey&) = delete;

    // Takes a reference of its own on `key`.
    static SecKeyRef fromPublicKey(EVP_PKEY* key);
    static SecKeyRef createWithSubjectPublicKeyInfo(const Data& spki);
    const Data& subjectPublicKeyInfo() const { return spki_; }
    EVP_PKEY* evpKey() const { return key_; }

    friend bool operator==(const SecKey& a, const SecKey& b) { return a.spki_ == b.spki_; }

private:
    SecKey(EVP_PKEY* key, Data spki) : key_(key), spki_(std::move(spki)) {}
    EVP_PKEY* key_;
    Data spki_;
};

SecCertificateRef SecCertificateCreateWithData(const Data& der);
Data SecCertificateCopyData(const SecCertificateRef& certificate);
std::string SecCertificateCopySubjectSummary(const SecCertificateRef& certificate);
SecKeyRef SecCertificateCopyKey(const SecCertificateRef& certificate);
// Equality of two keys, as the platform compares key objects.
bool SecKeyEqual(const SecKeyRef& a, const SecKeyRef& b);

}  // namespace platform

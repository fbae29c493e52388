// Certificates and public keys over OpenSSL.
#include "platform/security/SecCertificate.h"

#include <openssl/evp.h>
#include <openssl/x509.h>

namespace platform {

SecCertificate::~SecCertificate() { X509_free(x509_); }

SecCertificateRef SecCertificate::createWithData(const Data& der) {
    if (der.isEmpty()) return nullptr;
    const unsigned char* p = der.data();
    X509* x = d2i_X509(nullptr, &p, static_cast<long>(der.count()));
    if (!x) return nullptr;
    if (p != der.data() + der.count()) {  // trailing bytes: not one certificate
        X509_free(x);
        return nullptr;
    }
    return SecCertificateRef(new SecCertificate(x, der));
}

SecCertificateRef SecCertificate::fromX509(X509* x509) {
    if (!x509) return nullptr;
    unsigned char* out = nullptr;
    int n = i2d_X509(x509, &out);
    if (n <= 0) return nullptr;
    Data der(out, static_cast<std::size_t>(n));
    OPENSSL_free(out);
    X509_up_ref(x509);
    return SecCertificateRef(new SecCertificate(x509, std::move(der)));
}

std::string SecCertificate::subjectSummary() const {
    X509_NAME* name = X509_get_subject_name(x509_);
    char buffer[256];
    if (X509_NAME_get_text_by_NID(name, NID_commonName, buffer, sizeof buffer) > 0) return buffer;
    char* line = X509_NAME_oneline(name, nullptr, 0);
    std::string text = line ? line : "";
    OPENSSL_free(line);
    return text;
}

SecKey::~SecKey() { EVP_PKEY_free(key_); }

SecKeyRef SecKey::fromPublicKey(EVP_PKEY* key) {
    if (!key) return nullptr;
    unsigned char* out = nullptr;
    int n = i2d_PUBKEY(key, &out);
    if (n <= 0) return nullptr;
    Data spki(out, static_cast<std::size_t>(n));
    OPENSSL_free(out);
    EVP_PKEY_up_ref(key);
    return SecKeyRef(new SecKey(key, std::move(spki)));
}

SecKeyRef SecKey::createWithSubjectPublicKeyInfo(const Data& spki) {
    const unsigned char* p = spki.data();
    EVP_PKEY* key = d2i_PUBKEY(nullptr, &p, static_cast<long>(spki.count()));
    if (!key) return nullptr;
    auto result = fromPublicKey(key);
    EVP_PKEY_free(key);
    return result;
}

SecCertificateRef SecCertificateCreateWithData(const Data& der) { return SecCertificate::createWithData(der); }

Data SecCertificateCopyData(const SecCertificateRef& certificate) { return certificate ? certificate->data() : Data(); }

std::string SecCertificateCopySubjectSummary(const SecCertificateRef& certificate) {
    return certificate ? certificate->subjectSummary() : std::string();
}

SecKeyRef SecCertificateCopyKey(const SecCertificateRef& certificate) {
    if (!certificate) return nullptr;
    EVP_PKEY* key = X509_get0_pubkey(certificate->x509());
    return SecKey::fromPublicKey(key);
}

bool SecKeyEqual(const SecKeyRef& a, const SecKeyRef& b) {
    if (!a || !b) return a == b;
    return *a == *b;
}

}  // namespace platform

// Protection spaces and the in-memory credential store.
#include "platform/net/URLCredential.h"
#include "platform/base/NoDestructor.h"

#include <tuple>

namespace platform {

namespace {
auto key(const URLProtectionSpace& s) {
    return std::make_tuple(s.host(), s.port(), s.protocol(), s.realm(), s.authenticationMethod());
}
}  // namespace

bool URLProtectionSpace::receivesCredentialSecurely() const {
    return (protocol_ && *protocol_ == "https") || method_ == NSURLAuthenticationMethodHTTPDigest ||
           method_ == NSURLAuthenticationMethodServerTrust || method_ == NSURLAuthenticationMethodClientCertificate;
}

bool operator<(const URLProtectionSpace& a, const URLProtectionSpace& b) { return key(a) < key(b); }
bool operator==(const URLProtectionSpace& a, const URLProtectionSpace& b) { return key(a) == key(b); }

const std::shared_ptr<URLCredentialStorage>& URLCredentialStorage::shared() {
    static const NoDestructor<std::shared_ptr<URLCredentialStorage>> storage(std::make_shared<URLCredentialStorage>());
    return *storage;
}

std::map<std::string, URLCredentialPtr> URLCredentialStorage::credentials(const URLProtectionSpace& space) const {
    return entries_.read([&](const auto& entries) {
        auto it = entries.find(space);
        return it == entries.end() ? std::map<std::string, URLCredentialPtr>{} : it->second.byUser;
    });
}

std::vector<std::pair<URLProtectionSpace, std::map<std::string, URLCredentialPtr>>>
URLCredentialStorage::allCredentials() const {
    return entries_.read([](const auto& entries) {
        std::vector<std::pair<URLProtectionSpace, std::map<std::string, URLCredentialPtr>>> out;
        for (auto& [space, entry] : entries)
            if (!entry.byUser.empty()) out.emplace_back(space, entry.byUser);
        return out;
    });
}

void URLCredentialStorage::set(URLCredentialPtr credential, const URLProtectionSpace& space) {
    if (!credential || !credential->user() || credential->persistence() == URLCredential::Persistence::none) return;
    entries_.write([&](auto& entries) { entries[space].byUser[*credential->user()] = std::move(credential); });
}

void URLCredentialStorage::remove(const URLCredentialPtr& credential, const URLProtectionSpace& space) {
    if (!credential || !credential->user()) return;
    entries_.write([&](auto& entries) {
        auto it = entries.find(space);
        if (it == entries.end()) return;
        it->second.byUser.erase(*credential->user());
        if (it->second.defaultUser == credential->user()) it->second.defaultUser.reset();
    });
}

URLCredentialPtr URLCredentialStorage::defaultCredential(const URLProtectionSpace& space) const {
    return entries_.read([&](const auto& entries) -> URLCredentialPtr {
        auto it = entries.find(space);
        if (it == entries.end() || !it->second.defaultUser) return nullptr;
        auto found = it->second.byUser.find(*it->second.defaultUser);
        return found == it->second.byUser.end() ? nullptr : found->second;
    });
}

void URLCredentialStorage::setDefaultCredential(URLCredentialPtr credential, const URLProtectionSpace& space) {
    if (!credential || !credential->user() || credential->persistence() == URLCredential::Persistence::none) return;
    entries_.write([&](auto& entries) {
        auto& entry = entries[space];
        entry.defaultUser = *credential->user();
        entry.byUser[*credential->user()] = std::move(credential);
    });
}

}  // namespace platform

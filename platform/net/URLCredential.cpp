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
    std::lock_guard lock(mutex_);
    auto it = entries_.find(space);
    return it == entries_.end() ? std::map<std::string, URLCredentialPtr>{} : it->second.byUser;
}

std::vector<std::pair<URLProtectionSpace, std::map<std::string, URLCredentialPtr>>>
URLCredentialStorage::allCredentials() const {
    std::lock_guard lock(mutex_);
    std::vector<std::pair<URLProtectionSpace, std::map<std::string, URLCredentialPtr>>> out;
    for (auto& [space, entry] : entries_)
        if (!entry.byUser.empty()) out.emplace_back(space, entry.byUser);
    return out;
}

void URLCredentialStorage::set(URLCredentialPtr credential, const URLProtectionSpace& space) {
    if (!credential || !credential->user() || credential->persistence() == URLCredential::Persistence::none) return;
    std::lock_guard lock(mutex_);
    entries_[space].byUser[*credential->user()] = std::move(credential);
}

void URLCredentialStorage::remove(const URLCredentialPtr& credential, const URLProtectionSpace& space) {
    if (!credential || !credential->user()) return;
    std::lock_guard lock(mutex_);
    auto it = entries_.find(space);
    if (it == entries_.end()) return;
    it->second.byUser.erase(*credential->user());
    if (it->second.defaultUser == credential->user()) it->second.defaultUser.reset();
}

URLCredentialPtr URLCredentialStorage::defaultCredential(const URLProtectionSpace& space) const {
    std::lock_guard lock(mutex_);
    auto it = entries_.find(space);
    if (it == entries_.end() || !it->second.defaultUser) return nullptr;
    auto found = it->second.byUser.find(*it->second.defaultUser);
    return found == it->second.byUser.end() ? nullptr : found->second;
}

void URLCredentialStorage::setDefaultCredential(URLCredentialPtr credential, const URLProtectionSpace& space) {
    if (!credential || !credential->user() || credential->persistence() == URLCredential::Persistence::none) return;
    std::lock_guard lock(mutex_);
    auto& entry = entries_[space];
    entry.defaultUser = *credential->user();
    entry.byUser[*credential->user()] = std::move(credential);
}

}  // namespace platform

// Encrypted user-defaults back end of the client's key/value store.
#include "LumenAnalyticsSDK/Core/Utils/LAAESStorePlugin.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>

#include "LumenAnalyticsSDK/Core/Utils/LALog.h"
#include "platform/base/NoDestructor.h"
#include "platform/crypto/AES.h"
#include "platform/files/MovedAside.h"
#include "platform/files/UserDefaults.h"
#include "platform/foundation/NSKeyedArchiver.h"

namespace LumenAnalyticsSDK {

namespace {

// The key file's name in the folder of the file plugin.
std::string keyFilePath() { return LAFileStorePlugin::filePath(LAAESStorePlugin::kKeyFileKey); }

// Key files of earlier versions were readable by all; the key opens every stored value.
void keepKeyFileOwnerOnly() {
    int fd = ::open(keyFilePath().c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return;
    struct stat status {};
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_uid == ::geteuid() &&
        (status.st_mode & 077) != 0)
        ::fchmod(fd, status.st_mode & 0700);
    ::close(fd);
}

// Held while a key file that holds no key is replaced, by one instance of one process at a
// time. Earlier versions take this lock file's record lock (fcntl) before they replace the
// key file, so it is taken too where it can be; the key file's own lock (`HeldKeyFile`)
// is what keeps the repair to one launch whatever stands at the lock file's name.
class KeyFileRepair {
public:
    KeyFileRepair() : inProcess_(mutex()) {
        const std::string path = keyFilePath() + ".lock";
        fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
        struct stat status {};
        struct flock whole {};
        whole.l_type = F_WRLCK;
        whole.l_whence = SEEK_SET;
        if (fd_ < 0 || ::fstat(fd_, &status) != 0 || !S_ISREG(status.st_mode) || !waitForLock(whole)) {
            LALogWarn("The lock file " + path + " cannot be used; the AES key file is repaired under its own lock");
            if (fd_ >= 0) ::close(fd_);
            fd_ = -1;
        }
    }
    ~KeyFileRepair() {
        if (fd_ >= 0) ::close(fd_);  // releases the lock
    }
    KeyFileRepair(const KeyFileRepair&) = delete;
    KeyFileRepair& operator=(const KeyFileRepair&) = delete;

private:
    static std::mutex& mutex() {
        static platform::NoDestructor<std::mutex> repairing;  // writes may run until exit
        return *repairing;
    }
    bool waitForLock(struct flock& whole) const {
        int result;
        while ((result = ::fcntl(fd_, F_SETLKW, &whole)) != 0 && errno == EINTR) {}
        return result == 0;
    }
    std::lock_guard<std::mutex> inProcess_;
    int fd_ = -1;
};

// Launches that find the key file changed under them look again, at most this often.
constexpr int kKeyFileAttempts = 100;

bool sameFile(const struct stat& one, const struct stat& other) {
    return one.st_dev == other.st_dev && one.st_ino == other.st_ino;
}

// What stands at the key file's name, opened and locked (flock on the file itself), then
// checked to be still what the name stands for. A launch changes what the name stands for
// only while it holds the lock of what stands there (the repair), or where nothing stands
// (the exclusive add), so what a holder checks is what it moves. Where it cannot be locked
// (a link, a file this user cannot open, a file system without locks) it is still looked
// at and moved the checked way, without the lock.
class HeldKeyFile {
public:
    // `standing`: what stands was opened (and locked where it could be) and still stands.
    enum class State { absent, standing, changed };

    explicit HeldKeyFile(const std::string& path) : path_(path) {
        const int flags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
        fd_ = ::open(path.c_str(), O_RDWR | flags);  // a network file system locks only what is open for writing
        if (fd_ < 0 && (errno == EISDIR || errno == EACCES)) fd_ = ::open(path.c_str(), O_RDONLY | flags);
        if (fd_ < 0) {
            state_ = ::lstat(path.c_str(), &opened_) == 0 ? State::standing : State::absent;
            return;
        }
        struct stat named {};
        if (::fstat(fd_, &opened_) == 0) waitForLock();  // a lock refused leaves the checked move
        const bool stands = ::lstat(path.c_str(), &named) == 0 && sameFile(named, opened_);
        state_ = stands ? State::standing : State::changed;
    }
    ~HeldKeyFile() {
        if (fd_ >= 0) ::close(fd_);  // releases the lock
    }
    HeldKeyFile(const HeldKeyFile&) = delete;
    HeldKeyFile& operator=(const HeldKeyFile&) = delete;

    State state() const { return state_; }

    // Moves what was checked aside to `aside` by the aside rule (MovedAside.h): should
    // another file have taken the name since (only where it could not be locked), that one
    // is put back (`changed`: what stands is then the launch's to adopt), or kept as `aside`
    // when yet another has taken the name meanwhile (`displaced`).
    platform::AsideOutcome moveAside(std::string& aside) const {
        return platform::moveAsideAsInvalid(path_, platform::FileIdentity::of(opened_), aside);
    }

private:
    void waitForLock() const {
        while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {}
    }
    std::string path_;
    int fd_ = -1;
    struct stat opened_ {};
    State state_ = State::absent;
};

}  // namespace

// A stored key that is no AES-128 key would fail every encryption for good: the next write
// moves it aside and adds a new key in its place (the log line says so).
LAAESStorePlugin::LAAESStorePlugin() {
    platform::Value stored = fileStorePlugin_.objectForKey(kKeyFileKey);
    if (stored.isNull()) return;
    if (auto key = aesKeyIn(stored)) {
        keepKeyFileOwnerOnly();
        keys_.set(&Keys::encryptKey, key);
        return;
    }
    LALogWarn("The stored AES key is not a " + std::to_string(platform::kCCKeySizeAES128) +
              "-byte key; a new key replaces it");
}

std::optional<platform::Data> LAAESStorePlugin::aesKeyIn(const platform::Value& stored) {
    std::optional<platform::Data> key;
    if (auto text = stored.asString()) key = platform::Data::fromBase64(*text);
    if (key && key->count() == platform::kCCKeySizeAES128) return key;
    return std::nullopt;
}

std::string LAAESStorePlugin::defaultsKey(const std::string& storeKey) {
    return platform::Data::fromString(storeKey).base64EncodedString();
}

LAAESCrypt& LAAESStorePlugin::aesCrypt(Keys& keys) {
    if (!keys.aesCrypt) keys.aesCrypt.emplace(keys.encryptKey);
    return *keys.aesCrypt;
}

// Another instance or launch over the same folder may have made the key since this one
// started: the file is read again before a key is made.
void LAAESStorePlugin::adoptStoredKey(Keys& keys) {
    if (!keys.encryptKey) keys.encryptKey = aesKeyIn(fileStorePlugin_.objectForKey(kKeyFileKey));
}

// The first key added wins, whoever made it; every other instance and launch adopts it.
void LAAESStorePlugin::ensureKey(Keys& keys) {
    adoptStoredKey(keys);
    if (keys.encryptKey) return;
    platform::Data made = LAAESCrypt::randomKey();
    platform::Value text(made.base64EncodedString());
    if (fileStorePlugin_.addOwnerOnlyObject(text, kKeyFileKey) ||
        (moveKeylessFileAside() && fileStorePlugin_.addOwnerOnlyObject(text, kKeyFileKey)))
        keys.encryptKey = made;
    else adoptStoredKey(keys);
}

// Launches that all found a file without a key each replaced it with their own key and so
// stored their values under different keys. Now one launch at a time holds the file, checks
// it and moves that same file aside, and the new key is added the exclusive way like a
// first one. A file that changed while it was being taken is looked at again.
bool LAAESStorePlugin::moveKeylessFileAside() {
    KeyFileRepair repair;
    const std::string path = keyFilePath();
    for (int attempt = 0; attempt < kKeyFileAttempts; ++attempt) {
        HeldKeyFile held(path);
        if (held.state() == HeldKeyFile::State::absent) return true;  // add afresh
        if (held.state() == HeldKeyFile::State::changed) continue;
        if (aesKeyIn(fileStorePlugin_.objectForKey(kKeyFileKey))) return false;  // another's key: adopt it
        std::string aside;
        switch (held.moveAside(aside)) {
            case platform::AsideOutcome::moved:
                LALogWarn("The AES key file " + path + " holds no key, moved aside to " + aside);
                return true;
            case platform::AsideOutcome::changed: return false;
            case platform::AsideOutcome::failed:
                LALogError("The AES key file " + path +
                           " holds no key and cannot be moved aside: " + std::strerror(errno));
                return false;
            case platform::AsideOutcome::displaced:
                LALogError("The AES key file " + path +
                           " changed while it was moved aside; what stood there then is kept as " + aside);
        }
        return false;
    }
    return false;
}

std::optional<std::string> LAAESStorePlugin::seal(Keys& keys, const platform::Value& value) {
    ensureKey(keys);
    if (!keys.encryptKey) return std::nullopt;  // none could be stored: a value sealed now could not be read again
    auto archived = platform::NSKeyedArchiver::archivedData(value);
    if (!archived.isSuccess()) return std::nullopt;
    return aesCrypt(keys).encryptData(archived.value());
}

platform::Value LAAESStorePlugin::unseal(Keys& keys, const std::optional<std::string>& text) {
    if (!keys.encryptKey || !text) return {};
    auto archived = aesCrypt(keys).decryptData(platform::Data::fromString(*text));
    if (!archived) return {};
    auto value = platform::NSKeyedUnarchiver::unarchivedObject(*archived);
    return value.isSuccess() ? value.value() : platform::Value();
}

void LAAESStorePlugin::storeSealed(const std::string& sealed, const std::string& key) {
    auto defaults = platform::UserDefaults::standard();
    defaults->set(platform::Value(sealed), defaultsKey(key));
    defaults->synchronize();
}

platform::Value LAAESStorePlugin::objectForKey(const std::string& key) {
    return keys_.write([&](Keys& keys) {
        adoptStoredKey(keys);
        return unseal(keys, platform::UserDefaults::standard()->string(defaultsKey(key)));
    });
}

void LAAESStorePlugin::setObject(const platform::Value& value, const std::string& key) {
    if (value.isNull()) return removeObjectForKey(key);
    keys_.write([&](Keys& keys) {
        if (auto sealed = seal(keys, value)) storeSealed(*sealed, key);
    });
}

// The defaults of other launches are not seen until they start again, so the first value
// is settled in a file made complete beside its place and linked in only where none is:
// the first launch wins, and the others take its text into their defaults. A claim that
// does not decrypt holds no value and is replaced.
bool LAAESStorePlugin::addObject(const platform::Value& value, const std::string& key) {
    if (value.isNull()) return false;
    return keys_.write([&](Keys& keys) {
        ensureKey(keys);
        if (!unseal(keys, platform::UserDefaults::standard()->string(defaultsKey(key))).isNull()) return false;
        auto sealed = seal(keys, value);
        if (!sealed) return false;
        bool added = fileStorePlugin_.addObject(platform::Value(*sealed), key);
        std::string kept = *sealed;
        if (!added) {
            platform::Value claimed = fileStorePlugin_.objectForKey(key);
            const auto* claimedText = claimed.asString();
            if (claimedText && !unseal(keys, *claimedText).isNull()) {
                kept = *claimedText;
            } else {
                fileStorePlugin_.setObject(platform::Value(*sealed), key);
                added = true;
            }
        }
        storeSealed(kept, key);
        return added;
    });
}

void LAAESStorePlugin::removeObjectForKey(const std::string& key) {
    auto defaults = platform::UserDefaults::standard();
    defaults->removeObject(defaultsKey(key));
    defaults->synchronize();
    fileStorePlugin_.removeObjectForKey(key);  // a later add starts afresh
}

}  // namespace LumenAnalyticsSDK

// The generic-password store: a JSON file rewritten whole (new file, then rename) under
// an exclusive lock, so other processes see either the old or the new items.
#include "platform/security/SecItem.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace platform {

namespace {

constexpr OSStatus errSecIO = -36;
const char* const kMatchAttributes[] = {kSecAttrAccount, kSecAttrService, kSecAttrAccessGroup, kSecAttrLabel};

std::filesystem::path storeFolder() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    std::filesystem::path base =
        xdg && *xdg ? xdg : std::filesystem::path(std::getenv("HOME") ? std::getenv("HOME") : "/") / ".local/share";
    return base / "keychains";
}

struct Item {
    std::map<std::string, std::string> attributes;
    Data data;
    double created = 0, modified = 0;
};

// Holds the process lock and the file lock while items are read and written.
class Store {
public:
    Store() : lock_(processMutex()) {
        folder_ = storeFolder();
        std::error_code ignored;
        std::filesystem::create_directories(folder_, ignored);
        ::chmod(folder_.c_str(), 0700);
        lockFd_ = ::open((folder_ / "generic-passwords.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (lockFd_ >= 0) ::flock(lockFd_, LOCK_EX);
    }
    ~Store() {
        if (lockFd_ >= 0) ::close(lockFd_);  // releases the flock
    }
    bool ok() const { return lockFd_ >= 0; }

    std::vector<Item> read() const {
        std::vector<Item> items;
        std::string text;
        int fd = ::open(file().c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return items;
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(n));
        ::close(fd);
        auto j = nlohmann::json::parse(text, nullptr, false);
        if (!j.is_array()) return items;
        for (auto& entry : j) {
            if (!entry.is_object() || !entry.contains("attributes") || !entry.contains("data")) continue;
            Item item;
            for (auto& [k, v] : entry["attributes"].items())
                if (v.is_string()) item.attributes[k] = v.get<std::string>();
            item.data = Data::fromBase64(entry["data"].get<std::string>()).value_or(Data());
            item.created = entry.value("created", 0.0);
            item.modified = entry.value("modified", 0.0);
            items.push_back(std::move(item));
        }
        return items;
    }

    bool write(const std::vector<Item>& items) const {
        nlohmann::json j = nlohmann::json::array();
        for (auto& item : items)
            j.push_back({{"attributes", item.attributes},
                         {"data", item.data.base64EncodedString()},
                         {"created", item.created},
                         {"modified", item.modified}});
        std::string text = j.dump(1);
        std::string temporary = file().string() + ".new";
        ::unlink(temporary.c_str());
        int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) return false;
        bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) && ::fsync(fd) == 0;
        ok = ::close(fd) == 0 && ok;
        if (!ok || ::rename(temporary.c_str(), file().c_str()) != 0) {
            ::unlink(temporary.c_str());
            return false;
        }
        return true;
    }

private:
    static std::mutex& processMutex() {
        static std::mutex m;
        return m;
    }
    std::filesystem::path file() const { return folder_ / "generic-passwords.json"; }

    std::lock_guard<std::mutex> lock_;
    std::filesystem::path folder_;
    int lockFd_ = -1;
};

const std::string* stringValue(const Value::Dictionary& d, const char* key) {
    auto it = d.find(key);
    return it == d.end() ? nullptr : it->second.asString();
}

bool flag(const Value::Dictionary& d, const char* key) {
    auto it = d.find(key);
    return it != d.end() && it->second.asBool().value_or(false);
}

bool isGenericPassword(const Value::Dictionary& query) {
    auto c = stringValue(query, kSecClass);
    return c && *c == kSecClassGenericPassword;
}

bool matches(const Item& item, const Value::Dictionary& query) {
    for (const char* key : kMatchAttributes) {
        auto wanted = stringValue(query, key);
        if (!wanted) continue;
        auto it = item.attributes.find(key);
        if (it == item.attributes.end() || it->second != *wanted) return false;
    }
    return true;
}

Value resultFor(const Item& item, const Value::Dictionary& query) {
    bool data = flag(query, kSecReturnData), attributes = flag(query, kSecReturnAttributes);
    if (data && !attributes) return Value(item.data);
    Value::Dictionary d;
    for (auto& [k, v] : item.attributes) d[k] = Value(v);
    d[kSecClass] = Value(kSecClassGenericPassword);
    d[kSecAttrCreationDate] = Value(Date{item.created});
    d[kSecAttrModificationDate] = Value(Date{item.modified});
    if (data) d[kSecValueData] = Value(item.data);
    return Value(std::move(d));
}

void applyAttributes(Item& item, const Value::Dictionary& attributes) {
    for (auto& [key, value] : attributes) {
        if (key == kSecValueData) {
            if (auto d = value.asData()) item.data = *d;
            else if (auto s = value.asString()) item.data = Data::fromString(*s);
        } else if (key == kSecClass || key.rfind("r_", 0) == 0 || key.rfind("m_", 0) == 0) {
            continue;
        } else if (auto s = value.asString()) {
            item.attributes[key] = *s;
        }
    }
}

}  // namespace

OSStatus SecItemAdd(const Value::Dictionary& attributes, Value* result) {
    if (!isGenericPassword(attributes)) return errSecUnimplemented;
    Store store;
    if (!store.ok()) return errSecIO;
    auto items = store.read();
    Value::Dictionary identity;
    for (const char* key : {kSecAttrAccount, kSecAttrService, kSecAttrAccessGroup})
        identity[key] = Value(stringValue(attributes, key) ? *stringValue(attributes, key) : std::string());
    for (auto& item : items) {
        bool same = true;
        for (const char* key : {kSecAttrAccount, kSecAttrService, kSecAttrAccessGroup}) {
            auto it = item.attributes.find(key);
            same &= (it == item.attributes.end() ? std::string() : it->second) == *identity[key].asString();
        }
        if (same) return errSecDuplicateItem;
    }
    Item item;
    applyAttributes(item, attributes);
    item.created = item.modified = Date::now().timeIntervalSinceReferenceDate;
    items.push_back(item);
    if (!store.write(items)) return errSecIO;
    if (result) *result = resultFor(item, attributes);
    return errSecSuccess;
}

OSStatus SecItemCopyMatching(const Value::Dictionary& query, Value* result) {
    if (!isGenericPassword(query)) return errSecUnimplemented;
    Store store;
    if (!store.ok()) return errSecIO;
    auto limit = stringValue(query, kSecMatchLimit);
    bool all = limit && *limit == kSecMatchLimitAll;
    Value::Array found;
    for (auto& item : store.read()) {
        if (!matches(item, query)) continue;
        found.push_back(resultFor(item, query));
        if (!all) break;
    }
    if (found.empty()) return errSecItemNotFound;
    if (result) *result = all ? Value(std::move(found)) : found.front();
    return errSecSuccess;
}

OSStatus SecItemUpdate(const Value::Dictionary& query, const Value::Dictionary& attributesToUpdate) {
    if (!isGenericPassword(query)) return errSecUnimplemented;
    Store store;
    if (!store.ok()) return errSecIO;
    auto items = store.read();
    bool any = false;
    for (auto& item : items) {
        if (!matches(item, query)) continue;
        applyAttributes(item, attributesToUpdate);
        item.modified = Date::now().timeIntervalSinceReferenceDate;
        any = true;
    }
    if (!any) return errSecItemNotFound;
    return store.write(items) ? errSecSuccess : errSecIO;
}

OSStatus SecItemDelete(const Value::Dictionary& query) {
    if (!isGenericPassword(query)) return errSecUnimplemented;
    Store store;
    if (!store.ok()) return errSecIO;
    auto items = store.read();
    auto before = items.size();
    std::erase_if(items, [&](const Item& item) { return matches(item, query); });
    if (items.size() == before) return errSecItemNotFound;
    return store.write(items) ? errSecSuccess : errSecIO;
}

}  // namespace platform

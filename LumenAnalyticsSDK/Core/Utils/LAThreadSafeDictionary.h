// A dictionary whose every access takes one recursive lock; the enumeration block runs
// under the lock and may itself use the dictionary.
#pragma once
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace LumenAnalyticsSDK {

template <class Value>
class LAThreadSafeDictionary {
public:
    static std::shared_ptr<LAThreadSafeDictionary> dictionary() { return std::make_shared<LAThreadSafeDictionary>(); }

    // A default value when the key is absent.
    Value objectForKey(const std::string& key) const {
        std::lock_guard guard(lock_);
        auto found = dictionary_.find(key);
        return found == dictionary_.end() ? Value() : found->second;
    }
    void setObject(Value value, const std::string& key) {
        std::lock_guard guard(lock_);
        dictionary_[key] = std::move(value);
    }
    void removeObjectForKey(const std::string& key) {
        std::lock_guard guard(lock_);
        dictionary_.erase(key);
    }
    std::vector<std::string> allKeys() const {
        std::lock_guard guard(lock_);
        std::vector<std::string> keys;
        for (const auto& entry : dictionary_) keys.push_back(entry.first);
        return keys;
    }
    std::vector<Value> allValues() const {
        std::lock_guard guard(lock_);
        std::vector<Value> values;
        for (const auto& entry : dictionary_) values.push_back(entry.second);
        return values;
    }
    // `block` may set `stop` to end the walk. It runs over a snapshot so that it may
    // change the dictionary without invalidating the walk.
    void
    enumerateKeysAndObjectsUsingBlock(const std::function<void(const std::string&, const Value&, bool& stop)>& block) {
        std::lock_guard guard(lock_);
        auto snapshot = dictionary_;
        bool stop = false;
        for (const auto& [key, value] : snapshot) {
            block(key, value, stop);
            if (stop) break;
        }
    }

private:
    mutable std::recursive_mutex lock_;
    std::map<std::string, Value> dictionary_;
};

}  // namespace LumenAnalyticsSDK

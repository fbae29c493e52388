// The runtime state an object makes on first use: its associations and its observers.
// Internal to the runtime's sources.
#pragma once
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/base/Protected.h"
#include "platform/runtime/Object.h"

namespace platform {

struct Object::State {
    struct Association {
        const void* key;
        Value value;                 // a retained or copied value
        std::weak_ptr<Object> weak;  // an assigned object
        bool isWeak = false;
    };
    struct Observation {
        std::weak_ptr<Object> observer;
        const Object* identity;  // for removal, also after the observer is gone
        std::string keyPath;
        KeyValueObservingOptions options;
        void* context;
    };
    // Old values captured by `willChange…`, one per open announcement of a key.
    using Pending = std::vector<std::optional<Value>>;

    struct Lists {
        std::vector<Association> associations;  // in order of first attachment
        std::vector<Observation> observations;
        std::unordered_map<std::string, Pending> pending;
    };
    Protected<Lists> lists;
};

// One notification to send, taken from a registration while the lock was held.
struct Object::Delivery {
    ObjectPtr observer;
    std::string keyPath;
    KeyValueObservingOptions options;
    void* context;
};

}  // namespace platform

// Key-value observing: registrations on the observed object, notifications sent as
// messages to the observers on the thread that announces the change, never under a lock.
#include <algorithm>

#include "platform/runtime/Class.h"
#include "platform/runtime/ObjectState.h"

namespace platform {

namespace {

const Selector& observeSelector() {
    static const Selector s("observeValueForKeyPath:ofObject:change:context:");
    return s;
}

}  // namespace

void Object::deliver(const Delivery& d, const ObjectPtr& object, Value::Dictionary change) {
    d.observer->perform(observeSelector(), {Value(d.keyPath), object ? Value(object) : Value(),
                                            Value(std::move(change)), contextValue(d.context)});
}

void Object::addObserver(const ObjectPtr& observer, const std::string& keyPath, KeyValueObservingOptions options,
                         void* context) {
    static const Selector selector("addObserver:forKeyPath:options:context:");
    perform(selector, {observer ? Value(observer) : Value(), Value(keyPath),
                       Value(static_cast<std::uint64_t>(options.rawValue)), contextValue(context)});
}

bool Object::removeObserver(const ObjectPtr& observer, const std::string& keyPath) {
    static const Selector selector("removeObserver:forKeyPath:");
    return perform(selector, {observer ? Value(observer) : Value(), Value(keyPath)}).asBool().value_or(false);
}

bool Object::removeObserver(const ObjectPtr& observer, const std::string& keyPath, void* context) {
    static const Selector selector("removeObserver:forKeyPath:context:");
    return perform(selector, {observer ? Value(observer) : Value(), Value(keyPath), contextValue(context)})
        .asBool()
        .value_or(false);
}

void Object::registerObservation(const ObjectPtr& observer, const std::string& keyPath,
                                 KeyValueObservingOptions options, void* context) {
    if (!observer) return;
    State* s = state();
    s->lists.write([&](State::Lists& lists) {
        lists.observations.push_back({observer, observer.get(), keyPath, options, context});
    });
    if (options.contains(NSKeyValueObservingOptionInitial)) {
        Value::Dictionary change{{NSKeyValueChangeKindKey, Value(NSKeyValueChangeSetting)}};
        if (options.contains(NSKeyValueObservingOptionNew)) change[NSKeyValueChangeNewKey] = observedValue(keyPath);
        deliver({observer, keyPath, options, context}, weak_from_this().lock(), std::move(change));
    }
}

bool Object::unregisterObservation(const Object* observer, const std::string& keyPath, bool matchContext,
                                   void* context) {
    State* s = state_.load(std::memory_order_acquire);
    if (!s || !observer) return false;
    return s->lists.write([&](State::Lists& lists) {
        auto& list = lists.observations;
        for (auto it = list.rbegin(); it != list.rend(); ++it) {
            if (it->identity == observer && it->keyPath == keyPath && (!matchContext || it->context == context)) {
                list.erase(std::next(it).base());
                return true;
            }
        }
        return false;
    });
}

std::size_t Object::observationCount(const std::string& keyPath) const {
    State* s = state_.load(std::memory_order_acquire);
    if (!s) return 0;
    return s->lists.read([&](const State::Lists& lists) {
        return static_cast<std::size_t>(
            std::count_if(lists.observations.begin(), lists.observations.end(),
                          [&](auto& o) { return o.keyPath == keyPath && !o.observer.expired(); }));
    });
}

// The current value for a notification: null when the class has no getter for it.
Value Object::observedValue(const std::string& keyPath) {
    auto dot = keyPath.find('.');
    if (!classPointer()->instanceMethod(Selector(keyPath.substr(0, dot)))) return Value();
    try {
        return valueForKeyPath(keyPath);
    } catch (const NSException&) {
        return Value();  // a later key of the path is unknown
    }
}

// Live observers of `key`, pruning those that are gone.
std::vector<Object::Delivery> Object::observersOf(const std::string& key) {
    std::vector<Delivery> found;
    State* s = state_.load(std::memory_order_acquire);
    if (!s) return found;
    s->lists.write([&](State::Lists& lists) {
        std::erase_if(lists.observations, [](auto& o) { return o.observer.expired(); });
        for (auto& o : lists.observations) {
            if (o.keyPath != key) continue;
            if (auto observer = o.observer.lock())
                found.push_back({std::move(observer), o.keyPath, o.options, o.context});
        }
    });
    return found;
}

void Object::willChangeValueForKey(const std::string& key) {
    State* s = state_.load(std::memory_order_acquire);
    if (!s) return;
    auto observers = observersOf(key);
    bool wantsOld = std::any_of(observers.begin(), observers.end(),
                                [](auto& d) { return d.options.contains(NSKeyValueObservingOptionOld); });
    std::optional<Value> old;
    if (wantsOld) old = observedValue(key);
    s->lists.write([&](State::Lists& lists) { lists.pending[key].push_back(old); });
    auto self = weak_from_this().lock();
    for (auto& d : observers) {
        if (!d.options.contains(NSKeyValueObservingOptionPrior)) continue;
        Value::Dictionary change{{NSKeyValueChangeKindKey, Value(NSKeyValueChangeSetting)},
                                 {NSKeyValueChangeNotificationIsPriorKey, Value(true)}};
        if (old && d.options.contains(NSKeyValueObservingOptionOld)) change[NSKeyValueChangeOldKey] = *old;
        deliver(d, self, std::move(change));
    }
}

void Object::didChangeValueForKey(const std::string& key) {
    State* s = state_.load(std::memory_order_acquire);
    if (!s) return;
    std::optional<Value> old = s->lists.write([&](State::Lists& lists) {
        std::optional<Value> announced;
        auto found = lists.pending.find(key);
        if (found != lists.pending.end()) {
            announced = std::move(found->second.back());
            found->second.pop_back();
            if (found->second.empty()) lists.pending.erase(found);
        }
        return announced;
    });
    auto observers = observersOf(key);
    if (observers.empty()) return;
    bool wantsNew = std::any_of(observers.begin(), observers.end(),
                                [](auto& d) { return d.options.contains(NSKeyValueObservingOptionNew); });
    Value current = wantsNew ? observedValue(key) : Value();
    auto self = weak_from_this().lock();
    for (auto& d : observers) {
        Value::Dictionary change{{NSKeyValueChangeKindKey, Value(NSKeyValueChangeSetting)}};
        if (d.options.contains(NSKeyValueObservingOptionNew)) change[NSKeyValueChangeNewKey] = current;
        if (old && d.options.contains(NSKeyValueObservingOptionOld)) change[NSKeyValueChangeOldKey] = *old;
        deliver(d, self, std::move(change));
    }
}

void Object::observeValueForKeyPath(const std::string&, const ObjectPtr&, const Value::Dictionary&, void*) {}

}  // namespace platform

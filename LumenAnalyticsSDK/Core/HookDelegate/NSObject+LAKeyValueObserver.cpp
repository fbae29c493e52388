// Observer bookkeeping over associated objects.
#include "LumenAnalyticsSDK/Core/HookDelegate/NSObject+LAKeyValueObserver.h"

#include <cstdio>
#include <exception>
#include <mutex>

#include "LumenAnalyticsSDK/Core/Utils/LALog.h"

namespace LumenAnalyticsSDK {

using platform::AssociationPolicy;
using platform::Object;
using platform::ObjectPtr;
using platform::Value;

namespace {

const char kObserverInfosKey = 0;
const char kTargetInfosKey = 0;
const char kObserversKey = 0;
const char kTargetsKey = 0;

std::string addressText(const Object* object) {
    char text[32];
    std::snprintf(text, sizeof text, "%p", static_cast<const void*>(object));
    return text;
}

LAKVOObjectList listAt(const Object& object, const char* key, const std::string& address) {
    LAKVOObjectList list;
    auto infos = object.associatedObject(key);
    if (auto entries = infos[address].asArray())
        for (auto& entry : *entries)
            if (auto kvo = entry.asObject<LAKVOObject>()) list.push_back(std::move(kvo));
    return list;
}

void appendAt(Object& object, const char* key, const std::string& address, const std::shared_ptr<LAKVOObject>& kvo) {
    auto infos = object.associatedObject(key);
    if (!infos.isDictionary()) infos = Value(Value::Dictionary());
    auto& list = infos[address];
    Value::Array entries = list.asArray() ? *list.asArray() : Value::Array();
    entries.push_back(Value(ObjectPtr(kvo)));
    list = Value(std::move(entries));
    object.setAssociatedObject(key, std::move(infos), AssociationPolicy::retainNonatomic);
}

std::shared_ptr<platform::NSHashTable> table(const Object& object, const char* key) {
    return object.associatedObject(key).asObject<platform::NSHashTable>();
}

std::shared_ptr<platform::NSHashTable> tableMadeOnUse(Object& object, const char* key) {
    if (auto existing = table(object, key)) return existing;
    auto made = platform::NSHashTable::weakObjectsHashTable();
    object.setAssociatedObject(key, Value(ObjectPtr(made)), AssociationPolicy::retainNonatomic);
    return made;
}

}  // namespace

LAKVOObjectList lumen_KVO_observerInfos(const Object& object, const std::string& observerAddress) {
    return listAt(object, &kObserverInfosKey, observerAddress);
}

LAKVOObjectList lumen_KVO_targetInfos(const Object& object, const std::string& targetAddress) {
    return listAt(object, &kTargetInfosKey, targetAddress);
}

std::shared_ptr<platform::NSHashTable> lumen_KVO_observers(const Object& object) {
    return table(object, &kObserversKey);
}
std::shared_ptr<platform::NSHashTable> lumen_KVO_targets(const Object& object) { return table(object, &kTargetsKey); }

bool lumen_shouldAddObserver(Object& target, const ObjectPtr& observer, const std::string* keyPath, void* context) {
    if (!observer || !keyPath) return false;
    auto observerKey = addressText(observer.get());
    for (auto& recorded : lumen_KVO_observerInfos(target, observerKey))
        if (recorded->keyPath == *keyPath && recorded->context == context) return false;

    auto kvo = std::make_shared<LAKVOObject>(*keyPath, context);
    appendAt(target, &kObserverInfosKey, observerKey, kvo);
    appendAt(*observer, &kTargetInfosKey, addressText(&target), kvo);
    tableMadeOnUse(target, &kObserversKey)->addObject(observer);
    tableMadeOnUse(*observer, &kTargetsKey)->addObject(target.shared_from_this());
    return true;
}

void lumen_addObserver(Object& target, const ObjectPtr& observer, const std::string& keyPath,
                       platform::KeyValueObservingOptions options, void* context) {
    if (lumen_shouldAddObserver(target, observer, &keyPath, context))
        target.addObserver(observer, keyPath, options, context);
}

// The object may be mid-destruction, so both sides are reached by address, not by
// strong reference to it.
void lumen_removeKVOTargetsWhenDealloc(Object& object) {
    auto targets = lumen_KVO_targets(object);
    if (!targets) return;
    for (auto& target : targets->allObjects())
        for (auto& kvo : lumen_KVO_targetInfos(object, addressText(target.get())))
            target->unregisterObservation(&object, kvo->keyPath, true, kvo->context);
}

void lumen_removeKVOObserversWhenDealloc(Object& object) {
    auto observers = lumen_KVO_observers(object);
    if (!observers) return;
    for (auto& observer : observers->allObjects())
        for (auto& kvo : lumen_KVO_observerInfos(object, addressText(observer.get())))
            object.unregisterObservation(observer.get(), kvo->keyPath, true, kvo->context);
}

void lumen_removeKVOWhenDealloc(Object& object) {
    try {
        lumen_removeKVOTargetsWhenDealloc(object);
        lumen_removeKVOObserversWhenDealloc(object);
    } catch (const std::exception& exception) {
        LALogError(std::string("remove KVO exception: ") + exception.what());
    }
}

void lumen_installKeyValueObserverMethods() {
    static std::once_flag once;
    std::call_once(once, [] {
        platform::Class::root()->addMethod(
            "lumen_dealloc",
            [](Object& self, const platform::Arguments&) {
                lumen_removeKVOWhenDealloc(self);
                static const platform::Selector exchanged("lumen_dealloc");  // the original after the exchange
                return self.perform(exchanged);
            },
            "v@:");
    });
}

}  // namespace LumenAnalyticsSDK

// Associated state of delegate proxying and the respondsToSelector: extension.
#include "LumenAnalyticsSDK/Core/HookDelegate/NSObject+DelegateProxy.h"

#include <mutex>

#include "LumenAnalyticsSDK/Core/HookDelegate/LADelegateProxyObject.h"

namespace LumenAnalyticsSDK {

namespace {
const char kOptionalSelectorsKey = 0;
const char kDelegateObjectKey = 0;
}  // namespace

platform::Value LASelectorSetValue(const std::set<std::string>& selectors) {
    platform::Value::Set set;
    for (auto& name : selectors) set.insert(platform::Value(name));
    return platform::Value(std::move(set));
}

std::set<std::string> LASelectorNames(const platform::Value& value) {
    std::set<std::string> names;
    auto collect = [&](const std::vector<platform::Value>& members) {
        for (auto& member : members)
            if (auto name = member.asString()) names.insert(*name);
    };
    if (auto set = value.asSet()) collect(set->members);
    else if (auto array = value.asArray()) collect(*array);
    return names;
}

std::set<std::string> lumen_optionalSelectors(const platform::Object& object) {
    return LASelectorNames(object.associatedObject(&kOptionalSelectorsKey));
}

void lumen_setOptionalSelectors(platform::Object& object, const std::set<std::string>& selectors) {
    object.setAssociatedObject(&kOptionalSelectorsKey, LASelectorSetValue(selectors),
                               platform::AssociationPolicy::copy);
}

std::shared_ptr<LADelegateProxyObject> lumen_delegateObject(const platform::Object& object) {
    return object.associatedObject(&kDelegateObjectKey).asObject<LADelegateProxyObject>();
}

void lumen_setDelegateObject(platform::Object& object, const std::shared_ptr<LADelegateProxyObject>& delegateObject) {
    object.setAssociatedObject(
        &kDelegateObjectKey, delegateObject ? platform::Value(platform::ObjectPtr(delegateObject)) : platform::Value(),
        platform::AssociationPolicy::retainNonatomic);
}

void lumen_installDelegateProxyMethods() {
    static std::once_flag once;
    std::call_once(once, [] {
        platform::Class::root()->addMethod(
            "lumen_respondsToSelector:",
            [](platform::Object& self, const platform::Arguments& arguments) {
                // After the exchange this selector names the runtime's own answer.
                static const platform::Selector exchanged("lumen_respondsToSelector:");
                if (self.perform(exchanged, arguments).asBool().value_or(false)) return platform::Value(true);
                auto name = arguments.empty() ? nullptr : arguments[0].asString();
                return platform::Value(name && lumen_optionalSelectors(self).count(*name) > 0);
            },
            "B@::");
    });
}

}  // namespace LumenAnalyticsSDK

// The name-to-factory table behind the nodes' interceptor look-up.
#include "LumenAnalyticsSDK/Core/Flow/LAInterceptorRegistry.h"
#include "platform/base/NoDestructor.h"

namespace LumenAnalyticsSDK {

LAInterceptorRegistry& LAInterceptorRegistry::shared() {
    static platform::NoDestructor<LAInterceptorRegistry> registry;
    return *registry;
}

void LAInterceptorRegistry::registerClass(const std::string& className, Factory factory) {
    factories_.write([&](auto& factories) { factories[className] = std::move(factory); });
}

void LAInterceptorRegistry::unregisterClass(const std::string& className) {
    factories_.write([&](auto& factories) { factories.erase(className); });
}

bool LAInterceptorRegistry::hasClass(const std::string& className) const {
    return factories_.read([&](const auto& factories) { return factories.contains(className); });
}

LAInterceptorPtr LAInterceptorRegistry::interceptorWithClassName(const std::string& className,
                                                                 const platform::Value::Dictionary& param) const {
    auto factory = factories_.read([&](const auto& factories) -> std::optional<Factory> {
        const auto found = factories.find(className);
        if (found == factories.end()) return std::nullopt;
        return found->second;
    });
    if (!factory) return nullptr;
    // Outside the lock: a factory may itself look classes up.
    return (*factory)(param);
}

}  // namespace LumenAnalyticsSDK

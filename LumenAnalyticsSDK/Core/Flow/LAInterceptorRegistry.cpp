// The name-to-factory table behind the nodes' interceptor look-up.
#include "LumenAnalyticsSDK/Core/Flow/LAInterceptorRegistry.h"
#include "platform/base/NoDestructor.h"

namespace LumenAnalyticsSDK {

LAInterceptorRegistry& LAInterceptorRegistry::shared() {
    static platform::NoDestructor<LAInterceptorRegistry> registry;
    return *registry;
}

void LAInterceptorRegistry::registerClass(const std::string& className, Factory factory) {
    std::lock_guard lock(mutex_);
    factories_[className] = std::move(factory);
}

void LAInterceptorRegistry::unregisterClass(const std::string& className) {
    std::lock_guard lock(mutex_);
    factories_.erase(className);
}

bool LAInterceptorRegistry::hasClass(const std::string& className) const {
    std::lock_guard lock(mutex_);
    return factories_.contains(className);
}

LAInterceptorPtr LAInterceptorRegistry::interceptorWithClassName(const std::string& className,
                                                                 const platform::Value::Dictionary& param) const {
    Factory factory;
    {
        std::lock_guard lock(mutex_);
        const auto found = factories_.find(className);
        if (found == factories_.end()) return nullptr;
        factory = found->second;
    }
    // Outside the lock: a factory may itself look classes up.
    return factory(param);
}

}  // namespace LumenAnalyticsSDK

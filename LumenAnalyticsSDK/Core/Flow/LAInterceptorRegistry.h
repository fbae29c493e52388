// Interceptor classes by name: a flow definition names its workers' classes, and a node
// gets a worker only when a class of that name is registered here. The client's own
// classes are registered by `registerBuiltInInterceptors()` during its start-up.
#pragma once
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>

#include "LumenAnalyticsSDK/Core/Flow/LAInterceptor.h"
#include "platform/base/Protected.h"

namespace LumenAnalyticsSDK {

class LAInterceptorRegistry {
public:
    using Factory = std::function<LAInterceptorPtr(const platform::Value::Dictionary& param)>;

    // The process-wide registry, made on first use and never destroyed.
    static LAInterceptorRegistry& shared();

    // A later registration under the same name replaces the earlier one.
    void registerClass(const std::string& className, Factory factory);
    // Registers `Interceptor` under `className`: made by its own `interceptorWithParam`
    // when it declares one answering its own type, else as a plain instance.
    template <class Interceptor>
    void registerClass(const std::string& className) {
        static_assert(std::is_base_of_v<LAInterceptor, Interceptor>);
        registerClass(className, [](const platform::Value::Dictionary& param) -> LAInterceptorPtr {
            using Made = decltype(Interceptor::interceptorWithParam(param));
            if constexpr (std::is_same_v<Made, std::shared_ptr<Interceptor>>)
                return Interceptor::interceptorWithParam(param);
            else return std::make_shared<Interceptor>();
        });
    }
    void unregisterClass(const std::string& className);

    bool hasClass(const std::string& className) const;
    // A new worker of the named class for a node's parameters; none for an unknown name.
    LAInterceptorPtr interceptorWithClassName(const std::string& className,
                                              const platform::Value::Dictionary& param) const;

private:
    platform::Protected<std::map<std::string, Factory>> factories_;
};

}  // namespace LumenAnalyticsSDK

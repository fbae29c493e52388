// The base of every flow node that reads or writes the event store: all of them share
// the store of one database file, "message-v2" unless the node names another.
#pragma once
#include <memory>

#include "LumenAnalyticsSDK/Core/Flow/LAInterceptor.h"

namespace LumenAnalyticsSDK {

class LAEventStore;

class LADatabaseInterceptor : public LAInterceptor {
public:
    static constexpr const char* databaseNameKey = "database_name";
    static constexpr const char* defaultDatabaseName = "message-v2";

    static std::shared_ptr<LADatabaseInterceptor> interceptorWithParam(const platform::Value::Dictionary& param);

    std::shared_ptr<LAEventStore> eventStore;

protected:
    // A worker of a subclass with the store its node's parameters name. Each subclass
    // declares its own `interceptorWithParam` through this, so the registry makes it
    // with its store.
    template <class Self>
    static std::shared_ptr<Self> makeWithParam(const platform::Value::Dictionary& param) {
        auto interceptor = std::make_shared<Self>();
        interceptor->eventStore = eventStoreWithParam(param);
        return interceptor;
    }
    static std::shared_ptr<LAEventStore> eventStoreWithParam(const platform::Value::Dictionary& param);
};

}  // namespace LumenAnalyticsSDK

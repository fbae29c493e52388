// The event store a database node works on, from its node's parameters.
#include "LumenAnalyticsSDK/Core/Interceptor/LADatabaseInterceptor.h"

#include "LumenAnalyticsSDK/Core/Tracker/LAEventStore.h"
#include "LumenAnalyticsSDK/Core/Utils/LAFileStorePlugin.h"

namespace LumenAnalyticsSDK {

std::shared_ptr<LADatabaseInterceptor>
LADatabaseInterceptor::interceptorWithParam(const platform::Value::Dictionary& param) {
    return makeWithParam<LADatabaseInterceptor>(param);
}

std::shared_ptr<LAEventStore> LADatabaseInterceptor::eventStoreWithParam(const platform::Value::Dictionary& param) {
    std::string name = defaultDatabaseName;
    const auto given = param.find(databaseNameKey);
    if (given != param.end() && given->second.isString() && !given->second.asString()->empty())
        name = *given->second.asString();
    // One store per file for the process: every database node shares it.
    return LAEventStore::eventStoreWithFilePath(LAFileStorePlugin::filePath(name));
}

}  // namespace LumenAnalyticsSDK

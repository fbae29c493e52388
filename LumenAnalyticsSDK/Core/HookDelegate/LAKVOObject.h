// One key-value observation as the client's bookkeeping remembers it: key path and context.
#pragma once
#include <string>

#include "platform/runtime/Class.h"

namespace LumenAnalyticsSDK {

class LAKVOObject final : public platform::Object {
    PLATFORM_OBJECT(LAKVOObject, platform::Object)
public:
    LAKVOObject(std::string keyPath, void* context) : keyPath(std::move(keyPath)), context(context) {}
    std::string keyPath;
    void* context;
};

}  // namespace LumenAnalyticsSDK

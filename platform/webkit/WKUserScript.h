// A script a user content controller adds to every page it serves: its source, when it
// runs and whether subframes get it too.
#pragma once
#include <memory>
#include <string>

#include "platform/runtime/Class.h"

namespace platform {

enum class WKUserScriptInjectionTime : int { atDocumentStart = 0, atDocumentEnd = 1 };

class WKUserScript final : public Object {
    PLATFORM_OBJECT(WKUserScript, Object)
public:
    WKUserScript(std::string source, WKUserScriptInjectionTime injectionTime, bool forMainFrameOnly)
        : source_(std::move(source)), injectionTime_(injectionTime), forMainFrameOnly_(forMainFrameOnly) {}
    static std::shared_ptr<WKUserScript> create(std::string source, WKUserScriptInjectionTime injectionTime,
                                                bool forMainFrameOnly) {
        return std::make_shared<WKUserScript>(std::move(source), injectionTime, forMainFrameOnly);
    }

    const std::string& source() const { return source_; }
    WKUserScriptInjectionTime injectionTime() const { return injectionTime_; }
    bool isForMainFrameOnly() const { return forMainFrameOnly_; }

private:
    std::string source_;
    WKUserScriptInjectionTime injectionTime_;
    bool forMainFrameOnly_;
};

}  // namespace platform

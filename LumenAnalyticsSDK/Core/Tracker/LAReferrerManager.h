// Remembers the current screen so that the next one can name it as its referrer.
#pragma once
#include <optional>
#include <string>

#include "platform/base/Protected.h"
#include "platform/base/Value.h"
#include "platform/dispatch/DispatchQueue.h"

namespace LumenAnalyticsSDK {

class LAReferrerManager {
public:
    static LAReferrerManager& sharedInstance();
    // A manager of its own (tests); its titles are cached on `serialQueue`.
    explicit LAReferrerManager(platform::DispatchQueuePtr serialQueue);
    // Waits for titles still being cached (they refer to this manager).
    ~LAReferrerManager();

    // The properties to track for a new screen: the previous screen becomes the referrer.
    platform::Value::Dictionary propertiesWithURL(const std::string& currentURL,
                                                  const platform::Value::Dictionary& eventProperties);
    // Runs on `serialQueue` only: the previous title becomes the referrer title.
    void cacheReferrerTitle(const platform::Value::Dictionary& properties);
    // Forgets the referrer address when `isClearReferrer` is set (the app went to the background).
    void clearReferrer();

    bool isClearReferrer() const;
    void setIsClearReferrer(bool clear);
    std::optional<platform::Value::Dictionary> referrerProperties() const;
    std::optional<std::string> referrerURL() const;
    std::optional<std::string> referrerTitle() const;
    std::optional<std::string> currentScreenUrl() const;
    std::optional<std::string> currentTitle() const;
    std::optional<platform::Value::Dictionary> currentScreenProperties() const;
    const platform::DispatchQueuePtr& serialQueue() const { return serialQueue_; }

private:
    // Screens are handed on from any thread; every field is read and written under one lock.
    struct State {
        bool isClearReferrer = false;
        std::optional<platform::Value::Dictionary> referrerProperties;
        std::optional<std::string> referrerURL;
        std::optional<std::string> referrerTitle;
        std::optional<std::string> currentScreenUrl;
        std::optional<std::string> currentTitle;
        std::optional<platform::Value::Dictionary> currentScreenProperties;
    };
    platform::Protected<State> state_;
    platform::DispatchQueuePtr serialQueue_;
};

}  // namespace LumenAnalyticsSDK

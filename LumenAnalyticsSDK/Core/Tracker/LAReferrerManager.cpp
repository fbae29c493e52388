// Referrer bookkeeping: screen addresses, titles and properties, handed on screen by screen.
#include "LumenAnalyticsSDK/Core/Tracker/LAReferrerManager.h"
#include "platform/base/NoDestructor.h"

namespace LumenAnalyticsSDK {

namespace {
std::optional<std::string> stringFor(const platform::Value::Dictionary& properties, const std::string& key) {
    auto found = properties.find(key);
    if (found == properties.end() || !found->second.isString()) return std::nullopt;
    return *found->second.asString();
}
}  // namespace

LAReferrerManager& LAReferrerManager::sharedInstance() {
    // The titles need a queue of their own; one serial queue serves the process's manager.
    static platform::NoDestructor<LAReferrerManager> manager(
        platform::DispatchQueue::create("com.lumen.referrerQueue"));
    return *manager;
}

LAReferrerManager::LAReferrerManager(platform::DispatchQueuePtr serialQueue) : serialQueue_(std::move(serialQueue)) {}

LAReferrerManager::~LAReferrerManager() {
    if (serialQueue_ && !platform::DispatchQueue::isCurrent(serialQueue_)) serialQueue_->sync([] {});
}

platform::Value::Dictionary LAReferrerManager::propertiesWithURL(const std::string& currentURL,
                                                                 const platform::Value::Dictionary& eventProperties) {
    platform::Value::Dictionary properties = eventProperties;
    {
        std::lock_guard lock(mutex_);
        referrerURL_ = currentScreenUrl_;
        referrerProperties_ = currentScreenProperties_;
        if (!properties.contains("$url")) properties["$url"] = currentURL;
        if (referrerURL_ && !properties.contains("$referrer")) properties["$referrer"] = *referrerURL_;
        auto withoutReferrer = properties;
        withoutReferrer.erase("$referrer");
        currentScreenProperties_ = std::move(withoutReferrer);
        currentScreenUrl_ = stringFor(properties, "$url");
    }
    serialQueue_->async([this, properties] { cacheReferrerTitle(properties); });
    return properties;
}

void LAReferrerManager::cacheReferrerTitle(const platform::Value::Dictionary& properties) {
    std::lock_guard lock(mutex_);
    referrerTitle_ = currentTitle_;
    currentTitle_ = stringFor(properties, "$title");
}

void LAReferrerManager::clearReferrer() {
    std::lock_guard lock(mutex_);
    if (isClearReferrer_) referrerURL_.reset();
}

bool LAReferrerManager::isClearReferrer() const {
    std::lock_guard lock(mutex_);
    return isClearReferrer_;
}
void LAReferrerManager::setIsClearReferrer(bool clear) {
    std::lock_guard lock(mutex_);
    isClearReferrer_ = clear;
}
std::optional<platform::Value::Dictionary> LAReferrerManager::referrerProperties() const {
    std::lock_guard lock(mutex_);
    return referrerProperties_;
}
std::optional<std::string> LAReferrerManager::referrerURL() const {
    std::lock_guard lock(mutex_);
    return referrerURL_;
}
std::optional<std::string> LAReferrerManager::referrerTitle() const {
    std::lock_guard lock(mutex_);
    return referrerTitle_;
}
std::optional<std::string> LAReferrerManager::currentScreenUrl() const {
    std::lock_guard lock(mutex_);
    return currentScreenUrl_;
}
std::optional<std::string> LAReferrerManager::currentTitle() const {
    std::lock_guard lock(mutex_);
    return currentTitle_;
}
std::optional<platform::Value::Dictionary> LAReferrerManager::currentScreenProperties() const {
    std::lock_guard lock(mutex_);
    return currentScreenProperties_;
}

}  // namespace LumenAnalyticsSDK

// Referrer bookkeeping: screen addresses, titles and properties, handed on screen by screen.
#include "LumenAnalyticsSDK/Core/Tracker/LAReferrerManager.h"
#include "platform/base/NoDestructor.h"
#include "platform/dispatch/CheckOnQueue.h"

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
    state_.write([&](State& state) {
        state.referrerURL = state.currentScreenUrl;
        state.referrerProperties = state.currentScreenProperties;
        if (!properties.contains("$url")) properties["$url"] = currentURL;
        if (state.referrerURL && !properties.contains("$referrer")) properties["$referrer"] = *state.referrerURL;
        auto withoutReferrer = properties;
        withoutReferrer.erase("$referrer");
        state.currentScreenProperties = std::move(withoutReferrer);
        state.currentScreenUrl = stringFor(properties, "$url");
    });
    serialQueue_->async([this, properties] { cacheReferrerTitle(properties); });
    return properties;
}

void LAReferrerManager::cacheReferrerTitle(const platform::Value::Dictionary& properties) {
    PLATFORM_CHECK_ON_QUEUE(serialQueue_);
    state_.write([&](State& state) {
        state.referrerTitle = state.currentTitle;
        state.currentTitle = stringFor(properties, "$title");
    });
}

void LAReferrerManager::clearReferrer() {
    state_.write([](State& state) {
        if (state.isClearReferrer) state.referrerURL.reset();
    });
}

bool LAReferrerManager::isClearReferrer() const { return state_.get(&State::isClearReferrer); }
void LAReferrerManager::setIsClearReferrer(bool clear) { state_.set(&State::isClearReferrer, clear); }
std::optional<platform::Value::Dictionary> LAReferrerManager::referrerProperties() const {
    return state_.get(&State::referrerProperties);
}
std::optional<std::string> LAReferrerManager::referrerURL() const { return state_.get(&State::referrerURL); }
std::optional<std::string> LAReferrerManager::referrerTitle() const { return state_.get(&State::referrerTitle); }
std::optional<std::string> LAReferrerManager::currentScreenUrl() const { return state_.get(&State::currentScreenUrl); }
std::optional<std::string> LAReferrerManager::currentTitle() const { return state_.get(&State::currentTitle); }
std::optional<platform::Value::Dictionary> LAReferrerManager::currentScreenProperties() const {
    return state_.get(&State::currentScreenProperties);
}

}  // namespace LumenAnalyticsSDK

// The base of every source of event properties, and what a property plugin sees of the
// event being built (its filter). Plugins are collected and merged by
// LAPropertyPluginManager.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/base/Protected.h"
#include "platform/base/Value.h"
#include "platform/runtime/Class.h"
#include "platform/runtime/Object.h"

namespace LumenAnalyticsSDK {

// What a plugin sees of an event's library record ($lib and friends).
class LAPropertyPluginLibFilter {
public:
    virtual ~LAPropertyPluginLibFilter() = default;
    virtual std::string lib() const = 0;
    virtual std::string method() const = 0;
    virtual std::string version() const = 0;
    virtual platform::Value appVersion() const = 0;
    virtual std::string detail() const = 0;
};

// What a plugin sees of the event being built. The event objects implement it.
class LAPropertyPluginEventFilter {
public:
    virtual ~LAPropertyPluginEventFilter() = default;
    virtual std::string event() const = 0;
    // The event's type bits: 1 track, 2 sign-up, 4 bind, 8 unbind, 16..512 profile, 1024/2048 item.
    virtual std::uint64_t typeBits() const = 0;
    // Milliseconds since 1970.
    virtual std::int64_t time() const = 0;
    virtual const LAPropertyPluginLibFilter* libFilter() const = 0;
    virtual bool hybridH5() const = 0;
};

// Priority classes of the plugins; a plugin of exactly the super priority is kept apart
// and merged last.
enum LAPropertyPluginPriority : std::uint64_t {
    LAPropertyPluginPriorityLow = 250,
    LAPropertyPluginPriorityDefault = 500,
    LAPropertyPluginPriorityHigh = 750,
    LAPropertyPluginPrioritySuper = 1431656640,
};

class LAPropertyPlugin : public platform::Object {
    PLATFORM_OBJECT(LAPropertyPlugin, platform::Object)
public:
    using Handler = std::function<void(const platform::Value::Dictionary&)>;

    virtual std::uint64_t priority() const { return LAPropertyPluginPriorityDefault; }
    virtual bool isMatchedWithFilter(const LAPropertyPluginEventFilter& filter) const;
    // The plugin's properties for the current filter; none when it has none (yet).
    virtual std::optional<platform::Value::Dictionary> properties();
    // Optional preparation, run once when the plugin is registered. A plugin that has
    // one answers true from `respondsToPrepare` and may deliver its properties later
    // through `readyWithProperties`.
    virtual bool respondsToPrepare() const { return false; }
    virtual void prepare() {}

    // Keeps `properties` and hands them to the handler the manager set, if any.
    void readyWithProperties(const platform::Value::Dictionary& properties);

    void setFilter(const LAPropertyPluginEventFilter* filter);
    const LAPropertyPluginEventFilter* filter() const;
    void setHandler(Handler handler);

protected:
    std::optional<platform::Value::Dictionary> readyProperties() const;

private:
    struct State {
        const LAPropertyPluginEventFilter* filter = nullptr;
        std::optional<platform::Value::Dictionary> properties;
        Handler handler;
    };
    platform::Protected<State> state_;
};

using LAPropertyPluginPtr = std::shared_ptr<LAPropertyPlugin>;

// Event types a plugin may test: the track kinds are sign-up, track, bind and unbind.
inline bool LAIsTrackKind(std::uint64_t typeBits) { return (typeBits & (1u | 2u | 4u | 8u)) != 0; }

}  // namespace LumenAnalyticsSDK

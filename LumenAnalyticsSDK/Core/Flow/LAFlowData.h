// The record one run of a flow hands from node to node: its state (go on, stop the flow,
// stop the task), a node's error message, what the nodes need of the client (its options,
// serial queue and the host's track callback) and every named value.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/Data.h"
#include "platform/base/Value.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/runtime/Object.h"

namespace LumenAnalyticsSDK {

class LAConfigOptions;
class LABaseEventObject;
class LAIdentifier;
class LAEventRecord;

// What the flow data's `state` tells the engine after a node.
enum LAFlowState : std::uint64_t {
    LAFlowStateContinue = 0,
    LAFlowStateStopFlow = 1,
    LAFlowStateStopTask = 2,
};

// The host's say on a tracked event: answers whether it is stored, and may change its
// properties.
using LATrackEventCallback = std::function<bool(const std::string& eventName, platform::Value::Dictionary& properties)>;

// The keys the named values live under in `param`.
inline constexpr const char* LAFlowDataEventObjectKey = "event_object";
inline constexpr const char* LAFlowDataIdentifierKey = "identifier";
inline constexpr const char* LAFlowDataPropertiesKey = "properties";
inline constexpr const char* LAFlowDataRecordKey = "record";
inline constexpr const char* LAFlowDataRecordsKey = "records";
inline constexpr const char* LAFlowDataRecordIDsKey = "record_ids";
inline constexpr const char* LAFlowDataJSONKey = "json";
inline constexpr const char* LAFlowDataHTTPBodyKey = "http_body";
inline constexpr const char* LAFlowDataFlushSuccessKey = "flush_success";
inline constexpr const char* LAFlowDataStatusCodeKey = "status_code";
inline constexpr const char* LAFlowDataCookieKey = "flush_cookie";
inline constexpr const char* LAFlowDataRepeatCountKey = "repeat_count";
inline constexpr const char* LAFlowDataIsInstantEventKey = "is_instant_event";
inline constexpr const char* LAFlowDataIsAdsEventKey = "is_ads_event";
inline constexpr const char* LAFlowDataGzipCodeKey = "gzip_code";

// One run's data. The typed accessors for classes declared elsewhere (identifier,
// records) are templates, so that only their callers need the full class.
class LAFlowData {
public:
    std::uint64_t state = LAFlowStateContinue;
    // A node's error; the engine logs it and clears it.
    std::optional<std::string> message;
    // Set by the engine when a run starts.
    std::shared_ptr<LAConfigOptions> configOptions;
    // Also set by the engine, from the client that runs the flows (none without one): the
    // client's serial queue, where a run's event and upload work goes,
    platform::DispatchQueuePtr serialQueue;
    // and the host's track callback as it stands when a node asks (none while the client
    // is switched off). Asked at the node, not copied when the run starts: the client
    // stores a new callback on its serial queue, so one set just before an event is tracked
    // may be stored only after the run started, yet before the event's node runs there.
    std::function<LATrackEventCallback()> trackEventCallback;
    platform::Value::Dictionary param;

    // A null value removes the key.
    void setParamWithKey(const std::string& key, platform::Value value);
    const platform::Value* paramForKey(const std::string& key) const;

    std::shared_ptr<LABaseEventObject> eventObject() const;
    // Also takes over the event's own instant flag.
    void setEventObject(const std::shared_ptr<LABaseEventObject>& eventObject);

    template <class Identifier = LAIdentifier>
    std::shared_ptr<Identifier> identifier() const {
        return boxedForKey<std::shared_ptr<Identifier>>(LAFlowDataIdentifierKey).value_or(nullptr);
    }
    template <class Identifier = LAIdentifier>
    void setIdentifier(const std::shared_ptr<Identifier>& identifier) {
        setBoxed(LAFlowDataIdentifierKey, identifier ? std::optional(identifier) : std::nullopt);
    }

    std::optional<platform::Value::Dictionary> properties() const;
    void setProperties(std::optional<platform::Value::Dictionary> properties);

    template <class Record = LAEventRecord>
    std::shared_ptr<Record> record() const {
        return boxedForKey<std::shared_ptr<Record>>(LAFlowDataRecordKey).value_or(nullptr);
    }
    template <class Record = LAEventRecord>
    void setRecord(const std::shared_ptr<Record>& record) {
        setBoxed(LAFlowDataRecordKey, record ? std::optional(record) : std::nullopt);
    }

    // Absent when never set (or set to none).
    template <class Record = LAEventRecord>
    std::optional<std::vector<std::shared_ptr<Record>>> records() const {
        return boxedForKey<std::vector<std::shared_ptr<Record>>>(LAFlowDataRecordsKey);
    }
    template <class Record = LAEventRecord>
    void setRecords(std::optional<std::vector<std::shared_ptr<Record>>> records) {
        setBoxed(LAFlowDataRecordsKey, std::move(records));
    }

    std::optional<std::vector<std::string>> recordIDs() const;
    void setRecordIDs(const std::optional<std::vector<std::string>>& recordIDs);
    std::optional<std::string> json() const;
    void setJson(const std::optional<std::string>& json);
    std::optional<platform::Data> HTTPBody() const;
    void setHTTPBody(const std::optional<platform::Data>& body);
    std::optional<std::string> cookie() const;
    void setCookie(const std::optional<std::string>& cookie);

    // Absent keys read as NO or 0.
    bool flushSuccess() const;
    void setFlushSuccess(bool flushSuccess);
    std::int64_t statusCode() const;
    void setStatusCode(std::int64_t statusCode);
    std::int64_t repeatCount() const;
    void setRepeatCount(std::int64_t repeatCount);
    bool isInstantEvent() const;
    void setIsInstantEvent(bool isInstantEvent);
    bool isAdsEvent() const;
    void setIsAdsEvent(bool isAdsEvent);
    std::uint64_t gzipCode() const;
    void setGzipCode(std::uint64_t gzipCode);

private:
    // Values of any C++ type ride in `param` inside a runtime object.
    template <class T>
    struct Box final : platform::Object {
        explicit Box(T value) : value(std::move(value)) {}
        T value;
    };
    template <class T>
    std::optional<T> boxedForKey(const char* key) const {
        const platform::Value* stored = paramForKey(key);
        const auto box = stored ? stored->asObject<Box<T>>() : nullptr;
        return box ? std::optional<T>(box->value) : std::nullopt;
    }
    template <class T>
    void setBoxed(const char* key, std::optional<T> value) {
        setParamWithKey(key, value ? platform::Value(std::make_shared<Box<T>>(std::move(*value))) : platform::Value());
    }
    std::optional<std::string> stringForKey(const char* key) const;
    void setString(const char* key, const std::optional<std::string>& value);
};

using LAFlowDataPtr = std::shared_ptr<LAFlowData>;

}  // namespace LumenAnalyticsSDK

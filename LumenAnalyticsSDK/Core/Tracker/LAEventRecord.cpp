// Stored events: their ids, their JSON text, and the envelope operations of encrypted
// records.
#include "LumenAnalyticsSDK/Core/Tracker/LAEventRecord.h"

#include <atomic>
#include <chrono>

#include "LumenAnalyticsSDK/Core/Utils/LAJSONUtil.h"
#include "LumenAnalyticsSDK/Core/Utils/LAValidator.h"

namespace LumenAnalyticsSDK {

using platform::Value;

namespace {

constexpr const char* ekeyKey = "ekey";
constexpr const char* payloadKey = "payload";
constexpr const char* payloadsKey = "payloads";

std::string nextRecordID() {
    static std::atomic<long> counter{0};
    return "LA_" + std::to_string(counter.fetch_add(1));
}

}  // namespace

LAEventRecord::LAEventRecord(const Value::Dictionary& event, std::string type)
    : isEncrypted_(event.count(ekeyKey) != 0), recordID_(nextRecordID()), type_(std::move(type)), event_(event) {}

LAEventRecord::LAEventRecord(std::string recordID, const std::string& content) : recordID_(std::move(recordID)) {
    auto object = LAJSONUtil::JSONObjectWithString(content, platform::JSONReadingOptions::mutableContainers);
    if (object && object->isDictionary()) {
        event_ = *object->asDictionary();
        isEncrypted_ = event_.count(ekeyKey) != 0;
    }
}

std::optional<std::string> LAEventRecord::content() const { return LAJSONUtil::stringWithJSONObject(Value(event_)); }

std::optional<std::string> LAEventRecord::flushContent() {
    if (!isValid()) return std::nullopt;
    auto now =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch());
    event_[isEncrypted_ ? "flush_time" : "_flush_time"] = Value(static_cast<std::uint64_t>(now.count()));
    return content();
}

Value LAEventRecord::ekey() const {
    auto found = event_.find(ekeyKey);
    return found == event_.end() ? Value() : found->second;
}

void LAEventRecord::setSecretObject(const Value::Dictionary& envelope) {
    if (!LAValidator::isValidDictionary(Value(envelope))) return;
    event_ = envelope;
    isEncrypted_ = true;
}

void LAEventRecord::removePayload() {
    auto payload = event_.find(payloadKey);
    if (payload == event_.end()) return;
    event_[payloadsKey] = Value(Value::Array{payload->second});
    event_.erase(payloadKey);
}

bool LAEventRecord::mergeSameEKeyRecord(const LAEventRecord& other) {
    Value mine = ekey(), theirs = other.ekey();
    if (!mine.isString() || !theirs.isString() || *mine.asString() != *theirs.asString()) return false;
    auto payload = other.event_.find(payloadKey);
    Value::Array payloads;
    if (auto found = event_.find(payloadsKey); found != event_.end() && found->second.isArray())
        payloads = *found->second.asArray();
    if (payload != other.event_.end()) payloads.push_back(payload->second);
    event_[payloadsKey] = Value(std::move(payloads));
    return true;
}

}  // namespace LumenAnalyticsSDK

// One stored analytics event: its JSON object, its id in the store, its upload status and
// whether it is encrypted or belongs to the instant-event stream.
#pragma once
#include <memory>
#include <optional>
#include <string>

#include "platform/base/Value.h"

namespace LumenAnalyticsSDK {

class LAEventRecord {
public:
    // A new event: the id is "LA_" and a process-wide running number (0, 1, 2 ...).
    LAEventRecord(const platform::Value::Dictionary& event, std::string type);
    // A stored row: `content` is the event's JSON text; a text that is not a JSON object
    // leaves the event empty and the record invalid.
    LAEventRecord(std::string recordID, const std::string& content);

    // The event as JSON text; none when it cannot be written as JSON (a non-finite
    // number, for one), so that no empty text stands in for it.
    std::optional<std::string> content() const;
    bool isValid() const { return !event_.empty(); }
    // Stamps the upload time (milliseconds since 1970) into the event and answers its
    // JSON text; none for an invalid record.
    std::optional<std::string> flushContent();

    // Encryption envelopes: several records under one key travel as one item.
    platform::Value ekey() const;
    // Replaces the event with an envelope when the dictionary is a valid one.
    void setSecretObject(const platform::Value::Dictionary& envelope);
    void removePayload();
    bool mergeSameEKeyRecord(const LAEventRecord& other);

    const std::string& recordID() const { return recordID_; }
    void setRecordID(std::string recordID) { recordID_ = std::move(recordID); }
    const std::string& type() const { return type_; }
    void setType(std::string type) { type_ = std::move(type); }
    int status() const { return status_; }
    void setStatus(int status) { status_ = status; }
    bool encrypted() const { return isEncrypted_; }
    void setEncrypted(bool encrypted) { isEncrypted_ = encrypted; }
    bool isInstantEvent() const { return isInstantEvent_; }
    void setIsInstantEvent(bool instant) { isInstantEvent_ = instant; }
    const platform::Value::Dictionary& event() const { return event_; }
    platform::Value::Dictionary& event() { return event_; }
    void setEvent(platform::Value::Dictionary event) { event_ = std::move(event); }

private:
    bool isEncrypted_ = false;
    bool isInstantEvent_ = false;
    int status_ = 0;
    std::string recordID_;
    std::string type_;
    platform::Value::Dictionary event_;
};

using LAEventRecordPtr = std::shared_ptr<LAEventRecord>;

}  // namespace LumenAnalyticsSDK

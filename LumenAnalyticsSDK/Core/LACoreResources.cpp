// The built-in pipeline definitions live here as JSON text so they read as the data they
// are; they are parsed on every call and never read from disk.
#include "LumenAnalyticsSDK/Core/LACoreResources.h"

#include "platform/base/Fatal.h"
#include "platform/foundation/JSONSerialization.h"

namespace LumenAnalyticsSDK {

namespace {

constexpr const char* kFlows = R"([
  {"id": "lumen_track_flow", "name": "Track and flush",
   "tasks": ["dynamic_property", "serial_queue", "track_task", "flush_task"]},
  {"id": "lumen_flush_flow", "name": "Record flush", "tasks": ["serial_queue", "flush_task"]},
  {"id": "lumen_ads_flush_flow", "name": "LAT Record flush", "tasks": ["serial_queue", "ads_flush_task"]}
])";

constexpr const char* kTasks = R"([
  {"id": "dynamic_property", "name": "Build dynamic properties", "nodes": ["dynamic_property"]},
  {"id": "serial_queue", "name": "Switch serialQueue", "nodes": ["serial_queue"]},
  {"id": "track_task", "name": "Track",
   "nodes": ["remote_config", "event_validate", "ID-Mapping", "correct_userId", "properties",
             "event_callback", "event_result", "encrypt", "insert"]},
  {"id": "flush_task", "name": "Record flush",
   "nodes": ["can_flush", "select_records", "encrypt_records", "update_records_status", "flush_json",
             "flush_http_body", "flush", "serial_queue_sync", "flush_end", "repeat_flush"]},
  {"id": "ads_flush_task", "name": "LAT Record flush",
   "nodes": ["can_flush", "ads_encrypt", "flush_json", "flush_http_body", "flush"]}
])";

// "serial_queue" is listed twice (once per task it serves); the registry keeps one.
// The remote-config and encryption interceptors are not part of this client, so their
// nodes have no worker and every run passes over them.
constexpr const char* kNodes = R"([
  {"id": "dynamic_property", "name": "Builder dynamic superProperty", "interceptor": "LADynamicSuperPropertyInterceptor"},
  {"id": "serial_queue", "name": "Switch serialQueue", "interceptor": "LASerialQueueInterceptor"},
  {"id": "remote_config", "name": "RemoteConfig", "interceptor": "LARemoteConfigInterceptor"},
  {"id": "event_validate", "name": "Data verification", "interceptor": "LAEventValidateInterceptor"},
  {"id": "ID-Mapping", "name": "ID-Mapping", "interceptor": "LAIDMappingInterceptor"},
  {"id": "correct_userId", "name": "CorrectUserInfo", "interceptor": "LACorrectUserIdInterceptor"},
  {"id": "properties", "name": "Properties acquisition", "interceptor": "LAPropertyInterceptor"},
  {"id": "event_callback", "name": "Callback", "interceptor": "LAEventCallbackInterceptor"},
  {"id": "event_result", "name": "Event Result build finish", "interceptor": "LAEventResultInterceptor"},
  {"id": "encrypt", "name": "Encryption", "interceptor": "LAEncryptInterceptor"},
  {"id": "insert", "name": "InsertRecord", "interceptor": "LAInsertRecordInterceptor"},
  {"id": "serial_queue", "name": "Switch serialQueue", "interceptor": "LASerialQueueInterceptor"},
  {"id": "can_flush", "name": "Can flush", "interceptor": "LACanFlushInterceptor"},
  {"id": "select_records", "name": "Query record", "interceptor": "LAQueryRecordInterceptor"},
  {"id": "encrypt_records", "name": "Encrypt record", "interceptor": "LAEncryptInterceptor"},
  {"id": "update_records_status", "name": "Update record in database", "interceptor": "LAUpdateRecordInterceptor"},
  {"id": "flush_json", "name": "Build flush json", "interceptor": "LAFlushJSONInterceptor"},
  {"id": "flush_http_body", "name": "Build flush HTTPBody", "interceptor": "LAFlushHTTPBodyInterceptor"},
  {"id": "flush", "name": "flush", "interceptor": "LAFlushInterceptor"},
  {"id": "serial_queue_sync", "name": "Switch serialQueue", "interceptor": "LASerialQueueInterceptor", "param": {"sync": 1}},
  {"id": "flush_end", "name": "Flush end", "interceptor": "LADeleteRecordInterceptor"},
  {"id": "repeat_flush", "name": "Repeat flush", "interceptor": "LARepeatFlushInterceptor"},
  {"id": "ads_encrypt", "name": "Ads Events Encrypt", "interceptor": "LAAdsEncryptInterceptor"}
])";

platform::Value::Array definitions(const char* json) {
    auto parsed = platform::JSONSerialization::jsonObject(std::string_view(json));
    // The texts above are part of the program: failing to read them is a build fault.
    if (!parsed.isSuccess() || !parsed.value().isArray()) platform::fatal("LACoreResources: malformed definitions");
    return *parsed.value().asArray();
}

}  // namespace

platform::Value::Array LACoreResources::analyticsFlows() { return definitions(kFlows); }
platform::Value::Array LACoreResources::analyticsTasks() { return definitions(kTasks); }
platform::Value::Array LACoreResources::analyticsNodes() { return definitions(kNodes); }

platform::Value::Dictionary LACoreResources::defaultLanguageResources() {
    return {
        {"LADebugOnly", "开启调试模式（不导入数据）"},
        {"LADebugAndTrack", "开启调试模式（导入数据）"},
        {"LADebugOff", "调试模式已关闭"},
        {"LAAlertOK", "确定"},
        {"LAAlertCancel", "取消"},
        {"LAPresetPropertyCarrierMobile", "中国移动"},
        {"LAPresetPropertyCarrierUnicom", "中国联通"},
        {"LAPresetPropertyCarrierTelecom", "中国电信"},
        {"LAPresetPropertyCarrierSatellite", "中国卫通"},
        {"LAPresetPropertyCarrierTietong", "中国铁通"},
    };
}

platform::Value::Dictionary LACoreResources::mcc() {
    return {
        {"334040", "AT&T/IUSACell"},
        {"42577", "Hot Mobile/Mirs"},
        {"44032", "NTT Docomo"},
    };
}

}  // namespace LumenAnalyticsSDK

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

// Message texts by key, in table order; the last eight are those of the short-link feature.
platform::Value::Dictionary LACoreResources::defaultLanguageResources() {
    return {
        {"LADebugMode", "SDK 调试模式选择"},
        {"LADebugOnly", "开启调试模式（不导入数据）"},
        {"LADebugAndTrack", "开启调试模式（导入数据）"},
        {"LADebugOff", "调试模式已关闭"},
        {"LADebugCurrentlyInDebugOnly", "当前为调试模式（不导入数据）"},
        {"LADebugCurrentlyInDebugAndTrack", "当前为调试模式（导入数据）"},
        {"LADebugModeTurnedOff", "已关闭调试模式，请重新扫描二维码进行开启"},
        {"LADebugOnlyModeTurnedOn", "开启调试模式，校验数据，但不进行数据导入；关闭 App 进程后，将自动关闭调试模式。"},
        {"LADebugAndTrackModeTurnedOn",
         "开启调试模式，校验数据，并将数据导入到分析项目中；关闭 App 进程后，将自动关闭调试模式。"},
        {"LADebugNowInDebugOnlyMode", "现在您打开了调试模式（不导入数据）"},
        {"LADebugNowInDebugAndTrackMode", "现在您打开了调试模式（导入数据）"},
        {"LADebugNotes", "调试模式仅用于校验数据，请勿在正式环境中开启"},
        {"LAVisualizedAutoTrack", "可视化全埋点"},
        {"LAVisualizedPageErrorTitle", "当前页面无法进行可视化全埋点"},
        {"LAVisualizedConfigurationDocument", "配置文档"},
        {"LAVisualizedConnect", "正在连接 App 可视化全埋点"},
        {"LAVisualizedWifi", "正在连接，建议在 WiFi 环境下使用"},
        {"LAVisualizedProjectError", "App 集成的项目与电脑浏览器打开的项目不同，无法进行可视化全埋点"},
        {"LAVisualizedEnableLogHint", "已开启 SDK 日志，请查看日志信息"},
        {"LAVisualizedEnableLogAction", "开启日志"},
        {"LAVisualizedTemporarilyDisabled", "可视化全埋点功能暂不可用"},
        {"LAVisualizedWebPageErrorMessage", "当前页面无法进行可视化全埋点，请检查 Web SDK 版本与配置"},
        {"LAVisualizedJSError", "Web 页面的 JS SDK 版本过低，请升级后重试"},
        {"LAVisualizedSDKError", "SDK 版本过低，请升级后重试"},
        {"LAVisualizedParameterError", "参数错误，请检查二维码"},
        {"LAVisualizedFlutterPageErrorMessage", "当前 Flutter 页面无法进行可视化全埋点"},
        {"LAAppClicksAnalyticsConnect", "正在连接 App 点击分析"},
        {"LAAppClicksAnalyticsSDKError", "SDK 版本过低，无法进行点击分析"},
        {"LAAppClicksAnalyticsProjectError", "App 集成的项目与电脑浏览器打开的项目不同，无法进行点击分析"},
        {"LAAppClicksAnalyticsPageErrorTitle", "当前页面无法进行点击分析"},
        {"LAAppClicksAnalyticsPageWebErrorMessage", "当前页面无法进行点击分析，请检查 Web SDK 版本与配置"},
        {"LAAppClicksAnalytics", "App 点击分析"},
        {"LARemoteConfigStart", "开始获取采集控制信息"},
        {"LARemoteConfigObtainFailed", "获取采集控制信息失败"},
        {"LARemoteConfigProjectError", "App 集成的项目与二维码对应的项目不同，无法进行调试"},
        {"LARemoteConfigOSError", "App 与二维码对应的操作系统不同，无法进行调试"},
        {"LARemoteConfigAppError", "App 与二维码对应的 App 不同，无法进行调试"},
        {"LARemoteConfigQRError", "二维码信息校验失败，请检查采集控制是否配置正确"},
        {"LARemoteConfigNetworkError", "网络连接失败，请检查网络后重试"},
        {"LARemoteConfigWrongVersion", "二维码对应的采集控制版本与 App 获取的版本不同"},
        {"LARemoteConfigLoaded", "采集控制已加载完成，可以通过控制台日志来调试"},
        {"LARemoteConfigCompareVersion", "获取采集控制信息成功：线上版本 %@，二维码版本 %@"},
        {"LAEncryptSelectedKeyInvalid", "密钥验证不通过，所选密钥无效"},
        {"LAEncryptNotEnabled", "当前 App 未开启加密，请开启加密后再试"},
        {"LAEncryptAppKeyEmpty", "密钥验证不通过，App 端密钥为空"},
        {"LAEncryptKeyVerificationPassed", "密钥验证通过，所选密钥与 App 端密钥相同"},
        {"LAEncryptKeyTypeVerificationFailed",
         "密钥验证不通过，所选密钥与 App 端密钥不相同。所选密钥对称算法类型：%@，非对称算法类型：%@；App "
         "端对称算法类型：%@，非对称算法类型：%@"},
        {"LAEncryptKeyVersionVerificationFailed",
         "密钥验证不通过，所选密钥与 App 端密钥不相同。所选密钥版本：%@，App 端密钥版本：%@"},
        {"LAChannelReconnectError", "无法重连，请检查是否更换了联调手机"},
        {"LAChannelServerURLError", "数据接收地址错误，无法使用联调诊断工具"},
        {"LAChannelProjectError", "App 集成的项目与电脑浏览器打开的项目不同，无法使用联调诊断工具"},
        {"LAChannelEnableJointDebugging", "即将开启联调模式"},
        {"LAChannelNetworkError", "当前网络不可用，请检查网络！"},
        {"LAChannelRequestWhitelistFailed", "添加白名单请求失败，请联系技术人员排查问题！"},
        {"LAChannelSuccessfullyEnabled", "开启联调模式成功"},
        {"LAChannelTriggerActivation", "此模式下不需要卸载 App，点击“激活”按钮可反复触发激活。"},
        {"LAChannelActivate", "激活"},
        {"LAChannelDeviceCodeEmpty", "检测到“设备码为空”，可能的原因如下，请排查："},
        {"LAChannelTroubleshooting", "排查问题"},
        {"LAChannelNetworkException", "网络异常，请求失败！"},
        {"LADeepLinkCallback", "深度链接回调"},
        {"LAAlertCancel", "取消"},
        {"LAAlertContinue", "继续"},
        {"LAAlertHint", "提示"},
        {"LAAlertOK", "确定"},
        {"LAAlertNotRemind", "不再提示"},
        {"LAPresetPropertyCarrierMobile", "中国移动"},
        {"LAPresetPropertyCarrierUnicom", "中国联通"},
        {"LAPresetPropertyCarrierTelecom", "中国电信"},
        {"LAPresetPropertyCarrierSatellite", "中国卫通"},
        {"LAPresetPropertyCarrierTietong", "中国铁通"},
        {"LADeviceWhiteListTitle", "设备白名单"},
        {"LADeviceWhiteListMessageProject", "App 集成的项目与电脑浏览器打开的项目不同，无法添加白名单"},
        {"LADeviceWhiteListMessageDeviceType", "设备类型不匹配，无法添加白名单"},
        {"LADeviceWhiteListMessageRequestSuccess", "添加白名单成功"},
        {"LADeviceWhiteListMessageRequestFailure", "添加白名单失败，请联系技术人员排查问题！"},
        {"LAShortLinkUnavailable", "短链功能不可用"},
        {"LAShortLinkURLEmpty", "短链地址为空"},
        {"LAShortLinkURLInvalid", "短链地址无效"},
        {"LAShortLinkNetworkError", "短链请求失败，请检查网络"},
        {"LAShortLinkTimeout", "短链请求超时"},
        {"LAShortLinkResponseInvalid", "短链服务返回的数据无效"},
        {"LAShortLinkParameterMissing", "短链缺少必要参数"},
        {"LAShortLinkRedirectFailed", "短链跳转失败"},
    };
}

// Operator display names by mobile network code, generated from the system's provider list.
platform::Value::Dictionary LACoreResources::mcc() {
    return {
#include "LAOperatorTable.inc"
    };
}

}  // namespace LumenAnalyticsSDK

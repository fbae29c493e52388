// The built-in pipelines: every flow, task and node as loaded into the flow registry,
// which nodes have no worker in this client, and the order a run takes through them.
#include "LumenAnalyticsSDK/Core/LACoreResources.h"

#include <gtest/gtest.h>

#include <iostream>

#include "LumenAnalyticsSDK/Core/Flow/LAFlowManager.h"
#include "LumenAnalyticsSDK/Core/Flow/LAInterceptorRegistry.h"
#include "LumenAnalyticsSDK/Core/Interceptor/LABuiltInInterceptors.h"
#include "tests/LumenAnalyticsSDK/LAWorkerClassNames.h"

using namespace LumenAnalyticsSDK;
using platform::Value;

namespace coretest {

std::vector<std::string> trace;

// Stands in for every worker class the definitions name: records its class name, and
// ends the flow where the insert step would when nothing is to be sent at once.
class Recorder : public LAInterceptor {
public:
    Recorder(std::string className, Value::Dictionary param)
        : className(std::move(className)), param(std::move(param)) {}
    void processWithInput(const LAFlowDataPtr& input, Completion completion) override {
        trace.push_back(className);
        if (className == "LAInsertRecordInterceptor") input->state = LAFlowStateStopFlow;
        completion(input);
    }
    std::string className;
    Value::Dictionary param;
};

}  // namespace coretest

namespace {

std::vector<std::string> idsOf(const Value::Array& definitions) {
    std::vector<std::string> ids;
    for (const auto& definition : definitions) ids.push_back(definition["id"].stringValue());
    return ids;
}

class BuiltInFlows : public ::testing::Test {
protected:
    void SetUp() override {
        for (const auto& name : LumenAnalyticsSDK::testing::kBuiltInWorkerClasses)
            LAInterceptorRegistry::shared().registerClass(name, [name](const Value::Dictionary& param) {
                return std::make_shared<coretest::Recorder>(name, param);
            });
        manager.loadFlows();
        coretest::trace.clear();
    }
    const coretest::Recorder* recorderOf(const std::string& nodeID) const {
        return dynamic_cast<const coretest::Recorder*>(manager.nodes.at(nodeID)->interceptor.get());
    }
    LAFlowManager manager;
};

TEST_F(BuiltInFlows, DefinitionsInTheirOrder) {
    EXPECT_EQ(idsOf(LACoreResources::analyticsFlows()),
              (std::vector<std::string>{"lumen_track_flow", "lumen_flush_flow", "lumen_ads_flush_flow"}));
    EXPECT_EQ(
        idsOf(LACoreResources::analyticsTasks()),
        (std::vector<std::string>{"dynamic_property", "serial_queue", "track_task", "flush_task", "ads_flush_task"}));
    const auto nodes = LACoreResources::analyticsNodes();
    ASSERT_EQ(nodes.size(), 23u);
    EXPECT_EQ(nodes[1], nodes[11]);  // "serial_queue" twice, alike
    // Built anew on each call: a caller's change does not stick.
    auto flows = LACoreResources::analyticsFlows();
    flows.clear();
    EXPECT_EQ(LACoreResources::analyticsFlows().size(), 3u);
}

TEST_F(BuiltInFlows, RegistryAfterLoading) {
    EXPECT_EQ(manager.flows.size(), 3u);
    EXPECT_EQ(manager.tasks.size(), 5u);
    ASSERT_EQ(manager.nodes.size(), 22u);
    EXPECT_EQ(manager.flows.at("lumen_track_flow")->name, "Track and flush");
    EXPECT_EQ(manager.flows.at("lumen_track_flow")->taskIDs,
              (std::vector<std::string>{"dynamic_property", "serial_queue", "track_task", "flush_task"}));
    EXPECT_EQ(manager.tasks.at("ads_flush_task")->nodeIDs,
              (std::vector<std::string>{"can_flush", "ads_encrypt", "flush_json", "flush_http_body", "flush"}));

    // The remote-config and encryption steps have no worker in this client.
    for (const char* absent : {"remote_config", "encrypt", "encrypt_records", "ads_encrypt"}) {
        SCOPED_TRACE(absent);
        EXPECT_EQ(manager.nodes.at(absent)->interceptor, nullptr);
        EXPECT_FALSE(manager.nodes.at(absent)->interceptorClassName.empty());
    }
    int withWorker = 0;
    for (const auto& [id, node] : manager.nodes) withWorker += node->interceptor != nullptr;
    EXPECT_EQ(withWorker, 18);

    // Only the synchronous queue switch carries a parameter.
    ASSERT_NE(recorderOf("serial_queue"), nullptr);
    EXPECT_EQ(recorderOf("serial_queue")->className, "LASerialQueueInterceptor");
    EXPECT_TRUE(recorderOf("serial_queue")->param.empty());
    EXPECT_EQ(recorderOf("serial_queue_sync")->param, (Value::Dictionary{{"sync", 1}}));
    EXPECT_EQ(manager.nodes.at("flush_end")->interceptorClassName, "LADeleteRecordInterceptor");
    EXPECT_EQ(manager.nodes.at("ID-Mapping")->name, "ID-Mapping");
}

TEST_F(BuiltInFlows, ARunPassesTheStepsInOrder) {
    manager.startWithFlowID("lumen_flush_flow", std::make_shared<LAFlowData>());
    EXPECT_EQ(coretest::trace,
              (std::vector<std::string>{"LASerialQueueInterceptor", "LACanFlushInterceptor", "LAQueryRecordInterceptor",
                                        "LAUpdateRecordInterceptor", "LAFlushJSONInterceptor",
                                        "LAFlushHTTPBodyInterceptor", "LAFlushInterceptor", "LASerialQueueInterceptor",
                                        "LADeleteRecordInterceptor", "LARepeatFlushInterceptor"}));

    coretest::trace.clear();
    auto data = std::make_shared<LAFlowData>();
    manager.startWithFlowID("lumen_track_flow", data);
    // The insert step ended the flow: the flush task did not run.
    EXPECT_EQ(coretest::trace, (std::vector<std::string>{"LADynamicSuperPropertyInterceptor",
                                                         "LASerialQueueInterceptor", "LAEventValidateInterceptor",
                                                         "LAIDMappingInterceptor", "LACorrectUserIdInterceptor",
                                                         "LAPropertyInterceptor", "LAEventCallbackInterceptor",
                                                         "LAEventResultInterceptor", "LAInsertRecordInterceptor"}));
    EXPECT_EQ(data->state, LAFlowStateStopFlow);
}

TEST(LACoreResourcesTables, TheBuiltInListRegistersTheWorkersAndLeavesTheAbsentOnesOut) {
    registerBuiltInInterceptors();
    EXPECT_TRUE(LAInterceptorRegistry::shared().hasClass("LAPropertyInterceptor"));
    EXPECT_TRUE(LAInterceptorRegistry::shared().hasClass("LAIDMappingInterceptor"));
    for (const auto& absent : LumenAnalyticsSDK::testing::kAbsentWorkerClasses)
        EXPECT_FALSE(LAInterceptorRegistry::shared().hasClass(absent)) << absent;
}

std::size_t placeholders(const Value& text) {
    std::size_t count = 0;
    const auto& s = *text.asString();
    for (auto at = s.find("%@"); at != std::string::npos; at = s.find("%@", at + 2)) ++count;
    return count;
}

TEST(LACoreResourcesTables, TheLanguageTableIsCompleteWithItsPlaceholders) {
    const auto language = LACoreResources::defaultLanguageResources();
    EXPECT_EQ(language.size(), 84u);
    for (const auto& [key, text] : language) EXPECT_FALSE(text.stringValue().empty()) << key;
    EXPECT_EQ(language.at("LADebugOnly"), Value("开启调试模式（不导入数据）"));
    EXPECT_EQ(language.at("LADebugAndTrack"), Value("开启调试模式（导入数据）"));
    EXPECT_EQ(language.at("LADebugOff"), Value("调试模式已关闭"));
    EXPECT_EQ(language.at("LAAlertOK"), Value("确定"));
    EXPECT_EQ(language.at("LAAlertCancel"), Value("取消"));
    const char* carriers[][2] = {{"LAPresetPropertyCarrierMobile", "中国移动"},
                                 {"LAPresetPropertyCarrierUnicom", "中国联通"},
                                 {"LAPresetPropertyCarrierTelecom", "中国电信"},
                                 {"LAPresetPropertyCarrierSatellite", "中国卫通"},
                                 {"LAPresetPropertyCarrierTietong", "中国铁通"}};
    for (const auto& [key, name] : carriers) EXPECT_EQ(language.at(key), Value(name)) << key;
    EXPECT_EQ(placeholders(language.at("LARemoteConfigCompareVersion")), 2u);
    EXPECT_EQ(placeholders(language.at("LAEncryptKeyTypeVerificationFailed")), 4u);
    EXPECT_EQ(placeholders(language.at("LAEncryptKeyVersionVerificationFailed")), 2u);
}

// Generated from the system's provider list, so its size is that list's: reported, not pinned.
TEST(LACoreResourcesTables, TheOperatorTableMapsNetworkCodesToNames) {
    const auto mcc = LACoreResources::mcc();
    RecordProperty("operators", static_cast<int>(mcc.size()));
    std::cout << "operator table: " << mcc.size() << " network codes\n";
    EXPECT_GT(mcc.size(), 500u);
    for (const auto& [code, name] : mcc) {
        EXPECT_TRUE(code.size() == 5 || code.size() == 6) << code;
        EXPECT_EQ(code.find_first_not_of("0123456789"), std::string::npos) << code;
        EXPECT_FALSE(name.stringValue().empty()) << code;
    }
    EXPECT_EQ(mcc.at("310410"), Value("AT&T"));  // a long-standing entry of the list
}

}  // namespace

// The flows' workers after the client's start-up: a flow naming each built-in worker class
// resolves every node to a worker of that class, and every class the built-in flow
// definitions name resolves, except those this client does not bring. This program names
// no worker class in code, so starting the client is all that links the workers in.
#include <gtest/gtest.h>

#include <cstdlib>

#include "LumenAnalyticsSDK/Core/Flow/LAFlowManager.h"
#include "LumenAnalyticsSDK/Core/LACoreResources.h"
#include "LumenAnalyticsSDK/Core/LumenAnalyticsSDK.h"
#include "tests/LumenAnalyticsSDK/LAStoreHome.h"
#include "tests/LumenAnalyticsSDK/LAWorkerClassNames.h"
#include "tests/support/TempDir.h"

namespace LumenAnalyticsSDK {
namespace {

using platform::Value;

using testing::kAbsentWorkerClasses;
using testing::kBuiltInWorkerClasses;

class LABuiltInInterceptorsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (LumenAnalyticsSDK::sdkInstance()) return;        // a repeated run keeps the process's client
        static auto* home = testing::homeRemovedAtTheEnd();  // the client writes there until exit
        setenv("XDG_DATA_HOME", (home->path() / "data").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home->path() / "config").c_str(), 1);
        LumenAnalyticsSDK::startWithConfigOptions(LAConfigOptions("", std::nullopt));
    }
};

TEST_F(LABuiltInInterceptorsTest, AFlowNamingEachBuiltInWorkerGetsAWorkerOfThatClassForEveryNode) {
    Value::Array nodes;
    for (const auto& className : kBuiltInWorkerClasses)
        nodes.push_back(Value::Dictionary{{"id", className}, {"interceptor", className}});
    const LAFlowObject flow(Value::Dictionary{
        {"id", "every_worker"}, {"tasks", Value::Array{Value::Dictionary{{"id", "all"}, {"nodes", nodes}}}}});
    ASSERT_EQ(flow.tasks.size(), 1u);
    ASSERT_EQ(flow.tasks[0]->nodes.size(), kBuiltInWorkerClasses.size());
    for (const auto& node : flow.tasks[0]->nodes) {
        SCOPED_TRACE(node->interceptorClassName);
        ASSERT_NE(node->interceptor, nullptr);
        EXPECT_EQ(node->interceptor->className(), node->interceptorClassName);
    }
}

// The client's own loaded flows: the workers were registered before the nodes were made.
TEST_F(LABuiltInInterceptorsTest, EveryClassTheBuiltInDefinitionsNameResolvesExceptTheAbsentOnes) {
    const auto& loaded = LAFlowManager::sharedInstance().nodes;
    std::set<std::string> resolved;
    for (const auto& definition : LACoreResources::analyticsNodes()) {
        const std::string nodeID = definition["id"].stringValue();
        const std::string className = definition["interceptor"].stringValue();
        SCOPED_TRACE(nodeID + " " + className);
        ASSERT_TRUE(loaded.contains(nodeID));
        const auto& worker = loaded.at(nodeID)->interceptor;
        if (kAbsentWorkerClasses.contains(className)) {
            EXPECT_EQ(worker, nullptr);
            continue;
        }
        ASSERT_NE(worker, nullptr);
        EXPECT_EQ(worker->className(), className);
        resolved.insert(className);
    }
    EXPECT_EQ(resolved, kBuiltInWorkerClasses);  // the definitions use every built-in worker
}

}  // namespace
}  // namespace LumenAnalyticsSDK

// The flow runner with small fake workers: where state 1 and 2 end a run, how messages
// are logged and cleared, which parts are passed over, and how definitions are read.
#include "LumenAnalyticsSDK/Core/Flow/LAFlowManager.h"

#include <gtest/gtest.h>

#include <future>
#include <map>

#include "LALogCapture.h"
#include "LumenAnalyticsSDK/Core/Flow/LAInterceptorRegistry.h"
#include "LumenAnalyticsSDK/Core/LumenAnalyticsSDK.h"
#include "platform/dispatch/DispatchQueue.h"
#include "tests/support/TempDir.h"

using namespace LumenAnalyticsSDK;
using ::LumenAnalyticsSDK::testing::LALogCapture;
using platform::Value;

namespace flowtest {

// Appends its id to the trace, then sets what it was told to.
class Step : public LAInterceptor {
public:
    Step(std::string id, std::vector<std::string>& trace) : id_(std::move(id)), trace_(trace) {}
    std::optional<std::uint64_t> state;
    std::optional<std::string> message;
    void processWithInput(const LAFlowDataPtr& input, Completion completion) override {
        trace_.push_back(id_);
        if (state) input->state = *state;
        if (message) input->message = *message;
        completion(input);
    }

private:
    std::string id_;
    std::vector<std::string>& trace_;
};

// Remembers the parameters it was made with.
class Configured : public LAInterceptor {
public:
    static std::shared_ptr<Configured> interceptorWithParam(const Value::Dictionary& param) {
        auto made = std::make_shared<Configured>();
        made->param = param;
        return made;
    }
    Value::Dictionary param;
};

class Plain : public LAInterceptor {};

}  // namespace flowtest

using flowtest::Step;

namespace {

struct TwoTaskFlow {
    std::vector<std::string> trace;
    std::map<std::string, std::shared_ptr<Step>> steps;
    LAFlowObjectPtr flow;

    TwoTaskFlow() {
        auto task = [this](const std::string& id, std::vector<std::string> nodeIDs) {
            std::vector<LANodeObjectPtr> nodes;
            for (const auto& nodeID : nodeIDs) {
                steps[nodeID] = std::make_shared<Step>(nodeID, trace);
                nodes.push_back(std::make_shared<LANodeObject>(nodeID, nodeID + " step", steps[nodeID]));
            }
            return std::make_shared<LATaskObject>(id, "task " + id, nodes);
        };
        flow = std::make_shared<LAFlowObject>(
            "f", "flow", std::vector{task("a", {"a1", "a2", "a3"}), task("b", {"b1", "b2", "b3"})});
    }
};

std::string joined(const std::vector<std::string>& parts) {
    std::string text;
    for (const auto& part : parts) text += (text.empty() ? "" : " ") + part;
    return text;
}

TEST(LAFlowManager, StateDecidesWhereTheRunEnds) {
    struct Action {
        std::string node;
        std::optional<std::uint64_t> state;
        std::optional<std::string> message;
    };
    struct Case {
        const char* what;
        std::vector<Action> actions;
        const char* trace;
        std::uint64_t finalState;
        std::vector<std::string> logLines;  // "E:" error, "W:" warning
    } cases[] = {
        {"all go on", {}, "a1 a2 a3 b1 b2 b3", 0, {}},
        {"1 ends the flow", {{"a2", 1, {}}}, "a1 a2", 1, {}},
        {"2 ends the task and stays set",
         {{"a1", 2, {}}},
         "a1 b1",
         2,
         {"W:The node(id: a1, name: a1 step, interceptor: Step) stop the task(id: a, name: task a).",
          "W:The node(id: b1, name: b1 step, interceptor: Step) stop the task(id: b, name: task b)."}},
        {"a node may set 0 again after 2",
         {{"a1", 2, {}}, {"b1", 0, {}}},
         "a1 b1 b2 b3",
         0,
         {"W:The node(id: a1, name: a1 step, interceptor: Step) stop the task(id: a, name: task a)."}},
        {"a message alone stops nothing",
         {{"a2", {}, "x"}},
         "a1 a2 a3 b1 b2 b3",
         0,
         {"E:The node(id: a2, name: a2 step, interceptor: Step) error: x"}},
        {"message and stop",
         {{"a3", 1, "bad"}},
         "a1 a2 a3",
         1,
         {"E:The node(id: a3, name: a3 step, interceptor: Step) error: bad"}},
    };
    LALogCapture log;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        log.clear();
        TwoTaskFlow fixture;
        for (const auto& action : c.actions) {
            fixture.steps[action.node]->state = action.state;
            fixture.steps[action.node]->message = action.message;
        }
        LAFlowManager manager;
        auto input = std::make_shared<LAFlowData>();
        int completions = 0;
        manager.startWithFlow(fixture.flow, input, [&](const LAFlowDataPtr& output) {
            ++completions;
            EXPECT_EQ(output, input);
        });
        EXPECT_EQ(completions, 1);
        EXPECT_EQ(joined(fixture.trace), c.trace);
        EXPECT_EQ(input->state, c.finalState);
        EXPECT_EQ(input->message, std::nullopt);
        std::vector<std::string> lines;
        for (const auto& line : log.lines())
            lines.push_back(std::string(line.level == LALogLevelError  ? "E:"
                                        : line.level == LALogLevelWarn ? "W:"
                                                                       : "?:") +
                            line.message);
        EXPECT_EQ(lines, c.logLines);
    }
}

TEST(LAFlowManager, AnUnknownFlowIdHandsTheInputBack) {
    LAFlowManager manager;
    auto input = std::make_shared<LAFlowData>();
    input->setJson("kept");
    LAFlowDataPtr received;
    manager.startWithFlowID("missing", input, [&](const LAFlowDataPtr& output) { received = output; });
    EXPECT_EQ(received, input);
    EXPECT_EQ(input->json(), "kept");
    // Without a completion nothing happens: the input is left as it was.
    manager.startWithFlowID("missing", input);
    EXPECT_EQ(input->json(), "kept");
    EXPECT_EQ(input->state, LAFlowStateContinue);
    EXPECT_FALSE(input->message);
}

TEST(LAFlowManager, UnknownPartsAndNodesWithoutWorkerArePassedOver) {
    std::vector<std::string> trace;
    LAFlowManager manager;
    manager.nodes["n1"] = std::make_shared<LANodeObject>("n1", "one", std::make_shared<Step>("n1", trace));
    manager.nodes["idle"] = std::make_shared<LANodeObject>("idle", "no worker", nullptr);
    manager.nodes["n2"] = std::make_shared<LANodeObject>("n2", "two", std::make_shared<Step>("n2", trace));
    manager.tasks["t"] =
        std::make_shared<LATaskObject>(Value::Dictionary{{"id", "t"},
                                                         {"param", Value::Dictionary{{"from_task", 2}}},
                                                         {"nodes", Value::Array{"n1", "ghost", "idle", "n2"}}});
    manager.registerFlow(std::make_shared<LAFlowObject>(
        Value::Dictionary{{"id", "f"},
                          {"param", Value::Dictionary{{"from_flow", 1}, {"shared", "flow"}}},
                          {"tasks", Value::Array{"ghost_task", "t"}}}));
    auto options = std::make_shared<LAConfigOptions>("https://collector.test/sa", std::nullopt);
    manager.configOptions = options;

    auto input = std::make_shared<LAFlowData>();
    input->param["shared"] = "input";
    bool done = false;
    manager.startWithFlowID("f", input, [&](const LAFlowDataPtr&) { done = true; });
    EXPECT_TRUE(done);
    EXPECT_EQ(joined(trace), "n1 n2");
    EXPECT_EQ(input->configOptions, options);
    // The flow's and task's parameters are taken into the data, overwriting its own.
    EXPECT_EQ(input->param["from_flow"], Value(1));
    EXPECT_EQ(input->param["from_task"], Value(2));
    EXPECT_EQ(input->param["shared"], Value("flow"));
}

// What a node needs of the client comes with the run's data: the queue as it is, the
// host's callback as it stands when a node asks.
TEST(LAFlowManager, EveryRunGetsTheClientsPartsAndAsksForTheCallbackLater) {
    LAFlowManager manager;
    manager.configOptions = std::make_shared<LAConfigOptions>("https://collector.test/sa", std::nullopt);
    manager.serialQueue = platform::DispatchQueue::create("test.flow.client");
    LATrackEventCallback current;
    manager.trackEventCallback = [&current] { return current; };
    manager.registerFlow(std::make_shared<LAFlowObject>("f", "no tasks", std::vector<LATaskObjectPtr>{}));
    for (const char* flowID : {"f", "missing"}) {
        SCOPED_TRACE(flowID);
        auto input = std::make_shared<LAFlowData>();
        manager.startWithFlowID(flowID, input, [](const LAFlowDataPtr&) {});
        EXPECT_EQ(input->configOptions, manager.configOptions);
        EXPECT_EQ(input->serialQueue, manager.serialQueue);
        ASSERT_TRUE(input->trackEventCallback);
        EXPECT_FALSE(input->trackEventCallback());
        current = [](const std::string&, Value::Dictionary&) { return false; };
        EXPECT_TRUE(input->trackEventCallback());
        current = nullptr;
    }
}

TEST(LAFlowManager, InlineTasksWinOverRegisteredOnes) {
    std::vector<std::string> trace;
    LAFlowManager manager;
    manager.nodes["n"] = std::make_shared<LANodeObject>("n", "registered", std::make_shared<Step>("registered", trace));
    manager.tasks["t"] = std::make_shared<LATaskObject>(Value::Dictionary{{"id", "t"}, {"nodes", Value::Array{"n"}}});
    LAInterceptorRegistry::shared().registerClass<flowtest::Plain>("PlainInterceptor");
    auto flow = std::make_shared<LAFlowObject>(Value::Dictionary{
        {"id", "f"},
        {"tasks", Value::Array{Value::Dictionary{
                      {"id", "t"},
                      {"nodes", Value::Array{Value::Dictionary{
                                    {"id", "n"}, {"name", "inline"}, {"interceptor", "PlainInterceptor"}}}}}}}});
    ASSERT_EQ(flow->tasks.size(), 1u);
    ASSERT_TRUE(flow->taskIDs.empty());
    EXPECT_EQ(flow->taskForID("t"), flow->tasks[0]);
    EXPECT_EQ(flow->taskForID("other"), nullptr);
    ASSERT_NE(flow->tasks[0]->nodes.at(0)->interceptor, nullptr);
    EXPECT_EQ(flow->tasks[0]->nodes[0]->interceptor->className(), "Plain");

    manager.startWithFlow(flow, std::make_shared<LAFlowData>());
    EXPECT_TRUE(trace.empty());  // the registered task and node never ran
}

TEST(LAFlowManager, TheRunGoesOnWhereTheWorkerCompleted) {
    // A worker that completes later on its own queue moves the rest of the run there.
    struct Hop : LAInterceptor {
        platform::DispatchQueuePtr queue = platform::DispatchQueue::create("test.flow.hop");
        void processWithInput(const LAFlowDataPtr& input, Completion completion) override {
            queue->async([input, completion] { completion(input); });
        }
    };
    struct Where : LAInterceptor {
        void processWithInput(const LAFlowDataPtr& input, Completion completion) override {
            input->setJson(platform::DispatchQueue::currentLabel());
            completion(input);
        }
    };
    auto task = std::make_shared<LATaskObject>(
        "t", "t",
        std::vector{std::make_shared<LANodeObject>("hop", "hop", std::make_shared<Hop>()),
                    std::make_shared<LANodeObject>("where", "where", std::make_shared<Where>())});
    LAFlowManager manager;
    std::promise<LAFlowDataPtr> finished;
    manager.startWithFlow(std::make_shared<LAFlowObject>("f", "f", std::vector{task}), std::make_shared<LAFlowData>(),
                          [&](const LAFlowDataPtr& output) { finished.set_value(output); });
    auto future = finished.get_future();
    ASSERT_EQ(future.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(future.get()->json(), "test.flow.hop");
}

TEST(LAFlowData, NamedValuesAndTheirAbsence) {
    struct Record {
        std::string id;
    };
    LAFlowData data;
    // Absent values read as none, NO or 0.
    EXPECT_FALSE(data.flushSuccess());
    EXPECT_EQ(data.statusCode(), 0);
    EXPECT_EQ(data.gzipCode(), 0u);
    EXPECT_EQ(data.records<Record>(), std::nullopt);
    EXPECT_EQ(data.record<Record>(), nullptr);

    data.setRecords<Record>(std::vector{std::make_shared<Record>(Record{"1"}), std::make_shared<Record>(Record{"2"})});
    data.setRecord(std::make_shared<Record>(Record{"r"}));
    data.setCookie("c=1");
    data.setHTTPBody(platform::Data::fromString("body"));
    data.setRecordIDs(std::vector<std::string>{"1", "2"});
    data.setProperties(Value::Dictionary{{"k", 1}});
    data.setStatusCode(-1);
    data.setGzipCode(1);
    EXPECT_EQ(data.records<Record>()->at(1)->id, "2");
    EXPECT_EQ(data.record<Record>()->id, "r");
    EXPECT_EQ(data.param["flush_cookie"], Value("c=1"));
    EXPECT_EQ(data.statusCode(), -1);
    EXPECT_EQ(data.gzipCode(), 1u);

    // Setting none removes the key.
    data.setRecords<Record>(std::nullopt);
    data.setRecord<Record>(nullptr);
    data.setCookie(std::nullopt);
    data.setHTTPBody(std::nullopt);
    data.setRecordIDs(std::nullopt);
    data.setProperties(std::nullopt);
    EXPECT_EQ(data.param.size(), 2u);  // the status and gzip codes
}

TEST(LAFlowDefinitions, NodesAreMadeOnceWithTheirParameters) {
    LAInterceptorRegistry::shared().registerClass<flowtest::Configured>("ConfiguredInterceptor");
    LAInterceptorRegistry::shared().registerClass<flowtest::Plain>("PlainInterceptor");
    const auto nodes = LANodeObject::loadFromResources(Value::Array{
        Value::Dictionary{{"id", "a"}, {"name", "first"}, {"interceptor", "PlainInterceptor"}},
        Value::Dictionary{{"name", "no id"}, {"interceptor", "PlainInterceptor"}},
        "not a definition",
        Value::Dictionary{{"id", "b"}, {"interceptor", "MissingInterceptor"}},
        Value::Dictionary{{"id", "a"},
                          {"name", "second"},
                          {"interceptor", "ConfiguredInterceptor"},
                          {"param", Value::Dictionary{{"k", 1}}}},
    });
    ASSERT_EQ(nodes.size(), 2u);
    const auto& a = *nodes.at("a");
    EXPECT_EQ(a.name, "second");  // the later definition of an id wins
    EXPECT_EQ(a.interceptorClassName, "ConfiguredInterceptor");
    auto configured = std::dynamic_pointer_cast<flowtest::Configured>(a.interceptor);
    ASSERT_NE(configured, nullptr);
    EXPECT_EQ(configured->param, (Value::Dictionary{{"k", 1}}));
    EXPECT_EQ(nodes.at("b")->interceptor, nullptr);
    EXPECT_EQ(nodes.at("b")->interceptorClassName, "MissingInterceptor");
}

TEST(LAFlowDefinitions, TaskNodeListEdits) {
    auto node = [](const std::string& id) { return std::make_shared<LANodeObject>(id, id, nullptr); };
    LATaskObject task("t", "t", {node("a"), node("b")});
    task.insertNode(node("end"), 2);  // an index equal to the count appends
    task.insertNode(node("far"), 9);  // past the end: nothing
    task.insertNode(node("front"), 0);
    std::vector<std::string> ids;
    for (const auto& n : task.nodes) ids.push_back(n->nodeID);
    EXPECT_EQ(joined(ids), "front a b end");
    EXPECT_EQ(task.indexOfNodeWithID("b"), 2);
    EXPECT_EQ(task.indexOfNodeWithID(""), -1);
    EXPECT_EQ(task.indexOfNodeWithID("far"), -1);
}

TEST(LAFlowDefinitions, DefinitionFilesFromABundle) {
    testing_support::TempDir bundleDir;
    auto bundle = platform::Bundle::atPath(bundleDir.path().string());
    EXPECT_EQ(LAFlowObject::loadFromBundle(*bundle), std::nullopt);
    EXPECT_EQ(LATaskObject::loadFromBundle(*bundle), std::nullopt);
    EXPECT_EQ(LANodeObject::loadFromBundle(*bundle), std::nullopt);

    testing_support::writeFile(bundleDir / "lumen_analytics_flow.json", R"([{"id": "f", "tasks": ["t"]}])");
    testing_support::writeFile(bundleDir / "lumen_analytics_task.json", R"([{"id": "t", "nodes": ["n"]}])");
    testing_support::writeFile(bundleDir / "lumen_analytics_node.json", "{not json");
    const auto flows = LAFlowObject::loadFromBundle(*bundle);
    ASSERT_TRUE(flows);
    EXPECT_EQ(flows->at("f")->taskIDs, std::vector<std::string>{"t"});
    EXPECT_EQ(LATaskObject::loadFromBundle(*bundle)->at("t")->nodeIDs, std::vector<std::string>{"n"});
    // A broken file yields no definitions rather than failing.
    const auto nodes = LANodeObject::loadFromBundle(*bundle);
    ASSERT_TRUE(nodes);
    EXPECT_TRUE(nodes->empty());
}

}  // namespace

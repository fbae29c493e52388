// Statistics reports and the server error model: the gate on the event client, the error
// record of each event, the triple made from failures (server errors with their detail
// records, and any other error), the code table and the envelope check.
#include "Berth/BerthError.h"
#include "flow_support.h"
#include "platform/foundation/JSONSerialization.h"
#include "updater/Common/Network/APIError.h"
#include "updater/Common/Statistics/StatisticsEvent.h"

using namespace flow_test;
using namespace Lanternfly_Updater;

namespace {

[[maybe_unused]] auto* const kWorld = ::testing::AddGlobalTestEnvironment(new World(false));

Berth::ResponsePtr response(const std::string& body) {
    return Berth::Response::create(200, platform::Data::fromString(body));
}

}  // namespace

TEST(DataEvent, ReportsOnlyOnceTheEventClientIsConfigured) {
    auto events = std::make_shared<RecordingClient>();
    setEventClient(events);

    DataEvent(StatisticsEventID{"download_pkg"});
    EXPECT_TRUE(events->events.empty());

    setupEventClient({});
    DataEvent(StatisticsEventID{"update_pause"}, {{StatisticParamKey{"state_string"}, platform::Value("success")},
                                                  {StatisticParamKey{"state_string"}, platform::Value("failure")},
                                                  {StatisticParamKey{"n"}, platform::Value(std::int64_t{4})}});
    DataEvent(StatisticsEventID{"install_update_fail"}, {}, EventErrorTriple{-2, "T", std::nullopt});
    ASSERT_EQ(events->events.size(), 2u);
    const auto& plain = events->events[0];
    EXPECT_EQ(plain.name, "update_pause");
    EXPECT_EQ(plain.errorCode, 0);
    EXPECT_EQ(plain.errorMessage, "ok");
    EXPECT_FALSE(plain.errorDetails);
    EXPECT_EQ(plain.compatibleParams.at("state_string"), platform::Value("failure"));  // the later one wins
    EXPECT_EQ(events->events[1].errorCode, -2);
    EXPECT_EQ(events->events[1].errorMessage, "T");
    setEventClient(nullptr);
}

TEST(DataEvent, ParametersWithInvalidUTF8StillBecomeJSON) {
    // A launch argument is whatever bytes the caller passed; the event must still be sent.
    auto params = parameterDictionary({{StatisticParamKey{"content_string"}, platform::Value("md5:\xff\xfe")}});
    auto json = platform::JSONSerialization::string(platform::Value(params));
    ASSERT_TRUE(json.isSuccess());
    EXPECT_EQ(*json.successValue(), "{\"content_string\":\"md5:\xEF\xBF\xBD\xEF\xBF\xBD\"}");
}

TEST(EventError, BuildsTheTripleFromAnyFailure) {
    EXPECT_FALSE(eventError(nullptr));

    auto generic = platform::NSError::withDescription(platform::NSURLErrorDomain, -1004, "Could not connect");
    auto triple = eventError(generic, std::map<std::string, std::string>{{"errorDetail", "more"}, {"host", "h"}});
    ASSERT_TRUE(triple);
    EXPECT_EQ(triple->code, -1004);
    EXPECT_EQ(triple->message, "Could not connect");
    EXPECT_EQ(*triple->details, (std::map<std::string, std::string>{
                                    {"errorDetail", generic->debugDescription() + "  more"}, {"host", "h"}}));

    auto detailed = APIError::init(1001, "payload text",
                                   response("{\"code\": 1001, \"msg\": \"bad\", \"data\": {\"detail\": ["
                                            "{\"loc\": [\"body\", \"md5\"], \"msg\": \"m0\", \"type\": \"t0\"},"
                                            "{\"loc\": [\"query\"], \"msg\": \"m1\", \"type\": \"t1\"}]}}"));
    triple = eventError(std::make_shared<APIError>(*detailed));
    EXPECT_EQ(triple->code, 1001);
    EXPECT_EQ(triple->message, "bad");
    EXPECT_EQ(
        *triple->details,
        (std::map<std::string, std::string>{
            {"loc0", "bodymd5"}, {"msg0", "m0"}, {"type0", "t0"}, {"loc1", "query"}, {"msg1", "m1"}, {"type1", "t1"}}));

    // No response to read back: -1, empty text, no details, and `extra` is not used.
    auto bare = APIError::init(2003, "offline", nullptr);
    triple = eventError(std::make_shared<APIError>(*bare), std::map<std::string, std::string>{{"x", "y"}});
    EXPECT_EQ(triple->code, -1);
    EXPECT_EQ(triple->message, "");
    EXPECT_FALSE(triple->details);
}

TEST(APIError, MapsCodesAndReadsTheResponseBack) {
    EXPECT_FALSE(APIError::init(0, "ok", nullptr));
    struct Case {
        std::int64_t code;
        APIError::Case expected;
    };
    for (const auto& c : {Case{1151, APIError::Case::appAreLatestVersion}, Case{1001, APIError::Case::paraError},
                          Case{2003, APIError::Case::deviceOffline}, Case{9999, APIError::Case::unknown}}) {
        auto error = APIError::init(c.code, "server says", nullptr);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->errorCase(), c.expected);
        EXPECT_EQ(error->payloadCode(), c.code);
        EXPECT_EQ(error->errorDescription(), "server says");
    }
    // The accessors read the body, never the payload; anything unreadable is absent.
    auto error = *APIError::init(5, "payload",
                                 response("{\"code\": 1001, \"msg\": \"bad\", \"data\": {\"detail\": "
                                          "[{\"loc\": [\"a\"], \"msg\": \"m\", \"type\": \"t\"}]}}"));
    EXPECT_EQ(error.responseCode(), 1001);
    EXPECT_EQ(error.responseMessage(), "bad");
    ASSERT_TRUE(error.detailData());
    EXPECT_EQ(error.detailData()->detail.size(), 1u);
    for (const char* body : {"", "not json", "[1]", "{\"code\": \"1\", \"msg\": 2, \"data\": {\"detail\": 3}}"}) {
        auto unreadable = *APIError::init(5, "payload", response(body));
        EXPECT_FALSE(unreadable.responseCode()) << body;
        EXPECT_FALSE(unreadable.responseMessage()) << body;
        EXPECT_FALSE(unreadable.detailData()) << body;
    }
}

TEST(APIError, TheEnvelopeCheckPassesSuccessAndThrowsTheRest) {
    auto ok = response("{\"code\": 0, \"msg\": \"anything\"}");
    EXPECT_EQ(filterAPIError(ok), ok);
    try {
        filterAPIError(response("{\"code\": 1151, \"msg\": \"latest\"}"));
        ADD_FAILURE() << "no error";
    } catch (const platform::ErrorException& e) {
        auto api = std::dynamic_pointer_cast<const APIError>(e.error());
        ASSERT_TRUE(api);
        EXPECT_EQ(api->errorCase(), APIError::Case::appAreLatestVersion);
    }
    for (const char* body : {"", "{\"code\": 0}", "<html>"}) {
        try {
            filterAPIError(response(body));
            ADD_FAILURE() << "no error for " << body;
        } catch (const platform::ErrorException& e) {
            EXPECT_TRUE(std::dynamic_pointer_cast<const Berth::BerthError>(e.error())) << body;
        }
    }
}

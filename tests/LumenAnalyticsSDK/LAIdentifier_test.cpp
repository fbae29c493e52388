// Identity: loading from the store, login and logout, identify, bind and unbind, resets,
// the ID-mapping step, and the session rule, all against a real store in a temporary home.
#include <gtest/gtest.h>

#include <cstdlib>

#include "LALogCapture.h"
#include "LAStoreHome.h"
#include "LumenAnalyticsSDK/Core/Builder/EventObject/LAItemEventObject.h"
#include "LumenAnalyticsSDK/Core/Builder/EventObject/LATrackEventObject.h"
#include "LumenAnalyticsSDK/Core/Builder/LASessionProperty.h"
#include "LumenAnalyticsSDK/Core/Interceptor/EventBuild/LAIDMappingInterceptor.h"
#include "LumenAnalyticsSDK/Core/LAIdentifier.h"
#include "LumenAnalyticsSDK/Core/Utils/LAFileStorePlugin.h"
#include "LumenAnalyticsSDK/Core/Utils/LAStoreManager.h"
#include "LumenAnalyticsSDK/Core/Utils/LAUserDefaultsStorePlugin.h"

namespace LumenAnalyticsSDK {
namespace {

using Dictionary = platform::Value::Dictionary;
using platform::Value;

// The store's files go to a home of the test's own.
class LAIdentifierTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testing::useTemporaryStoreHome(); }
    void SetUp() override {
        for (const char* key :
             {"distinct_id", "login_id", "com.lumen.loginidkey", "com.lumen.identities", "LASessionModel"})
            store().removeObjectForKey(key);
    }
    static LAStoreManager& store() { return LAStoreManager::sharedInstance(); }
    static LAIdentifierPtr identifier() {
        return LAIdentifier::create(platform::DispatchQueue::create("test.identity"));
    }
    static Dictionary deviceOnly(const LAIdentifierPtr& id) {
        Dictionary devices;
        for (const auto& [key, value] : id->identities())
            if (LAIdentifier::isDeviceIDKey(key)) devices[key] = value;
        return devices;
    }
    static bool logged(const testing::LALogCapture& log, const std::string& text) {
        for (const auto& line : log.lines())
            if (line.message == text) return true;
        return false;
    }
};

TEST_F(LAIdentifierTest, FirstStartHasOneDeviceEntryAndTheDefaultLoginKey) {
    auto id = identifier();
    EXPECT_FALSE(id->anonymousId().empty());
    EXPECT_EQ(id->loginIDKey(), "$identity_login_id");
    EXPECT_EQ(id->identities().size(), 1u);
    EXPECT_EQ(deviceOnly(id).size(), 1u);
    EXPECT_EQ(id->distinctId(), id->anonymousId());
    // Stored: a second start reads the same ids back.
    auto again = identifier();
    EXPECT_EQ(again->anonymousId(), id->anonymousId());
    EXPECT_EQ(again->identities(), id->identities());
    auto stored = store().objectForKey("com.lumen.identities");
    ASSERT_TRUE(stored.isString());
    EXPECT_EQ(stored.asString()->rfind("Base64:", 0), 0u);
}

TEST_F(LAIdentifierTest, IdentifyRules) {
    testing::LALogCapture log;
    auto id = identifier();
    EXPECT_FALSE(id->identify(Value(id->anonymousId())));
    EXPECT_FALSE(id->identify(Value(5)));
    EXPECT_TRUE(logged(log, "AnonymousId must be string"));
    EXPECT_FALSE(id->identify(Value("")));
    EXPECT_TRUE(logged(log, "AnonymousId is empty"));
    std::string longId(9000, 'a');
    EXPECT_TRUE(id->identify(Value(longId)));
    EXPECT_TRUE(logged(log, "AnonymousId: " + longId + "'s length is longer than 8192"));
    EXPECT_EQ(id->anonymousId(), longId);
    EXPECT_EQ(store().objectForKey("distinct_id"), Value(longId));
}

TEST_F(LAIdentifierTest, LoginLogoutAndTheirRefusals) {
    testing::LALogCapture log;
    auto id = identifier();
    ASSERT_TRUE(id->isValidForLogin(Value("$identity_login_id"), Value("u1")));
    id->loginWithKey("$identity_login_id", "u1");
    EXPECT_EQ(id->loginId(), "u1");
    EXPECT_EQ(id->distinctId(), "u1");

    log.clear();
    EXPECT_FALSE(id->isValidForLogin(Value("$identity_login_id"), Value("u1")));  // the current login
    EXPECT_FALSE(id->isValidForLogin(Value("$identity_login_id"), Value(id->anonymousId())));
    EXPECT_TRUE(log.lines().empty());  // both silently
    EXPECT_FALSE(id->isValidForLogin(Value("$identity_mac_uuid"), Value("u2")));
    EXPECT_TRUE(logged(log, "LoginIDKey [ $identity_mac_uuid ] is invalid"));

    ASSERT_TRUE(id->isValidForLogin(Value("member"), Value("u1")));
    id->loginWithKey("member", "u1");
    EXPECT_EQ(id->loginId(), "member+u1");
    EXPECT_EQ(id->identities()["member"], Value("u1"));

    // A new start keeps the login.
    auto again = identifier();
    EXPECT_EQ(again->loginId(), "member+u1");
    EXPECT_EQ(again->loginIDKey(), "member");

    id->logout();
    EXPECT_EQ(id->loginId(), std::nullopt);
    EXPECT_EQ(id->identities(), deviceOnly(id));
    EXPECT_TRUE(store().objectForKey("login_id").isNull());
    EXPECT_TRUE(store().objectForKey("com.lumen.loginidkey").isNull());
}

TEST_F(LAIdentifierTest, BindAndUnbind) {
    testing::LALogCapture log;
    auto id = identifier();
    id->loginWithKey("member", "u1");
    for (const char* key : {"$identity_anonymous_id", "$identity_login_id", "$identity_mac_uuid", "member"}) {
        EXPECT_FALSE(id->isValidForBind(Value(key), Value("v"))) << key;
        EXPECT_TRUE(logged(log, std::string("Key [ ") + key + " ] is invalid")) << key;
    }
    EXPECT_FALSE(id->isValidForBind(Value("phone"), Value()));
    EXPECT_TRUE(logged(log, "bind or unbind value should not be nil"));
    EXPECT_FALSE(id->isValidForBind(Value("phone"), Value(3)));
    EXPECT_TRUE(logged(log, "bind or unbind value should be string"));
    EXPECT_FALSE(id->isValidForBind(Value("phone"), Value("")));
    EXPECT_TRUE(logged(log, "bind or unbind value should not be empty"));

    ASSERT_TRUE(id->isValidForBind(Value("phone"), Value("123")));
    id->bindIdentity("phone", "123");
    EXPECT_EQ(id->identities()["phone"], Value("123"));

    // Unbinding a pair that is not bound: the next unbind event carries it, nothing changes.
    auto before = id->identities();
    id->unbindIdentity("email", "a@b");
    EXPECT_EQ(id->identities(), before);
    EXPECT_EQ(id->identitiesWithEventType(8), (Dictionary{{"email", "a@b"}}));
    EXPECT_EQ(id->removedIdentity(), std::nullopt);

    // Unbinding the login pair logs out.
    id->unbindIdentity("member", "u1");
    EXPECT_EQ(id->loginId(), std::nullopt);
    EXPECT_FALSE(id->identities().contains("member"));
}

TEST_F(LAIdentifierTest, ResetsAndUndecodableStoredIdentities) {
    testing::LALogCapture log;
    store().setObject(Value("{\"k\":\"v\"}"), "com.lumen.identities");  // no "Base64:" prefix
    auto id = identifier();
    EXPECT_FALSE(id->identities().contains("k"));
    EXPECT_EQ(id->identities().size(), 1u);

    id->resetAnonymousIdentity(std::string("fresh"));
    EXPECT_EQ(id->anonymousId(), "fresh");
    for (const auto& [key, value] : deviceOnly(id)) EXPECT_EQ(value, Value("fresh"));

    id->loginWithKey("$identity_login_id", "u1");
    id->resetAnonymousIdentity(std::string("other"));
    EXPECT_EQ(id->anonymousId(), "fresh");
    EXPECT_TRUE(logged(log, "you should not use this function when login"));
}

// Ids read back from the store meet the checks a caller's ids meet.
TEST_F(LAIdentifierTest, StoredIdsAreCheckedAsIdentifyAndLoginCheckThem) {
    const std::string longId(9000, 'a');
    struct Case {
        const char* key;
        Value stored;
        std::string line;
        bool kept;
    } cases[] = {
        {"distinct_id", Value(5), "AnonymousId must be string", false},
        {"distinct_id", Value(""), "AnonymousId is empty", false},
        {"distinct_id", Value(longId), "AnonymousId: " + longId + "'s length is longer than 8192", true},
        {"login_id", Value(Value::Array{"u1"}), "LoginId must be string", false},
        {"login_id", Value(longId), "LoginId: " + longId + "'s length is longer than 8192", true},
        // Readable archives of another kind where text is kept.
        {"com.lumen.loginidkey", Value(Value::Dictionary{{"k", Value("v")}}), "Login id key must be string", false},
        {"com.lumen.loginidkey", Value(7), "Login id key must be string", false},
        {"com.lumen.identities", Value(Value::Array{"Base64:"}), "Identities must be string", false},
        {"com.lumen.identities", Value(platform::Data::fromString("Base64:")), "Identities must be string", false},
    };
    for (const auto& c : cases) {
        SetUp();
        store().setObject(c.stored, c.key);
        testing::LALogCapture log;
        auto id = identifier();
        auto loaded = std::string(c.key) == "distinct_id" ? std::optional(id->anonymousId()) : id->loginId();
        int complaints = 0;
        for (const auto& line : log.lines()) complaints += line.level <= LALogLevelWarn;
        EXPECT_EQ(complaints, 1) << c.line;
        EXPECT_TRUE(logged(log, c.line)) << c.line;
        if (c.kept) {
            EXPECT_EQ(loaded, longId);
        } else {
            EXPECT_NE(loaded, std::optional(c.stored.stringValue())) << c.line;
            if (std::string(c.key) == "distinct_id") {
                EXPECT_EQ(loaded, LAIdentifier::hardwareID());
            }
        }
    }
}

// Without a readable serial the machine keeps one made id; a readable serial wins.
TEST_F(LAIdentifierTest, WithoutASerialTheDeviceIdIsMadeOnceAndKept) {
    LAIdentifier::setSerialNumberSource([] { return std::nullopt; });
    auto first = LAIdentifier::hardwareID();
    EXPECT_EQ(LAIdentifier::hardwareID(), first);
    auto id = identifier();
    EXPECT_EQ(id->anonymousId(), first);
    EXPECT_EQ(id->identities().at("$identity_mac_uuid"), Value(first));

    LAIdentifier::setSerialNumberSource([] { return std::optional<std::string>("SERIAL-1"); });
    EXPECT_EQ(LAIdentifier::hardwareID(), "SERIAL-1");
    LAIdentifier::setSerialNumberSource(nullptr);
}

// A bound value gets the property-value warning from 8192 characters on, and is kept.
TEST_F(LAIdentifierTest, ALongBindValueIsWarnedAboutFrom8192Characters) {
    auto id = identifier();
    for (std::size_t length : {8191u, 8192u}) {
        testing::LALogCapture log;
        std::string value(length, 'v');
        EXPECT_TRUE(id->isValidForBind(Value("phone"), Value(value)));
        EXPECT_EQ(logged(log, value + "'s length is longer than 8192"), length == 8192) << length;
    }
}

TEST_F(LAIdentifierTest, IDMappingFillsNativeAndWebEvents) {
    auto id = identifier();
    LAIDMappingInterceptor node;
    auto run = [&](std::shared_ptr<LABaseEventObject> event) {
        auto data = std::make_shared<LAFlowData>();
        data->setEventObject(event);
        data->setIdentifier(id);
        node.processWithInput(data, [](const LAFlowDataPtr&) {});
        return event;
    };
    auto native = run(std::make_shared<LATrackEventObject>("buy"));
    EXPECT_EQ(native->distinctId, id->anonymousId());
    EXPECT_EQ(native->originalId, id->anonymousId());
    EXPECT_EQ(native->identities, id->identities());

    auto item = run(std::make_shared<LAItemEventObject>("item_set", "book", "42"));
    EXPECT_EQ(item->distinctId, std::nullopt);
    EXPECT_EQ(item->identities, std::nullopt);

    // A web sign-up whose distinct id is "K+V" and whose identities hold K = V logs in with K, V.
    auto signUp = std::make_shared<LASignUpEventObject>("$SignUp");
    signUp->setHybridH5(true);
    signUp->distinctId = "shop+v9";
    signUp->identities = Dictionary{{"shop", "v9"}};
    run(signUp);
    EXPECT_EQ(id->loginIDKey(), "shop");
    EXPECT_EQ(signUp->loginId, "shop+v9");

    // A web unbind whose first identity fails the check carries nothing and changes nothing.
    auto before = id->identities();
    auto unbind = std::make_shared<LAUnbindEventObject>("$UnbindID");
    unbind->setHybridH5(true);
    unbind->identities = Dictionary{{"$identity_login_id", "x"}};
    run(unbind);
    EXPECT_EQ(unbind->identities, Dictionary{});
    EXPECT_EQ(id->identities(), before);
}

TEST_F(LAIdentifierTest, SessionRule) {
    constexpr std::uint64_t t0 = 1'700'000'000'000;
    auto sessionAt = [](LASessionProperty& session, std::uint64_t t) {
        return *session.sessionPropertiesWithEventTime(t)["$event_session_id"].asString();
    };
    {
        LASessionProperty session(300'000);
        auto first = sessionAt(session, t0);
        EXPECT_EQ(sessionAt(session, t0 + 200'000), first);
        EXPECT_EQ(sessionAt(session, t0 + 450'000), first);  // no gap above 300 s
        EXPECT_NE(sessionAt(session, t0 + 750'001), first);  // 300.001 s after the last
        // An earlier event keeps the session and moves the last time back.
        auto current = sessionAt(session, t0 + 750'001);
        EXPECT_EQ(sessionAt(session, t0 + 700'000), current);
        EXPECT_EQ(session.sessionModel().lastEventTime, t0 + 700'000);
    }
    {
        // Every 4 minutes for 13 hours: one change, after 12 hours.
        LASessionProperty session(300'000);
        auto first = sessionAt(session, t0);
        int changes = 0;
        std::string current = first;
        for (std::uint64_t t = t0; t <= t0 + 13 * 3'600'000; t += 240'000) {
            auto id = sessionAt(session, t);
            if (id != current) {
                ++changes;
                EXPECT_GT(t, t0 + 43'200'000);
                current = id;
            }
        }
        EXPECT_EQ(changes, 1);
        // Stored: a new session property continues the session.
        LASessionProperty relaunched(300'000);
        EXPECT_EQ(relaunched.sessionModel().sessionID, current);
    }
    LASessionProperty::removeSessionModel();
    EXPECT_TRUE(store().objectForKey("LASessionModel").isNull());
}

}  // namespace
}  // namespace LumenAnalyticsSDK

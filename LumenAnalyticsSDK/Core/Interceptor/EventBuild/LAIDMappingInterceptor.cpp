// Identity fields of each event, and the login a web page's sign-up carries.
#include "LumenAnalyticsSDK/Core/Interceptor/EventBuild/LAIDMappingInterceptor.h"

#include "LumenAnalyticsSDK/Core/Builder/EventObject/LABaseEventObject.h"
#include "LumenAnalyticsSDK/Core/LAIdentifier.h"

namespace LumenAnalyticsSDK {

namespace {

struct LoginPair {
    std::string key, value;
};

// The login a web page's sign-up meant, from its distinct id D and its identities P.
std::optional<LoginPair> loginPairOfH5SignUp(const LABaseEventObject& event, const std::string& currentKey) {
    std::string distinct = event.distinctId.value_or("");
    if (!event.identities) return LoginPair{currentKey, distinct};
    const auto& identities = *event.identities;
    auto current = identities.find(currentKey);
    if (current != identities.end() && current->second.isString())
        return LoginPair{currentKey, *current->second.asString()};
    auto plus = distinct.find('+');
    if (plus != std::string::npos) {
        std::string first = distinct.substr(0, plus), rest = distinct.substr(plus + 1);
        auto bound = identities.find(first);
        if (bound != identities.end() && bound->second == platform::Value(rest)) return LoginPair{first, rest};
    }
    std::optional<LoginPair> only;
    int matches = 0;
    for (const auto& [key, value] : identities)
        if (value == platform::Value(distinct)) {
            ++matches;
            only = LoginPair{key, distinct};
        }
    if (matches == 1) return only;
    return std::nullopt;
}

}  // namespace

void LAIDMappingInterceptor::processWithInput(const LAFlowDataPtr& input, Completion completion) {
    auto event = input->eventObject();
    if (event && !(event->type & (LAEventTypeItemSet | LAEventTypeItemDelete))) {
        identifier = input->identifier();
        if (event->hybridH5() && event->isSignUp()) identifyTrackFromH5WithEventObject(*event);
        else identifyTrackWithEventObject(*event);
    }
    completion(input);
}

void LAIDMappingInterceptor::identifyTrackWithEventObject(LABaseEventObject& event) {
    auto id = identifier.lock();
    if (!id) return;
    event.distinctId = id->distinctId();
    event.anonymousId = id->anonymousId();
    event.originalId = event.anonymousId;
    if (event.hybridH5()) {
        auto login = id->loginId();
        if (login && !login->empty()) event.loginId = login;
        event.identities = id->mergeH5Identities(event.identities.value_or(platform::Value::Dictionary{}), event.type);
    } else {
        event.loginId = id->loginId();
        event.identities = id->identitiesWithEventType(event.type);
    }
}

void LAIDMappingInterceptor::identifyTrackFromH5WithEventObject(LABaseEventObject& event) {
    auto id = identifier.lock();
    if (!id) return;
    auto pair = loginPairOfH5SignUp(event, id->loginIDKey());
    if (!pair) {
        identifyTrackWithEventObject(event);
        return;
    }
    if (!id->isValidForLogin(platform::Value(pair->key), platform::Value(pair->value))) return;
    id->loginWithKey(pair->key, pair->value);
    event.loginId = pair->key == LAIdentityKeyLoginID ? pair->value : pair->key + "+" + pair->value;
    identifyTrackWithEventObject(event);
}

}  // namespace LumenAnalyticsSDK

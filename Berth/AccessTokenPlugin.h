// Adds an "Authorization" header with a token to requests of targets that ask for one.
#pragma once
#include <functional>
#include <optional>
#include <string>
#include <variant>

#include "Berth/Plugin.h"
#include "platform/base/CaseType.h"

namespace Berth {

struct AuthorizationTypeCases {
    struct Basic {};
    struct Bearer {};
    struct Custom {
        std::string value;
    };
    using Case = std::variant<Basic, Bearer, Custom>;
};

class AuthorizationType : public platform::CaseType<AuthorizationTypeCases> {
public:
    using CaseType::CaseType;

    static AuthorizationType basic() { return Basic{}; }
    static AuthorizationType bearer() { return Bearer{}; }
    static AuthorizationType custom(std::string value) { return Custom{std::move(value)}; }

    // The header word: "Basic", "Bearer", or the custom text.
    std::string value() const;
    friend bool operator==(const AuthorizationType& a, const AuthorizationType& b) { return a.value_() == b.value_(); }

private:
    std::pair<std::size_t, std::string> value_() const { return {case_.index(), value()}; }
};

// A target that may ask for a token; none means it asks for none.
class AccessTokenAuthorizable {
public:
    virtual ~AccessTokenAuthorizable() = default;
    virtual std::optional<AuthorizationType> authorizationType() const = 0;
};

class AccessTokenPlugin : public PluginType {
public:
    using TokenClosure = std::function<std::string(const TargetType&)>;
    explicit AccessTokenPlugin(TokenClosure tokenClosure) : tokenClosure(std::move(tokenClosure)) {}

    const TokenClosure tokenClosure;

    // Adds "<word> <token>" to the "Authorization" field (appended to one already there);
    // a multi-target's token is computed for the target inside it.
    platform::URLRequest prepare(const platform::URLRequest& request, const TargetType& target) override;
};

}  // namespace Berth

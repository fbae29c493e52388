// The token header of targets that ask for one.
#include "Berth/AccessTokenPlugin.h"

#include "Berth/MultiTarget.h"

namespace Berth {

std::string AuthorizationType::value() const {
    if (std::holds_alternative<Basic>(case_)) return "Basic";
    if (std::holds_alternative<Bearer>(case_)) return "Bearer";
    return std::get<Custom>(case_).value;
}

platform::URLRequest AccessTokenPlugin::prepare(const platform::URLRequest& request, const TargetType& target) {
    auto authorizable = dynamic_cast<const AccessTokenAuthorizable*>(&target);
    if (!authorizable) return request;
    auto type = authorizable->authorizationType();
    if (!type) return request;
    auto multi = dynamic_cast<const MultiTarget*>(&target);
    const TargetType& tokenTarget = multi ? multi->target() : target;
    platform::URLRequest changed = request;
    changed.addValue(type->value() + " " + tokenClosure(tokenTarget), "Authorization");
    return changed;
}

}  // namespace Berth

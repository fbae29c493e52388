// The wrapped target's authorization type, when it has one.
#include "Berth/MultiTarget.h"

namespace Berth {

std::optional<AuthorizationType> MultiTarget::authorizationType() const {
    auto authorizable = dynamic_cast<const AccessTokenAuthorizable*>(target_.get());
    return authorizable ? authorizable->authorizationType() : std::nullopt;
}

}  // namespace Berth

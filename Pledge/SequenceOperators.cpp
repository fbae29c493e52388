// The fatal stop of the guarantee joins, which cannot be rejected.
#include "Pledge/SequenceOperators.h"

namespace Pledge::detail {

void joinedGuaranteesRejected(const ErrorPtr& error, int line) {
    platform::fatal(errorText(error) + " (Pledge/Guarantee:" + std::to_string(line) + ")");
}

}  // namespace Pledge::detail

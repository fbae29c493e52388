// Storage of the global layout direction.
#include "Clasp/ConstraintConfig.h"

namespace Clasp {

int& ConstraintConfig::interfaceLayoutDirection() {
    static int direction = 0;  // initialised once, on first use
    return direction;
}

}  // namespace Clasp

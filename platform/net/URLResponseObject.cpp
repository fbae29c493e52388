// Registered at start-up so that the class is found by name.
#include "platform/net/URLResponseObject.h"

namespace platform {
PLATFORM_REGISTER_CLASS(URLResponseObject);
}  // namespace platform

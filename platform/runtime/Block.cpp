// Blocks are registered at start-up so that their class can be found by name.
#include "platform/runtime/Block.h"

namespace platform {
PLATFORM_REGISTER_CLASS(Block);
}  // namespace platform

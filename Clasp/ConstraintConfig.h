// The language's one global setting: the interface layout direction the leading and
// trailing insets follow (0 left to right, 1 right to left).
#pragma once

namespace Clasp {

struct ConstraintConfig {
    static int& interfaceLayoutDirection();
};

}  // namespace Clasp

// The one value of "no value": Promise<Void>, Result<Void> and friends use it.
#pragma once

namespace platform {

struct Void {
    friend constexpr bool operator==(Void, Void) { return true; }
};

}  // namespace platform

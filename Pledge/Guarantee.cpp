// Non-template parts of guarantees.
#include "Pledge/Guarantee.h"

#include "platform/base/Fatal.h"

namespace Pledge::detail {

void guaranteeBodyThrew() {
    std::string what = "unknown exception";
    try {
        throw;
    } catch (const std::exception& e) {
        what = e.what();
    } catch (...) {}
    platform::fatal("A guarantee's body threw (a guarantee cannot be rejected): " + what);
}

}  // namespace Pledge::detail

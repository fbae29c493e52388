#include "PlistLookups.h"

#include <dlfcn.h>
#include <plist/plist.h>

#include <atomic>
#include <cstdlib>

namespace {
std::atomic<std::uint64_t> itemsStepped{0};
}

// Takes the place of the library's own function in the executables that count (it is in
// the same object as the counter, so only they link it) and hands the call on to it.
extern "C" plist_t plist_array_get_item(plist_t node, uint32_t n) {
    using Lookup = plist_t (*)(plist_t, uint32_t);
    const auto library = reinterpret_cast<Lookup>(dlsym(RTLD_NEXT, "plist_array_get_item"));
    if (!library) std::abort();
    itemsStepped += std::uint64_t{n} + 1;
    return library(node, n);
}

namespace testing_support {
std::uint64_t plistItemsSteppedByIndex() { return itemsStepped; }
}  // namespace testing_support

// Shared by the property-list and keyed-archive readers and writers: ownership of
// libplist nodes and the reading of scalar nodes into values.
#pragma once
#include <plist/plist.h>

#include <memory>

#include "platform/base/Value.h"

namespace platform {

struct PlistFree {
    void operator()(void* p) const { plist_free(static_cast<plist_t>(p)); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

// Booleans, integers (64-bit two's complement, as written), reals, strings (invalid
// UTF-8 replaced, embedded NULs kept) and data; false for any other node.
bool plistScalarToValue(plist_t node, Value& out);

}  // namespace platform

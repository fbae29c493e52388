// Shared by the property-list and keyed-archive readers and writers: ownership of
// libplist nodes, the items of an array node, and the reading of scalar nodes into values.
#pragma once
#include <plist/plist.h>

#include <memory>
#include <vector>

#include "platform/base/Value.h"

namespace platform {

struct PlistFree {
    void operator()(void* p) const { plist_free(static_cast<plist_t>(p)); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

// The items of an array node in order, in one walk. The library finds an item by its index
// by stepping from the first, so reading an array by index took time in the square of its
// length; readers walk it once with this and index the vector.
std::vector<plist_t> plistArrayItems(plist_t array);

// Booleans, integers (64-bit two's complement, as written), reals, strings (invalid
// UTF-8 replaced, embedded NULs kept) and data; false for any other node.
bool plistScalarToValue(plist_t node, Value& out);

}  // namespace platform

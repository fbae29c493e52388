// Shared by the property-list and keyed-archive readers and writers: ownership of
// libplist nodes, the items of an array node, and the reading of scalar nodes into values.
#pragma once
#include <plist/plist.h>

#include <memory>
#include <vector>

#include "platform/base/FreedBy.h"
#include "platform/base/Value.h"

namespace platform {

using PlistPtr = FreedBy<void, plist_free>;

// The items of an array node in order, in one walk. The library finds an item by its index
// by stepping from the first, so reading an array by index took time in the square of its
// length; readers walk it once with this and index the vector.
std::vector<plist_t> plistArrayItems(plist_t array);

// Booleans, integers (64-bit two's complement, as written), reals, strings (invalid
// UTF-8 replaced, embedded NULs kept) and data; false for any other node.
bool plistScalarToValue(plist_t node, Value& out);

// The bytes a string or data node holds (0 for any other node): what reading it copies.
std::uint64_t plistContentBytes(plist_t node);

}  // namespace platform

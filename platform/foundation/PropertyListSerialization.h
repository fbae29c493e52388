// Property lists (XML and binary) <-> Value. Dates, data, integers, reals, Booleans,
// strings, arrays and dictionaries; null and objects cannot be written.
#pragma once
#include "platform/base/Data.h"
#include "platform/base/Result.h"
#include "platform/base/Value.h"
#include "platform/foundation/PlistPrescan.h"

namespace platform {

enum class PropertyListFormat { openStep = 1, xml = 100, binary = 200 };

class PropertyListSerialization {
public:
    using Format = PropertyListFormat;

    // Detects the format and stores it in `format` when given. Malformed input, and a list
    // past `limits` (shared objects counted at their full cost each time they are referred
    // to), is an error value (NSCocoaErrorDomain 3840). A caller reading outside input
    // gives limits that fit what it reads.
    static Result<Value> propertyList(const Data& data, PropertyListFormat* format = nullptr,
                                      const PlistLimits& limits = {});
    // XML or binary; a value that a property list cannot hold is an error value
    // (NSCocoaErrorDomain 3851). The open-step format cannot be written.
    static Result<Data> data(const Value& value, PropertyListFormat format);
    static bool propertyListIsValid(const Value& value);
};

}  // namespace platform

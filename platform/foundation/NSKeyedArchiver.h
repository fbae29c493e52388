// Keyed archives of values: the object graph of a Value (strings, numbers, Booleans,
// data, dates, arrays, sets and dictionaries) as a binary property list of the platform's
// keyed-archive form ("$archiver", "$version", "$top" with "root", and "$objects" whose
// first entry is "$null"; containers and dates refer to their members and class by UID).
// The one archive format of the project: whatever archives a value uses it.
#pragma once
#include "platform/base/Data.h"
#include "platform/base/Result.h"
#include "platform/base/Value.h"

namespace platform {

// Codes of archive errors (NSCocoaErrorDomain).
inline constexpr std::int64_t NSCoderReadCorruptError = 4864;
inline constexpr std::int64_t NSCoderInvalidValueError = 4866;

// The most values an archive is read at unless its reader gives another cap: the analytics
// store keeps a few hundred values in an archive; 262,144 leave room for far more while
// reading costs at most a few tens of MB.
inline constexpr std::uint64_t kMaxArchivedValues = 1u << 18;

class NSKeyedArchiver {
public:
    // A runtime object, or an unsigned integer beyond the signed 64-bit range, cannot be
    // archived: error NSCoderInvalidValueError.
    static Result<Data> archivedData(const Value& rootObject);
};

class NSKeyedUnarchiver {
public:
    // Data that is not a keyed archive of values (wrong shape, references out of range
    // or in a cycle, classes other than those above, dictionary keys that are not
    // strings) is error NSCoderReadCorruptError; nothing is thrown. So is an archive of
    // more than `maxValues` values, counted both in the property list (its shared objects
    // once per reference) and in the graph (an object once per reference to it), so the
    // cost of a read follows the cap and the bytes, not what a small archive stands for.
    static Result<Value> unarchivedObject(const Data& data, std::uint64_t maxValues = kMaxArchivedValues);
};

}  // namespace platform

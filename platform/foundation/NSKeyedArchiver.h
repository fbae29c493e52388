// Keyed archives of values: the object graph of a Value (strings, numbers, Booleans,
// data, dates, arrays, sets and dictionaries) as a binary property list of the platform's
// keyed-archive form ("$archiver", "$version", "$top" with "root", and "$objects" whose
// first entry is "$null"; containers and dates refer to their members and class by UID).
// The one archive format of the project: whatever archives a value uses it.
#pragma once
#include "platform/base/Data.h"
#include "platform/base/Result.h"
#include "platform/base/Value.h"
#include "platform/foundation/PlistPrescan.h"

namespace platform {

// Codes of archive errors (NSCocoaErrorDomain).
inline constexpr std::int64_t NSCoderReadCorruptError = 4864;
inline constexpr std::int64_t NSCoderInvalidValueError = 4866;

// The limits an archive is read at unless its reader gives others: the analytics store
// keeps a few hundred values in an archive of at most 4 MiB; 65,536 values leave room for
// far more, and the cost in bytes (PlistPrescan.h) is what such an archive costs when it
// refers to each object once: 8 MiB. A read within them keeps the updater's memory within
// a few tens of MB (libplist's nodes cost more than the 64 bytes a value is counted at).
inline constexpr std::uint64_t kMaxArchivedValues = 1u << 16;
inline constexpr std::uint64_t kMaxArchivedBytes = plistBytesBudget(4u << 20, kMaxArchivedValues);
inline constexpr PlistLimits kArchiveLimits{kMaxPlistNesting, kMaxArchivedValues, kMaxArchivedBytes};

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
    // strings) is error NSCoderReadCorruptError; nothing is thrown. So is an archive past
    // `limits` (more values, or values that cost more bytes), counted both in the property
    // list (its shared objects once per reference) and in the graph (an object at its full
    // cost once per reference to it), so the cost of a read follows the limits and the
    // bytes, not what a small archive stands for.
    static Result<Value> unarchivedObject(const Data& data, const PlistLimits& limits = kArchiveLimits);
};

}  // namespace platform

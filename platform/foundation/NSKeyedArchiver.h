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

// The limits an archive is read and written at unless its user gives others. `values` counts
// the values an archive stores: its root and each member of an array or set and each entry
// of a dictionary (a key is part of its entry), a value referred to again counted again;
// `bytes` counts what they cost as the reader makes them (PlistPrescan.h: kPlistValueBytes
// a value or key, a string's or data's bytes besides). The property list that holds them is
// read at most archiveListObjects(values) objects: each value is an object and a reference
// to it, a dictionary's key two more, beside the archive's frame. So 131,072 values take
// every archive the analytics store's earlier reader took (262,144 list objects, two or
// more a value), a dictionary of 65,536 entries of strings, numbers or data among them, and
// the budget is what an archive of 4 MiB and that many list objects costs when it refers to
// each object once: 20 MiB. A read at these limits costs libplist's nodes for up to
// 263,168 list objects, about 40 MB, besides the values it makes.
inline constexpr std::uint64_t archiveListObjects(std::uint64_t values) { return 2 * values + 1024; }
inline constexpr std::uint64_t kMaxArchivedValues = 1u << 17;
inline constexpr std::uint64_t kMaxArchivedBytes = plistBytesBudget(4u << 20, archiveListObjects(kMaxArchivedValues));
inline constexpr PlistLimits kArchiveLimits{kMaxPlistNesting, kMaxArchivedValues, kMaxArchivedBytes};

class NSKeyedArchiver {
public:
    // A runtime object, an unsigned integer beyond the signed 64-bit range, or a value past
    // `limits` as NSKeyedUnarchiver counts them (which it would refuse to read) cannot be
    // archived: error NSCoderInvalidValueError. Past its limits nothing more is built.
    static Result<Data> archivedData(const Value& rootObject, const PlistLimits& limits = kArchiveLimits);
};

class NSKeyedUnarchiver {
public:
    // Data that is not a keyed archive of values (wrong shape, references out of range
    // or in a cycle, classes other than those above, dictionary keys that are not
    // strings) is error NSCoderReadCorruptError; nothing is thrown. So is an archive past
    // `limits` (more values, or values that cost more bytes), counted both in the property
    // list (its shared objects once per reference, at most archiveListObjects(values)) and
    // in the graph (a value at its full cost once per reference to it), so the cost of a
    // read follows the limits and the bytes, not what a small archive stands for. Each
    // object is looked into once, however often it is referred to.
    static Result<Value> unarchivedObject(const Data& data, const PlistLimits& limits = kArchiveLimits);
};

namespace detail {
// For tests of the reader's work: the objects of "$objects" the last read on this thread
// decoded (a container, date or class description once, a scalar at each reference).
std::uint64_t archiveObjectsDecodedByLastRead();
}  // namespace detail

}  // namespace platform

// Checks run on property-list bytes before libplist parses them: the library aborts on
// some damaged input and recurses once per level of nesting, so input it cannot take
// safely is refused first. Each check is one pass over the bytes, without recursion.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

namespace platform {

// The deepest nesting of arrays and dictionaries (the root counts as the first level)
// that the property-list readers take.
constexpr std::size_t kMaxPlistNesting = 513;

bool isBinaryPlist(std::string_view bytes);
// A string or key holding a NUL character (which makes the library's getters abort).
bool plistHoldsNulInText(std::string_view bytes);
// The most values a list may stand for, for a reader not given a cap that fits what it
// reads: a few hundred bytes of a binary list that refer to one array twice, thirty times
// over, would otherwise make the library build a billion values.
constexpr std::uint64_t kMaxPlistValues = 1u << 21;

// What reading a list costs in bytes: each value counts kPlistValueBytes, data its bytes
// besides and a string or key the bytes it is read as (plistTextBytes): UTF-8 as it stands,
// each byte that is not UTF-8 as U+FFFD (3 bytes), a UTF-16 unit as 1 to 3 bytes (4 a
// pair). A binary list may refer to one object many times and the library copies it each
// time, so a list of a few hundred KB that refers thousands of times to one string of a MB
// would stand for gigabytes: the cost counts every reference at the object's full size.
constexpr std::uint64_t kPlistValueBytes = 64;
// The bytes a string or key of these bytes is read as: each byte that is not part of UTF-8
// becomes U+FFFD, 3 bytes.
std::uint64_t plistTextBytes(std::string_view text);
// The cost at which a list of at most `fileBytes` bytes and `values` values is read whole
// when it refers to each object once: what a reader of outside files gives as its budget.
constexpr std::uint64_t plistBytesBudget(std::uint64_t fileBytes, std::uint64_t values) {
    return fileBytes + values * kPlistValueBytes;
}
// The budget of a reader not given one that fits what it reads.
constexpr std::uint64_t kMaxPlistBytes = 32u << 20;

// What a reader takes: levels of nesting, values and their cost in bytes.
struct PlistLimits {
    std::size_t levels = kMaxPlistNesting;
    std::uint64_t values = kMaxPlistValues;
    std::uint64_t bytes = kMaxPlistBytes;
};

// More than `limits.levels` levels of nesting, more than `limits.values` values (a
// dictionary's keys among them; a binary list's once the objects it shares are expanded),
// or a cost past `limits.bytes` (a shared object counted at its full cost once per
// reference). The count stops as soon as it passes a limit, so time and memory follow the
// limits and the bytes, never what the list stands for. A binary list whose containers
// hold themselves, that refers past its object table, or whose trailer cannot be followed
// counts as over the limits.
bool plistExceedsLimits(std::string_view bytes, const PlistLimits& limits);

// Where the eight bytes of each date object of a binary list lie, once per place; nothing
// when an object marked as a date is not eight bytes long or lies outside the bytes.
std::optional<std::vector<std::size_t>> binaryPlistDateOffsets(std::string_view bytes);

// A tag of an XML list: from its "<" to just past its ">". Comments, CDATA sections and
// processing instructions are stepped over whole and are not tags.
struct XmlTag {
    enum class Kind { start, end, empty, declaration };
    std::size_t begin, end;
    Kind kind;
};
// Calls `visit` with each tag in order until it answers false; false when a tag, comment
// or section never ends.
bool forEachXmlTag(std::string_view x, const std::function<bool(const XmlTag&)>& visit);

}  // namespace platform

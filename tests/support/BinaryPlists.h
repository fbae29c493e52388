// Binary property lists built byte by byte, for tests of readers given lists no writer of
// ours would make: objects shared over and over, references past the table, and so on.
// Offsets and references are 4 bytes wide.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace testing_support {

// `v` in `bytes` bytes, most significant first.
std::string bigEndian(std::uint64_t v, int bytes);

// An array object of `refs` references to object `to`.
std::string binaryArray(std::uint64_t refs, std::uint32_t to);

// An array object of references to the given objects, in order.
std::string binaryArrayOf(const std::vector<std::uint32_t>& refs);

// A dictionary object of the given keys and values (references, in order).
std::string binaryDictionaryOf(const std::vector<std::uint32_t>& keys, const std::vector<std::uint32_t>& values);

// A list of the given objects, the first one the top.
std::string binaryPlist(const std::vector<std::string>& objects);

// An array that refers `outer` times to one array of `inner` Booleans: 1 + outer * (1 + inner)
// values in a few bytes per reference.
std::string sharedArrayPlist(std::uint64_t outer, std::uint64_t inner);

// A data object (`marker` 0x40), 8-bit string (0x50) or UTF-16 string (0x60) of `count`
// units, each `unit` (a byte, or two for UTF-16).
std::string binaryBlob(char marker, std::uint64_t count, std::string_view unit = "x");

// An array that refers `refs` times to one data object or string (`marker` and `unit` as
// above) of `count` units: a list of a few bytes per reference that a reader copying each
// reference expands to refs * count units.
std::string sharedBlobPlist(std::uint64_t refs, char marker, std::uint64_t count, std::string_view unit = "x");

// The most this process has held in memory so far, in bytes.
std::uint64_t peakResidentBytes();

}  // namespace testing_support

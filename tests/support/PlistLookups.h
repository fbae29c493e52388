// Counts the work the property-list library does to find array items by their index, so
// that a test of a reader can assert it walks arrays once instead of timing it.
#pragma once
#include <cstdint>

namespace testing_support {

// The items the library stepped over, in this process, to find array items by their index:
// it finds item n by stepping from the first, so each such lookup costs n + 1. A reader
// that looks items up by index takes time in the square of an array's length.
std::uint64_t plistItemsSteppedByIndex();

}  // namespace testing_support

// JSON text <-> Value. Reading never throws: malformed JSON is an error value in the
// Cocoa domain (code 3840) whose debug description says what and where; invalid
// UTF-8 is read as U+FFFD. Integers stay integers and Booleans stay Booleans;
// doubles are written in their shortest round-trip form.
#pragma once
#include <string>
#include <string_view>

#include "platform/base/Data.h"
#include "platform/base/OptionSet.h"
#include "platform/base/Result.h"
#include "platform/base/Value.h"

namespace platform {

struct JSONReadingOptions : OptionSet<JSONReadingOptions> {
    using OptionSet::OptionSet;
    constexpr JSONReadingOptions(OptionSet o) : OptionSet(o) {}
    static const JSONReadingOptions mutableContainers;  // no effect: values are copies
    static const JSONReadingOptions mutableLeaves;      // no effect
    static const JSONReadingOptions fragmentsAllowed;   // a top-level scalar is accepted
};
inline constexpr JSONReadingOptions JSONReadingOptions::mutableContainers{1};
inline constexpr JSONReadingOptions JSONReadingOptions::mutableLeaves{2};
inline constexpr JSONReadingOptions JSONReadingOptions::fragmentsAllowed{4};

struct JSONWritingOptions : OptionSet<JSONWritingOptions> {
    using OptionSet::OptionSet;
    constexpr JSONWritingOptions(OptionSet o) : OptionSet(o) {}
    // Two-space indentation and "key" : value, one member a line.
    static const JSONWritingOptions prettyPrinted;
    static const JSONWritingOptions sortedKeys;  // keys are always sorted: Value keeps them so
    static const JSONWritingOptions fragmentsAllowed;
    // "/" written as is; by default it is escaped as "\/".
    static const JSONWritingOptions withoutEscapingSlashes;
};
inline constexpr JSONWritingOptions JSONWritingOptions::prettyPrinted{1};
inline constexpr JSONWritingOptions JSONWritingOptions::sortedKeys{2};
inline constexpr JSONWritingOptions JSONWritingOptions::fragmentsAllowed{4};
inline constexpr JSONWritingOptions JSONWritingOptions::withoutEscapingSlashes{8};

// The code of every JSON reading and writing error (NSCocoaErrorDomain).
inline constexpr std::int64_t NSPropertyListReadCorruptError = 3840;

class JSONSerialization {
public:
    using ReadingOptions = JSONReadingOptions;
    using WritingOptions = JSONWritingOptions;

    static Result<Value> jsonObject(const Data& data, ReadingOptions options = {});
    static Result<Value> jsonObject(std::string_view text, ReadingOptions options = {});

    // True when `value` can be written: an array or dictionary at the top, inside only
    // null, Booleans, numbers (finite), strings, arrays and dictionaries.
    static bool isValidJSONObject(const Value& value);
    // An error value for what isValidJSONObject refuses (unless fragmentsAllowed
    // admits the scalar at the top); invalid UTF-8 in strings is written as U+FFFD.
    static Result<Data> data(const Value& value, WritingOptions options = {});
    static Result<std::string> string(const Value& value, WritingOptions options = {});
};

}  // namespace platform

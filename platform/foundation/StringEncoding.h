// Text encodings named by character-set names, with conversion between them and
// UTF-8. An encoding is its canonical name ("UTF-8", "ISO-8859-1", "UTF-16" …).
#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "platform/base/Data.h"

namespace platform {

class StringEncoding {
public:
    static StringEncoding utf8() { return StringEncoding("UTF-8"); }
    static StringEncoding ascii() { return StringEncoding("US-ASCII"); }
    static StringEncoding isoLatin1() { return StringEncoding("ISO-8859-1"); }
    static StringEncoding isoLatin2() { return StringEncoding("ISO-8859-2"); }
    static StringEncoding windowsCP1252() { return StringEncoding("WINDOWS-1252"); }
    // UTF-16 and UTF-32 without an order read a byte-order mark (big-endian without
    // one) and write one.
    static StringEncoding utf16() { return StringEncoding("UTF-16"); }
    static StringEncoding utf16BigEndian() { return StringEncoding("UTF-16BE"); }
    static StringEncoding utf16LittleEndian() { return StringEncoding("UTF-16LE"); }
    static StringEncoding utf32() { return StringEncoding("UTF-32"); }
    static StringEncoding utf32BigEndian() { return StringEncoding("UTF-32BE"); }
    static StringEncoding utf32LittleEndian() { return StringEncoding("UTF-32LE"); }

    // Any character-set name the system's converter knows (case-insensitive,
    // aliases included: "latin1", "cp1252", "Shift_JIS" …); none otherwise.
    static std::optional<StringEncoding> fromCharsetName(std::string_view name);

    const std::string& name() const { return name_; }
    std::string description() const { return name_; }

    // The bytes decoded to UTF-8; none when they are not valid in this encoding.
    std::optional<std::string> decode(const Data& bytes) const;
    // UTF-8 text encoded; none when a character cannot be represented.
    std::optional<Data> encode(std::string_view utf8) const;

    friend bool operator==(const StringEncoding&, const StringEncoding&) = default;

private:
    explicit StringEncoding(std::string name) : name_(std::move(name)) {}
    std::string name_;
};

}  // namespace platform

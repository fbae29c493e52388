// Sets of characters for percent-encoding, and the encoding helpers that use them.
// The URL sets hold ASCII characters only, as the platform defines them; a set may
// also admit characters beyond ASCII through a predicate.
#pragma once
#include <bitset>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

class CharacterSet {
public:
    CharacterSet() = default;
    // The ASCII characters of `chars` (other bytes are ignored).
    static CharacterSet fromCharacters(std::string_view chars);

    // Letters and digits of ASCII (and, for `alphanumerics`, of Unicode).
    static const CharacterSet& alphanumerics();
    static const CharacterSet& urlQueryAllowed();     // alnum and !$&'()*+,-./:;=?@_~
    static const CharacterSet& urlPathAllowed();      // alnum and !$&'()*+,-./:=@_~
    static const CharacterSet& urlHostAllowed();      // alnum and !$&'()*+,-.:;=[]_~
    static const CharacterSet& urlFragmentAllowed();  // alnum and !$&'()*+,-./:;=?@_~
    static const CharacterSet& urlUserAllowed();      // alnum and !$&'()*+,-.;=_~
    static const CharacterSet& urlPasswordAllowed();  // alnum and !$&'()*+,-.;=_~

    bool contains(char32_t c) const;
    CharacterSet inserting(std::string_view chars) const;
    CharacterSet removing(std::string_view chars) const;
    void insert(std::string_view chars);
    void remove(std::string_view chars);

private:
    std::bitset<128> ascii_;
    std::function<bool(char32_t)> beyondASCII_;  // empty: no character beyond ASCII
};

// Every byte of a character outside `allowed` becomes %XX (upper-case hex). Invalid
// UTF-8 bytes are encoded one by one, so the result is always plain ASCII.
std::string addingPercentEncoding(std::string_view text, const CharacterSet& allowed);
// Decodes every %XX; none when an escape is malformed or the bytes are not UTF-8.
std::optional<std::string> removingPercentEncoding(std::string_view text);

}  // namespace platform

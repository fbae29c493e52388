// Reading type encodings back into a result type and argument types.
#include "platform/runtime/TypeEncoding.h"

#include <cctype>
#include <cstring>

namespace platform {

namespace {

constexpr std::string_view qualifiers = "rnNoORVA";
constexpr std::string_view simpleCodes = "cislqCISLQfdBv*#:?";

// Skips to the character after the bracket that closes the one at `i`.
std::optional<std::size_t> skipBracketed(std::string_view s, std::size_t i, char open, char close) {
    int depth = 0;
    for (; i < s.size(); ++i) {
        if (s[i] == open) ++depth;
        else if (s[i] == close && --depth == 0) return i + 1;
    }
    return std::nullopt;
}

// The end of the one type that starts at `i`, or nothing when it is malformed.
std::optional<std::size_t> skipType(std::string_view s, std::size_t i) {
    while (i < s.size() && qualifiers.find(s[i]) != std::string_view::npos) ++i;
    if (i >= s.size()) return std::nullopt;
    char c = s[i];
    switch (c) {
        case '^': return skipType(s, i + 1);
        case '@':
            ++i;
            if (i < s.size() && s[i] == '?') {
                ++i;
                if (i < s.size() && s[i] == '<') return skipBracketed(s, i, '<', '>');
            } else if (i < s.size() && s[i] == '"') {
                auto end = s.find('"', i + 1);
                if (end == std::string_view::npos) return std::nullopt;
                return end + 1;
            }
            return i;
        case '{': return skipBracketed(s, i, '{', '}');
        case '(': return skipBracketed(s, i, '(', ')');
        case '[': return skipBracketed(s, i, '[', ']');
        case 'b':
            ++i;
            while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
            return i;
        default:
            if (simpleCodes.find(c) == std::string_view::npos) return std::nullopt;
            return i + 1;
    }
}

}  // namespace

std::optional<MethodSignature> MethodSignature::parse(std::string_view types) {
    MethodSignature signature;
    std::size_t i = 0;
    bool first = true;
    while (i < types.size()) {
        auto end = skipType(types, i);
        if (!end) return std::nullopt;
        std::string type(types.substr(i, *end - i));
        (first ? signature.returnType_ : signature.argumentTypes_.emplace_back()) = std::move(type);
        first = false;
        i = *end;
        // Frame offsets may follow each type.
        if (i < types.size() && types[i] == '-') ++i;
        while (i < types.size() && std::isdigit(static_cast<unsigned char>(types[i]))) ++i;
    }
    if (first) return std::nullopt;
    return signature;
}

}  // namespace platform

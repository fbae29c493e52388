// Non-template helpers of the text forms.
#include "Pledge/Describe.h"

#include <charconv>
#include <cmath>

namespace Pledge::detail {

std::string unqualifiedName(std::string_view pretty) {
    // g++ spells it "... [with T = ns::Type<int>; ...]" or "... [with T = ns::Type]".
    auto start = pretty.find("T = ");
    if (start == std::string_view::npos) return std::string(pretty);
    start += 4;
    int depth = 0;
    std::size_t end = start;
    std::size_t nameStart = start;
    for (; end < pretty.size(); ++end) {
        char c = pretty[end];
        if (c == '<' || c == '(') ++depth;
        else if (c == '>' || c == ')') --depth;
        else if (depth == 0 && (c == ';' || c == ']')) break;
        else if (depth == 0 && c == ':' && end + 1 < pretty.size() && pretty[end + 1] == ':') {
            nameStart = end + 2;
            ++end;
        }
    }
    return std::string(pretty.substr(nameStart, end - nameStart));
}

std::string describeDouble(double value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    char buffer[64];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    std::string text(buffer, end);
    if (text.find_first_of(".e") == std::string::npos) text += ".0";
    return text;
}

std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            case '\r': out += "\\r"; break;
            default: out += c;
        }
    }
    return out + "\"";
}

}  // namespace Pledge::detail

#include "platform/net/ResponseHeaderLine.h"

#include "platform/base/Trim.h"

namespace platform {
namespace {

std::string_view trimLine(std::string_view s) { return trimmed(s, " \t\r\n"); }

// The three digits after the protocol; 0 unless all three are digits.
int statusCodeOf(std::string_view afterSpace) {
    if (afterSpace.size() < 3) return 0;
    int code = 0;
    for (char c : afterSpace.substr(0, 3)) {
        if (c < '0' || c > '9') return 0;
        code = code * 10 + (c - '0');
    }
    return code;
}

}  // namespace

ResponseHeaderLine ResponseHeaderLine::parse(std::string_view line) {
    ResponseHeaderLine parsed;
    if (line.starts_with("HTTP/")) {
        parsed.kind = Kind::statusLine;
        const auto space = line.find(' ');
        parsed.httpVersion = std::string(trimLine(line.substr(0, space)));
        if (space != std::string_view::npos) parsed.statusCode = statusCodeOf(line.substr(space + 1));
        return parsed;
    }
    const auto content = trimLine(line);
    if (content.empty()) {
        parsed.kind = Kind::end;
        return parsed;
    }
    const auto colon = content.find(':');
    if (colon == std::string_view::npos || colon == 0) return parsed;  // not a field
    parsed.kind = Kind::field;
    parsed.name = std::string(trimLine(content.substr(0, colon)));
    parsed.value = std::string(trimLine(content.substr(colon + 1)));
    return parsed;
}

}  // namespace platform

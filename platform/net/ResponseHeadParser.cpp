#include "platform/net/ResponseHeadParser.h"

#include <cstdlib>

#include "platform/base/Trim.h"

namespace platform {

namespace {

// A header line without its surrounding spaces, tabs and line ends.
std::string_view trim(std::string_view s) { return trimmed(s, " \t\r\n"); }

bool isFolded(std::string_view line) { return !line.empty() && (line[0] == ' ' || line[0] == '\t'); }

}  // namespace

ResponseHeadParser::Outcome ResponseHeadParser::take(std::string_view line) {
    headBytes_ += line.size();
    if (headBytes_ > maxHeadBytes) return Outcome::tooLarge;
    if (line.rfind("HTTP/", 0) == 0) {
        startAnswer(line);
        return Outcome::more;
    }
    auto content = trim(line);
    if (content.empty()) {
        closeOpenField();
        return status_ >= 200 ? Outcome::headComplete : Outcome::more;
    }
    if (continuesOpenField(line, content)) return Outcome::more;
    closeOpenField();
    openField(content);
    return Outcome::more;
}

void ResponseHeadParser::reset() {
    status_ = 0;
    httpVersion_.clear();
    fields_ = HTTPHeaderFields();
    headBytes_ = 0;
    openField_.reset();
}

HTTPURLResponsePtr ResponseHeadParser::response(const URL& url) const {
    return std::make_shared<HTTPURLResponse>(url, status_, httpVersion_, fields_);
}

void ResponseHeadParser::startAnswer(std::string_view statusLine) {
    fields_ = HTTPHeaderFields();
    openField_.reset();
    headBytes_ = statusLine.size();
    auto space = statusLine.find(' ');
    httpVersion_ = std::string(trim(statusLine.substr(0, space)));
    status_ = space == std::string_view::npos ? 0 : std::atoi(std::string(statusLine.substr(space + 1, 3)).c_str());
}

// A folded line is one space joined to the value it continues.
bool ResponseHeadParser::continuesOpenField(std::string_view line, std::string_view content) {
    if (!isFolded(line) || !openField_) return false;
    auto& value = openField_->second;
    if (!value.empty()) value += ' ';
    value += content;
    return true;
}

void ResponseHeadParser::openField(std::string_view content) {
    auto colon = content.find(':');
    if (colon == std::string_view::npos || colon == 0) return;  // not a field: ignored
    openField_.emplace(std::string(trim(content.substr(0, colon))), std::string(trim(content.substr(colon + 1))));
}

void ResponseHeadParser::closeOpenField() {
    if (!openField_) return;
    auto [name, value] = std::move(*openField_);
    openField_.reset();
    if (onField_) onField_(name, value);
    fields_.add(name, value);
}

}  // namespace platform

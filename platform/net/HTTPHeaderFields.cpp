// Case-insensitive, order-keeping header fields.
#include "platform/net/HTTPHeaderFields.h"

#include <algorithm>

namespace platform {

namespace {
char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
}  // namespace

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

std::string lowercased(std::string_view text) {
    std::string out(text);
    for (auto& c : out) c = lower(c);
    return out;
}

HTTPHeaderFields::HTTPHeaderFields(std::initializer_list<std::pair<std::string, std::string>> fields) {
    for (auto& [name, value] : fields) set(name, value);
}

std::optional<std::string> HTTPHeaderFields::value(std::string_view name) const {
    for (auto& [n, v] : fields_)
        if (equalsIgnoringCase(n, name)) return v;
    return std::nullopt;
}

void HTTPHeaderFields::set(const std::string& name, std::optional<std::string> value) {
    auto it =
        std::find_if(fields_.begin(), fields_.end(), [&](const auto& f) { return equalsIgnoringCase(f.first, name); });
    if (!value) {
        if (it != fields_.end()) fields_.erase(it);
        return;
    }
    if (it != fields_.end()) it->second = std::move(*value);
    else fields_.emplace_back(name, std::move(*value));
}

void HTTPHeaderFields::add(const std::string& name, const std::string& value) {
    auto current = this->value(name);
    set(name, current ? *current + ", " + value : value);
}

void HTTPHeaderFields::remove(std::string_view name) { set(std::string(name), std::nullopt); }

std::map<std::string, std::string> HTTPHeaderFields::dictionary() const {
    return std::map<std::string, std::string>(fields_.begin(), fields_.end());
}

bool isUnsafeHeaderName(std::string_view name) {
    if (name.empty()) return true;
    return name.find_first_of(std::string_view(":\r\n\t \0", 6)) != std::string_view::npos;
}

bool isUnsafeHeaderValue(std::string_view value) {
    return value.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

}  // namespace platform

// Header fields of a request or response: names keep their spelling and order, and
// match without regard to letter case, as HTTP says.
#pragma once
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

bool equalsIgnoringCase(std::string_view a, std::string_view b);
std::string lowercased(std::string_view text);

class HTTPHeaderFields {
public:
    HTTPHeaderFields() = default;
    HTTPHeaderFields(std::initializer_list<std::pair<std::string, std::string>> fields);

    std::optional<std::string> value(std::string_view name) const;
    // Replaces the field (first spelling kept); an absent value removes it.
    void set(const std::string& name, std::optional<std::string> value);
    // Appends to an existing field with ", ", or adds it.
    void add(const std::string& name, const std::string& value);
    void remove(std::string_view name);
    bool contains(std::string_view name) const { return value(name).has_value(); }

    const std::vector<std::pair<std::string, std::string>>& fields() const { return fields_; }
    std::map<std::string, std::string> dictionary() const;
    bool isEmpty() const { return fields_.empty(); }
    std::size_t count() const { return fields_.size(); }

    friend bool operator==(const HTTPHeaderFields&, const HTTPHeaderFields&) = default;

private:
    std::vector<std::pair<std::string, std::string>> fields_;
};

// True when a header name or value would break the request line structure: a CR, LF or
// NUL anywhere, or a name that is empty or holds a colon or white space.
bool isUnsafeHeaderName(std::string_view name);
bool isUnsafeHeaderValue(std::string_view value);

}  // namespace platform

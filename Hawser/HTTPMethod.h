// The method of an HTTP request, as the text sent on the request line.
#pragma once
#include <functional>
#include <string>

namespace Hawser {

struct HTTPMethod {
    std::string rawValue;

    HTTPMethod() = default;
    // Any text is a method; nothing is checked or changed.
    explicit HTTPMethod(std::string raw) : rawValue(std::move(raw)) {}

    static const HTTPMethod connect;
    // `delete` is a keyword here, hence the underscore.
    static const HTTPMethod delete_;
    static const HTTPMethod get;
    static const HTTPMethod head;
    static const HTTPMethod options;
    static const HTTPMethod patch;
    static const HTTPMethod post;
    static const HTTPMethod put;
    static const HTTPMethod query;
    static const HTTPMethod trace;

    const std::string& description() const { return rawValue; }

    // Case-sensitive, by the raw text.
    friend bool operator==(const HTTPMethod&, const HTTPMethod&) = default;
    friend auto operator<=>(const HTTPMethod& a, const HTTPMethod& b) { return a.rawValue <=> b.rawValue; }
};

// Inline definitions, so every file that includes this header sees them initialised
// before its own static objects.
inline const HTTPMethod HTTPMethod::connect{"CONNECT"};
inline const HTTPMethod HTTPMethod::delete_{"DELETE"};
inline const HTTPMethod HTTPMethod::get{"GET"};
inline const HTTPMethod HTTPMethod::head{"HEAD"};
inline const HTTPMethod HTTPMethod::options{"OPTIONS"};
inline const HTTPMethod HTTPMethod::patch{"PATCH"};
inline const HTTPMethod HTTPMethod::post{"POST"};
inline const HTTPMethod HTTPMethod::put{"PUT"};
inline const HTTPMethod HTTPMethod::query{"QUERY"};
inline const HTTPMethod HTTPMethod::trace{"TRACE"};

}  // namespace Hawser

template <>
struct std::hash<Hawser::HTTPMethod> {
    std::size_t operator()(const Hawser::HTTPMethod& m) const noexcept { return std::hash<std::string>()(m.rawValue); }
};

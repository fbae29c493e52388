// The tree a value becomes on its way to form text: every scalar is a text leaf at its
// coding path; arrays and objects exist only where the paths of leaves need them.
#pragma once
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "platform/foundation/CodingError.h"

namespace Hawser {

class URLEncodedFormComponent {
public:
    struct Entry;
    using Array = std::vector<URLEncodedFormComponent>;
    using Object = std::vector<Entry>;

    // Defined below, once Entry is complete: each of these may make or destroy entries.
    URLEncodedFormComponent();
    URLEncodedFormComponent(const URLEncodedFormComponent&);
    URLEncodedFormComponent(URLEncodedFormComponent&&) noexcept;
    URLEncodedFormComponent& operator=(const URLEncodedFormComponent&);
    URLEncodedFormComponent& operator=(URLEncodedFormComponent&&) noexcept;
    ~URLEncodedFormComponent();
    static URLEncodedFormComponent string(std::string text) { return URLEncodedFormComponent(std::move(text)); }
    static URLEncodedFormComponent array(Array elements) { return URLEncodedFormComponent(std::move(elements)); }
    static URLEncodedFormComponent object(Object entries);

    const std::string* stringValue() const { return std::get_if<std::string>(&value_); }
    const Array* array() const { return std::get_if<Array>(&value_); }
    const Object* object() const { return std::get_if<Object>(&value_); }

    // Places `value` at `path`: an integer key is an array index, any other key an
    // object entry; a node of the wrong kind is replaced, a later write replaces an
    // earlier one in place, and an index past the end appends.
    void set(URLEncodedFormComponent value, const platform::CodingPath& path) {
        set(std::move(value), path.begin(), path.end());
    }

    // string("a"), array([...]), object([("k", ...)]): for error messages.
    std::string description() const;

    friend bool operator==(const URLEncodedFormComponent&, const URLEncodedFormComponent&);

private:
    template <class V>
    explicit URLEncodedFormComponent(V v) : value_(std::move(v)) {}
    void set(URLEncodedFormComponent value, platform::CodingPath::const_iterator head,
             platform::CodingPath::const_iterator end);
    // The node under `key`, made empty when missing; a node of the wrong kind becomes an
    // empty one of the right kind first.
    URLEncodedFormComponent& child(const platform::CodingKey& key);

    std::variant<std::string, Array, Object> value_;
};

struct URLEncodedFormComponent::Entry {
    std::string key;
    URLEncodedFormComponent value;
    friend bool operator==(const Entry&, const Entry&) = default;
};

inline URLEncodedFormComponent::URLEncodedFormComponent() : value_(Object{}) {}
inline URLEncodedFormComponent::URLEncodedFormComponent(const URLEncodedFormComponent&) = default;
inline URLEncodedFormComponent::URLEncodedFormComponent(URLEncodedFormComponent&&) noexcept = default;
inline URLEncodedFormComponent& URLEncodedFormComponent::operator=(const URLEncodedFormComponent&) = default;
inline URLEncodedFormComponent& URLEncodedFormComponent::operator=(URLEncodedFormComponent&&) noexcept = default;
inline URLEncodedFormComponent::~URLEncodedFormComponent() = default;
inline URLEncodedFormComponent URLEncodedFormComponent::object(Object entries) {
    return URLEncodedFormComponent(std::move(entries));
}

inline bool operator==(const URLEncodedFormComponent& a, const URLEncodedFormComponent& b) {
    return a.value_ == b.value_;
}

// The one tree of an encoding, shared by the encoder and every container it makes.
struct URLEncodedFormContext {
    URLEncodedFormComponent component;
};

}  // namespace Hawser

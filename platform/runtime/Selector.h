// Selectors: method names interned once per process, so comparing two is comparing
// two pointers. "setTitle:forState:" takes two arguments, one per colon.
#pragma once
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace platform {

class Selector {
public:
    Selector() = default;  // the null selector
    Selector(std::string_view name);
    Selector(const char* name) : Selector(std::string_view(name)) {}
    Selector(const std::string& name) : Selector(std::string_view(name)) {}

    const std::string& name() const;
    bool isNull() const { return name_ == nullptr; }
    explicit operator bool() const { return name_ != nullptr; }
    // Arguments a message with this selector takes: the number of colons.
    std::size_t argumentCount() const;

    friend bool operator==(Selector a, Selector b) { return a.name_ == b.name_; }
    std::size_t hash() const { return std::hash<const void*>()(name_); }

private:
    const std::string* name_ = nullptr;
};

}  // namespace platform

template <>
struct std::hash<platform::Selector> {
    std::size_t operator()(platform::Selector s) const { return s.hash(); }
};

// The one dynamic value: JSON and property-list values, user info, `[String: Any]`.
// Booleans are never confused with numbers; dictionaries are ordered by key.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/base/Data.h"
#include "platform/base/Date.h"

namespace platform {

class Object;  // the object runtime's base class
using ObjectPtr = std::shared_ptr<Object>;

class Value {
public:
    using Array = std::vector<Value>;
    using Dictionary = std::map<std::string, Value>;
    // A set keeps its members unique and sorted.
    struct Set {
        std::vector<Value> members;
        bool insert(Value v);
        bool contains(const Value& v) const;
        friend bool operator==(const Set&, const Set&) = default;
    };
    struct Null {
        friend bool operator==(Null, Null) { return true; }
    };
    // The order of kinds is fixed; `kind()` answers it.
    enum class Kind { null, boolean, int64, uint64, real, string, data, date, array, set, dictionary, object };

    Value() = default;
    Value(std::nullptr_t) {}
    Value(bool b) : storage_(b) {}
    Value(int i) : storage_(static_cast<std::int64_t>(i)) {}
    Value(long i) : storage_(static_cast<std::int64_t>(i)) {}
    Value(long long i) : storage_(static_cast<std::int64_t>(i)) {}
    Value(unsigned u) : storage_(static_cast<std::int64_t>(u)) {}
    Value(unsigned long u) : storage_(static_cast<std::uint64_t>(u)) {}
    Value(unsigned long long u) : storage_(static_cast<std::uint64_t>(u)) {}
    Value(double d) : storage_(d) {}
    Value(float f) : storage_(static_cast<double>(f)) {}
    Value(const char* s) : storage_(std::string(s)) {}
    Value(std::string s) : storage_(std::move(s)) {}
    Value(std::string_view s) : storage_(std::string(s)) {}
    Value(Data d) : storage_(std::move(d)) {}
    Value(Date d) : storage_(d) {}
    Value(Array a) : storage_(std::move(a)) {}
    Value(Set s) : storage_(std::move(s)) {}
    Value(Dictionary d) : storage_(std::move(d)) {}
    Value(ObjectPtr o) : storage_(std::move(o)) {}
    template <class T, class = std::enable_if_t<std::is_base_of_v<Object, T>>>
    Value(std::shared_ptr<T> o) : storage_(ObjectPtr(std::move(o))) {}

    Kind kind() const { return static_cast<Kind>(storage_.index()); }
    bool isNull() const { return kind() == Kind::null; }
    bool isBool() const { return kind() == Kind::boolean; }
    // Any of int64, uint64 or real; never a Boolean.
    bool isNumber() const;
    bool isInteger() const { return kind() == Kind::int64 || kind() == Kind::uint64; }
    bool isString() const { return kind() == Kind::string; }
    bool isData() const { return kind() == Kind::data; }
    bool isDate() const { return kind() == Kind::date; }
    bool isArray() const { return kind() == Kind::array; }
    bool isSet() const { return kind() == Kind::set; }
    bool isDictionary() const { return kind() == Kind::dictionary; }
    bool isObject() const { return kind() == Kind::object; }

    std::optional<bool> asBool() const;
    // Numbers convert when the value fits; a Boolean is not a number.
    std::optional<std::int64_t> asInt64() const;
    std::optional<std::uint64_t> asUInt64() const;
    std::optional<double> asDouble() const;
    const std::string* asString() const { return std::get_if<std::string>(&storage_); }
    const Data* asData() const { return std::get_if<Data>(&storage_); }
    const Date* asDate() const { return std::get_if<Date>(&storage_); }
    const Array* asArray() const { return std::get_if<Array>(&storage_); }
    Array* asArray() { return std::get_if<Array>(&storage_); }
    const Set* asSet() const { return std::get_if<Set>(&storage_); }
    const Dictionary* asDictionary() const { return std::get_if<Dictionary>(&storage_); }
    Dictionary* asDictionary() { return std::get_if<Dictionary>(&storage_); }
    ObjectPtr asObject() const;
    template <class T>
    std::shared_ptr<T> asObject() const {
        return std::dynamic_pointer_cast<T>(asObject());
    }

    std::string stringValue(std::string fallback = {}) const {
        auto s = asString();
        return s ? *s : fallback;
    }

    // Dictionary look-up; a missing key or a non-dictionary reads as null.
    const Value& operator[](const std::string& key) const;
    // Turns a null value into a dictionary on first use.
    Value& operator[](const std::string& key);
    bool contains(const std::string& key) const;
    std::size_t count() const;  // elements of a container, else 0

    // The platform's type name for messages: "String", "Int", "Bool", "Array" …
    std::string typeName() const;

    friend bool operator==(const Value& a, const Value& b);
    friend bool operator<(const Value& a, const Value& b);  // a total order for sets

private:
    std::variant<Null, bool, std::int64_t, std::uint64_t, double, std::string, Data, Date, Array, Set, Dictionary,
                 ObjectPtr>
        storage_;
};

}  // namespace platform

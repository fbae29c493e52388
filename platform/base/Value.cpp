#include "platform/base/Value.h"
#include "platform/base/NoDestructor.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace platform {

bool Value::Set::insert(Value v) {
    auto at = std::lower_bound(members.begin(), members.end(), v);
    if (at != members.end() && *at == v) return false;
    members.insert(at, std::move(v));
    return true;
}

bool Value::Set::contains(const Value& v) const { return std::binary_search(members.begin(), members.end(), v); }

bool Value::isNumber() const { return kind() == Kind::int64 || kind() == Kind::uint64 || kind() == Kind::real; }

std::optional<bool> Value::asBool() const {
    if (auto b = std::get_if<bool>(&storage_)) return *b;
    return std::nullopt;
}

std::optional<std::int64_t> Value::asInt64() const {
    if (auto i = std::get_if<std::int64_t>(&storage_)) return *i;
    if (auto u = std::get_if<std::uint64_t>(&storage_)) {
        if (*u <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
            return static_cast<std::int64_t>(*u);
        return std::nullopt;
    }
    if (auto d = std::get_if<double>(&storage_)) {
        if (std::isfinite(*d) && *d == std::trunc(*d) && *d >= -9223372036854775808.0 && *d < 9223372036854775808.0)
            return static_cast<std::int64_t>(*d);
    }
    return std::nullopt;
}

std::optional<std::uint64_t> Value::asUInt64() const {
    if (auto u = std::get_if<std::uint64_t>(&storage_)) return *u;
    if (auto i = std::get_if<std::int64_t>(&storage_)) {
        if (*i >= 0) return static_cast<std::uint64_t>(*i);
        return std::nullopt;
    }
    if (auto d = std::get_if<double>(&storage_)) {
        if (std::isfinite(*d) && *d == std::trunc(*d) && *d >= 0 && *d < 18446744073709551616.0)
            return static_cast<std::uint64_t>(*d);
    }
    return std::nullopt;
}

std::optional<double> Value::asDouble() const {
    if (auto d = std::get_if<double>(&storage_)) return *d;
    if (auto i = std::get_if<std::int64_t>(&storage_)) return static_cast<double>(*i);
    if (auto u = std::get_if<std::uint64_t>(&storage_)) return static_cast<double>(*u);
    return std::nullopt;
}

ObjectPtr Value::asObject() const {
    if (auto o = std::get_if<ObjectPtr>(&storage_)) return *o;
    return nullptr;
}

const Value& Value::operator[](const std::string& key) const {
    static const NoDestructor<Value> null;
    if (auto d = asDictionary()) {
        auto it = d->find(key);
        if (it != d->end()) return it->second;
    }
    return *null;
}

Value& Value::operator[](const std::string& key) {
    if (isNull()) storage_ = Dictionary{};
    if (auto d = asDictionary()) return (*d)[key];
    static thread_local Value scratch;  // writes to a non-dictionary go nowhere
    scratch = Value();
    return scratch;
}

bool Value::contains(const std::string& key) const {
    auto d = asDictionary();
    return d && d->count(key) > 0;
}

std::size_t Value::count() const {
    if (auto a = asArray()) return a->size();
    if (auto s = asSet()) return s->members.size();
    if (auto d = asDictionary()) return d->size();
    return 0;
}

std::string Value::typeName() const {
    switch (kind()) {
        case Kind::null: return "NSNull";
        case Kind::boolean: return "Bool";
        case Kind::int64: return "Int";
        case Kind::uint64: return "UInt";
        case Kind::real: return "Double";
        case Kind::string: return "String";
        case Kind::data: return "Data";
        case Kind::date: return "Date";
        case Kind::array: return "Array";
        case Kind::set: return "Set";
        case Kind::dictionary: return "Dictionary";
        case Kind::object: return "Object";
    }
    return "Value";
}

namespace {
// Numbers of different kinds compare by value, as bridged numbers do.
int compareNumbers(const Value& a, const Value& b) {
    if (a.kind() != Value::Kind::real && b.kind() != Value::Kind::real) {
        auto ai = a.asInt64(), bi = b.asInt64();
        if (ai && bi) return *ai < *bi ? -1 : (*ai > *bi ? 1 : 0);
        auto au = a.asUInt64(), bu = b.asUInt64();
        if (au && bu) return *au < *bu ? -1 : (*au > *bu ? 1 : 0);
        return ai ? -1 : 1;  // one negative, one beyond int64
    }
    double x = *a.asDouble(), y = *b.asDouble();
    return x < y ? -1 : (x > y ? 1 : 0);
}
}  // namespace

bool operator==(const Value& a, const Value& b) {
    if (a.isNumber() && b.isNumber()) return compareNumbers(a, b) == 0;
    return a.storage_ == b.storage_;
}

bool operator<(const Value& a, const Value& b) {
    if (a.isNumber() && b.isNumber()) return compareNumbers(a, b) < 0;
    if (a.kind() != b.kind()) return a.kind() < b.kind();
    switch (a.kind()) {
        case Value::Kind::null: return false;
        case Value::Kind::boolean: return *a.asBool() < *b.asBool();
        case Value::Kind::string: return *a.asString() < *b.asString();
        case Value::Kind::data: return *a.asData() < *b.asData();
        case Value::Kind::date: return *a.asDate() < *b.asDate();
        case Value::Kind::array: return *a.asArray() < *b.asArray();
        case Value::Kind::set: return a.asSet()->members < b.asSet()->members;
        case Value::Kind::dictionary: return *a.asDictionary() < *b.asDictionary();
        case Value::Kind::object: return a.asObject() < b.asObject();
        default: return false;
    }
}

}  // namespace platform

// The platform's names of types, for descriptions and error messages:
// TypeName<int>::name() is "Int", TypeName<std::vector<std::string>>::name() is
// "Array<String>". A type of ours names itself by specialising TypeName or by a
// static member function `typeName()`.
#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <vector>

#include "platform/base/Data.h"
#include "platform/base/Date.h"
#include "platform/base/Value.h"

namespace platform {

// The unqualified C++ name of a type, for types that give no name of their own.
std::string demangledTypeName(const char* mangled);

template <class T, class = void>
struct TypeName {
    static std::string name() {
        if constexpr (requires {
                          { T::typeName() } -> std::convertible_to<std::string>;
                      })
            return T::typeName();
        else return demangledTypeName(typeid(T).name());
    }
};

#define PLATFORM_TYPE_NAME(T, N)                                                                                       \
    template <>                                                                                                        \
    struct TypeName<T> {                                                                                               \
        static std::string name() { return N; }                                                                        \
    };
PLATFORM_TYPE_NAME(bool, "Bool")
PLATFORM_TYPE_NAME(std::int8_t, "Int8")
PLATFORM_TYPE_NAME(std::int16_t, "Int16")
PLATFORM_TYPE_NAME(int, "Int")
PLATFORM_TYPE_NAME(long, "Int")
PLATFORM_TYPE_NAME(long long, "Int")
PLATFORM_TYPE_NAME(std::uint8_t, "UInt8")
PLATFORM_TYPE_NAME(std::uint16_t, "UInt16")
PLATFORM_TYPE_NAME(unsigned, "UInt")
PLATFORM_TYPE_NAME(unsigned long, "UInt")
PLATFORM_TYPE_NAME(unsigned long long, "UInt")
PLATFORM_TYPE_NAME(double, "Double")
PLATFORM_TYPE_NAME(float, "Float")
PLATFORM_TYPE_NAME(std::string, "String")
PLATFORM_TYPE_NAME(Data, "Data")
PLATFORM_TYPE_NAME(Date, "Date")
PLATFORM_TYPE_NAME(Value, "Any")
#undef PLATFORM_TYPE_NAME

template <class T>
struct TypeName<std::optional<T>> {
    static std::string name() { return "Optional<" + TypeName<T>::name() + ">"; }
};
template <class T>
struct TypeName<std::vector<T>> {
    static std::string name() { return "Array<" + TypeName<T>::name() + ">"; }
};
template <class T>
struct TypeName<std::set<T>> {
    static std::string name() { return "Set<" + TypeName<T>::name() + ">"; }
};
template <class K, class V>
struct TypeName<std::map<K, V>> {
    static std::string name() { return "Dictionary<" + TypeName<K>::name() + ", " + TypeName<V>::name() + ">"; }
};

template <class T>
std::string typeName() {
    return TypeName<std::remove_cvref_t<T>>::name();
}

}  // namespace platform

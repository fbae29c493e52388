// Conversions between `Value` (how arguments and results cross the runtime) and the
// C++ types of typed methods and blocks. A missing or mistyped argument reads as the
// type's empty value (0, false, "", null), as a nil message argument would.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>

#include "platform/base/Error.h"
#include "platform/base/NoDestructor.h"
#include "platform/base/Value.h"
#include "platform/runtime/Selector.h"

namespace platform {

// Types with no Value form (structures, say) come back as null and go in as T{}.
template <class T, class = void>
struct ValueBridge {
    static T from(const Value&) { return T{}; }
    static Value to(const T&) { return Value(); }
};

template <>
struct ValueBridge<Value> {
    static Value from(const Value& v) { return v; }
    static Value to(Value v) { return v; }
};
template <>
struct ValueBridge<bool> {
    static bool from(const Value& v) {
        if (auto b = v.asBool()) return *b;
        return v.asInt64().value_or(0) != 0;
    }
    static Value to(bool b) { return Value(b); }
};
template <class T>
struct ValueBridge<T, std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool>>> {
    static T from(const Value& v) {
        if constexpr (std::is_signed_v<T>) {
            if (auto i = v.asInt64()) return static_cast<T>(*i);
        } else {
            if (auto u = v.asUInt64()) return static_cast<T>(*u);
            if (auto i = v.asInt64()) return static_cast<T>(*i);
        }
        if (auto d = v.asDouble()) return static_cast<T>(*d);
        if (auto b = v.asBool()) return static_cast<T>(*b);
        return T{};
    }
    static Value to(T n) {
        if constexpr (std::is_signed_v<T>) return Value(static_cast<long long>(n));
        else return Value(static_cast<unsigned long long>(n));
    }
};
template <class T>
struct ValueBridge<T, std::enable_if_t<std::is_floating_point_v<T>>> {
    static T from(const Value& v) { return static_cast<T>(v.asDouble().value_or(0)); }
    static Value to(T n) { return Value(static_cast<double>(n)); }
};
template <>
struct ValueBridge<std::string> {
    static std::string from(const Value& v) { return v.stringValue(); }
    static Value to(std::string s) { return Value(std::move(s)); }
};
// Valid for as long as the argument list the call reads from.
template <>
struct ValueBridge<const char*> {
    static const char* from(const Value& v) { return v.asString() ? v.asString()->c_str() : nullptr; }
    static Value to(const char* s) { return s ? Value(s) : Value(); }
};
template <>
struct ValueBridge<char*> {
    static Value to(char* s) { return s ? Value(s) : Value(); }
};
template <class T>
struct ValueBridge<T*, std::enable_if_t<!std::is_same_v<std::remove_cv_t<T>, char>>> {
    static T* from(const Value&) { return nullptr; }
    static Value to(T*) { return Value(); }  // raw pointers are not objects
};
template <>
struct ValueBridge<Data> {
    static Data from(const Value& v) { return v.asData() ? *v.asData() : Data(); }
    static Value to(Data d) { return Value(std::move(d)); }
};
template <>
struct ValueBridge<Selector> {
    static Selector from(const Value& v) { return v.asString() ? Selector(*v.asString()) : Selector(); }
    static Value to(Selector s) { return s ? Value(s.name()) : Value(); }
};
template <class T>
struct ValueBridge<std::shared_ptr<T>> {
    static std::shared_ptr<T> from(const Value& v) { return v.template asObject<T>(); }
    static Value to(std::shared_ptr<T> o) { return o ? Value(ObjectPtr(std::move(o))) : Value(); }
};

// Errors cross as error objects (ErrorObject.h): null stays null, and a value that is
// not an error object reads as no error.
Value errorObjectValue(ErrorPtr error);
ErrorPtr errorFromValue(const Value& value);
template <>
struct ValueBridge<ErrorPtr> {
    static ErrorPtr from(const Value& v) { return errorFromValue(v); }
    static Value to(ErrorPtr e) { return errorObjectValue(std::move(e)); }
};

// Calls `f` with arguments converted from `arguments` (positions past the end read as
// null) and answers its result as a Value (null for void).
template <class R, class... A, class F, std::size_t... I>
Value invokeWithValues(F& f, const std::vector<Value>& arguments, std::index_sequence<I...>) {
    static const NoDestructor<Value> null;
    auto at = [&](std::size_t i) -> const Value& { return i < arguments.size() ? arguments[i] : *null; };
    if constexpr (std::is_void_v<R>) {
        f(ValueBridge<std::remove_cvref_t<A>>::from(at(I))...);
        return Value();
    } else {
        return ValueBridge<std::remove_cvref_t<R>>::to(f(ValueBridge<std::remove_cvref_t<A>>::from(at(I))...));
    }
}

// The result and parameter types of a function, function pointer, std::function or lambda.
template <class F>
struct CallableTraits : CallableTraits<decltype(&std::remove_cvref_t<F>::operator())> {};
template <class R, class... A>
struct CallableTraits<R(A...)> {
    using Result = R;
    using Parameters = std::tuple<A...>;
    using Function = std::function<R(A...)>;
    using Signature = R(A...);
};
template <class R, class... A>
struct CallableTraits<R (*)(A...)> : CallableTraits<R(A...)> {};
template <class C, class R, class... A>
struct CallableTraits<R (C::*)(A...)> : CallableTraits<R(A...)> {};
template <class C, class R, class... A>
struct CallableTraits<R (C::*)(A...) const> : CallableTraits<R(A...)> {};

// A method's signature with the receiver first: R(C&, A...) for a member function of C.
template <class F>
struct ReceiverSignature {
    using type = typename CallableTraits<F>::Signature;
};
template <class C, class R, class... A>
struct ReceiverSignature<R (C::*)(A...)> {
    using type = R(C&, A...);
};
template <class C, class R, class... A>
struct ReceiverSignature<R (C::*)(A...) const> {
    using type = R(const C&, A...);
};

}  // namespace platform

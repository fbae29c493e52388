// Type encodings: the compact text that describes a method's or block's signature
// ("v@?@" is a block taking one object and returning nothing), built at compile time
// from the C++ types, and `MethodSignature`, which reads such a text back.
#pragma once
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace platform {

class Object;
class Class;
class Block;
class Selector;
class Value;
class Data;

// A NUL-terminated text of fixed length, usable as a compile-time constant.
template <std::size_t N>
struct EncodingString {
    char chars[N]{};
    constexpr EncodingString() = default;
    constexpr EncodingString(const char (&text)[N]) {
        for (std::size_t i = 0; i < N; ++i) chars[i] = text[i];
    }
    constexpr const char* c_str() const { return chars; }
    constexpr std::string_view view() const { return std::string_view(chars, N - 1); }
};

template <std::size_t A, std::size_t B>
constexpr EncodingString<A + B - 1> operator+(const EncodingString<A>& a, const EncodingString<B>& b) {
    EncodingString<A + B - 1> joined;
    for (std::size_t i = 0; i + 1 < A; ++i) joined.chars[i] = a.chars[i];
    for (std::size_t i = 0; i < B; ++i) joined.chars[A - 1 + i] = b.chars[i];
    return joined;
}

// The encoding of one type. Any type without a code of its own (a structure, say)
// encodes as "{?}", which signature readers treat as unsupported.
template <class T>
struct Encode {
    static constexpr EncodingString value{"{?}"};
};
template <class T>
struct Encode<std::shared_ptr<T>> {
    static constexpr EncodingString value{"@"};
};
template <class T>
struct Encode<T*> {
    static constexpr auto value = EncodingString{"^"} + Encode<T>::value;
};
template <class T>
struct Encode<const T*> {
    static constexpr auto value = EncodingString{"r^"} + Encode<T>::value;
};
#define PLATFORM_ENCODE(Type, Code)                                                                                    \
    template <>                                                                                                        \
    struct Encode<Type> {                                                                                              \
        static constexpr EncodingString value{Code};                                                                   \
    }
PLATFORM_ENCODE(void, "v");
PLATFORM_ENCODE(bool, "B");
PLATFORM_ENCODE(char, "c");
PLATFORM_ENCODE(signed char, "c");
PLATFORM_ENCODE(unsigned char, "C");
PLATFORM_ENCODE(short, "s");
PLATFORM_ENCODE(unsigned short, "S");
PLATFORM_ENCODE(int, "i");
PLATFORM_ENCODE(unsigned int, "I");
PLATFORM_ENCODE(long, "l");
PLATFORM_ENCODE(unsigned long, "L");
PLATFORM_ENCODE(long long, "q");
PLATFORM_ENCODE(unsigned long long, "Q");
PLATFORM_ENCODE(float, "f");
PLATFORM_ENCODE(double, "d");
PLATFORM_ENCODE(char*, "*");
PLATFORM_ENCODE(const char*, "r*");  // the const qualifier is part of the code
PLATFORM_ENCODE(Selector, ":");
PLATFORM_ENCODE(std::shared_ptr<Class>, "#");
PLATFORM_ENCODE(std::shared_ptr<Block>, "@?");
// Values, texts and data cross the runtime as objects.
PLATFORM_ENCODE(Value, "@");
PLATFORM_ENCODE(std::string, "@");
PLATFORM_ENCODE(Data, "@");
#undef PLATFORM_ENCODE

template <class T>
inline constexpr auto encodingOf = Encode<std::remove_cvref_t<T>>::value;

// A block's signature: result, the block itself ("@?"), then the parameters.
template <class R, class... Args>
inline constexpr auto blockEncoding = ((encodingOf<R> + EncodingString{"@?"}) + ... + encodingOf<Args>);

// A method's signature: result, the receiver ("@"), the selector (":"), then the parameters.
template <class R, class... Args>
inline constexpr auto methodEncoding = ((encodingOf<R> + EncodingString{"@:"}) + ... + encodingOf<Args>);

// A signature read back from its encoding. Offsets between types are skipped; type
// qualifiers (r, n, N, o, O, R, V, A) stay part of the type they precede.
class MethodSignature {
public:
    // Nothing when the text is empty or malformed.
    static std::optional<MethodSignature> parse(std::string_view types);

    const std::string& methodReturnType() const { return returnType_; }
    // Arguments including the receiver (a method's self and selector, or a block's self).
    std::size_t numberOfArguments() const { return argumentTypes_.size(); }
    const std::string& argumentType(std::size_t index) const { return argumentTypes_.at(index); }

private:
    std::string returnType_;
    std::vector<std::string> argumentTypes_;
};

}  // namespace platform

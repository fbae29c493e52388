// Configure a freshly made value or object in one expression: run a block on it and
// get it back. A block that throws passes its error on unchanged.
#pragma once
#include <concepts>
#include <map>
#include <memory>
#include <set>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "platform/foundation/JSONDecoder.h"
#include "platform/foundation/JSONEncoder.h"
#include "platform/graphics/Geometry.h"
#include "platform/runtime/Object.h"

namespace Configurable {

// Which types take part: runtime objects (through their shared pointers), geometry
// values, the standard containers, and the JSON coders.
template <class T>
struct IsConfigurable : std::false_type {};
template <class T>
    requires std::derived_from<T, platform::Object>
struct IsConfigurable<std::shared_ptr<T>> : std::true_type {};
template <>
struct IsConfigurable<platform::CGPoint> : std::true_type {};
template <>
struct IsConfigurable<platform::CGRect> : std::true_type {};
template <>
struct IsConfigurable<platform::CGSize> : std::true_type {};
template <>
struct IsConfigurable<platform::CGVector> : std::true_type {};
template <class... A>
struct IsConfigurable<std::vector<A...>> : std::true_type {};
template <class... A>
struct IsConfigurable<std::map<A...>> : std::true_type {};
template <class... A>
struct IsConfigurable<std::unordered_map<A...>> : std::true_type {};
template <class... A>
struct IsConfigurable<std::set<A...>> : std::true_type {};
template <class... A>
struct IsConfigurable<std::unordered_set<A...>> : std::true_type {};
template <>
struct IsConfigurable<platform::JSONDecoder> : std::true_type {};
template <>
struct IsConfigurable<platform::JSONEncoder> : std::true_type {};

// clang-format off
template <class T>
concept ConfigurableType = IsConfigurable<std::remove_cvref_t<T>>::value;
// clang-format on

// clang-format off
template <class T>
concept ConfigurableObject = ConfigurableType<T> && requires(const T& t) { t.get(); };
// clang-format on

// A modified copy (for an object, a copy of the reference); the original is untouched.
template <ConfigurableType T, class Block>
    requires std::invocable<Block, T&>
T with(const T& value, Block&& block) {
    T copy = value;
    std::forward<Block>(block)(copy);
    return copy;
}

// Runs the block with the value or object. (`do` is a keyword here.)
template <ConfigurableType T, class Block>
    requires std::invocable<Block, T&>
void do_(T& value, Block&& block) {
    std::forward<Block>(block)(value);
}
template <ConfigurableType T, class Block>
    requires std::invocable<Block, const T&>
void do_(const T& value, Block&& block) {
    std::forward<Block>(block)(value);
}

// Runs the block with the object and answers the same object.
template <ConfigurableObject T, class Block>
    requires std::invocable<Block, const T&>
T then(const T& object, Block&& block) {
    std::forward<Block>(block)(object);
    return object;
}

}  // namespace Configurable

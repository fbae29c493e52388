// The return type is checked before the parameter count, so a block wrong in both ways
// reports its return type. The number boxing is the block's own: its invoker converts
// the typed result to a runtime value as the signature says.
#include "Pledge/PLGCallBlockBySignature.h"

#include <string_view>

#include "Pledge/PLGArray.h"

namespace Pledge {

namespace {

constexpr const char* unsupportedSignature = "Pledge: Unsupported method signature.";
constexpr const char* unsupportedArgumentCount = "Pledge: The provided block\u2019s argument count is unsupported.";

// Only the bare codes count: a qualified type ("r*") is unsupported, and of the pointer
// types only a pointer to void.
bool isSupportedReturnType(const std::string& type) {
    if (type.empty()) return false;
    if (type[0] == '^') return type == "^v";
    return std::string_view("v@*cislqCISLQfdB").find(type[0]) != std::string_view::npos;
}

// The handler's arguments: a value of exactly class PLGArray is spread (a subclass is
// passed whole); missing elements are nil.
platform::Arguments argumentsFor(const platform::Value& value, std::size_t parameters) {
    platform::Arguments arguments;
    auto object = value.asObject();
    if (object && object->isMemberOfClass(*PLGArray::classObject())) {
        auto& array = static_cast<const PLGArray&>(*object);
        for (std::size_t i = 0; i < parameters; ++i) arguments.push_back(array.objectAtIndexedSubscript(i));
    } else if (parameters > 0) {
        arguments.push_back(value);
    }
    return arguments;
}

}  // namespace

platform::Value PLGCallBlockBySignature(const platform::BlockPtr& handler, const platform::Value& value) {
    try {
        auto signature = handler ? platform::MethodSignature::parse(handler->signature()) : std::nullopt;
        if (!signature || !isSupportedReturnType(signature->methodReturnType()))
            throw platform::NSException("Pledge", unsupportedSignature);
        const std::size_t argc = signature->numberOfArguments();  // the block itself included
        if (argc < 1 || argc > 4)
            throw platform::NSException(platform::NSInvalidArgumentException, unsupportedArgumentCount);
        return handler->invoke(argumentsFor(value, argc - 1));
    } catch (const platform::ErrorException& thrown) {
        return platform::errorObjectValue(thrown.error());
    } catch (const std::string& thrown) {
        return platform::Value(thrown);
    }
}

}  // namespace Pledge

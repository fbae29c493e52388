// Blocks: callables that travel as objects and carry their type signature, so that a
// caller holding only the object can see what the block takes and returns ("v@?@" is a
// block taking one object and returning nothing) and call it with Values.
#pragma once
#include <functional>
#include <memory>
#include <string_view>
#include <type_traits>

#include "platform/runtime/Class.h"
#include "platform/runtime/TypeEncoding.h"
#include "platform/runtime/ValueBridge.h"

namespace platform {

class Block;
using BlockPtr = std::shared_ptr<Block>;

class Block final : public Object {
    PLATFORM_OBJECT_NAMED(Block, Object, "__Block")
    struct Key {
        explicit Key() = default;
    };

public:
    explicit Block(Key) {}  // made only by `make`, never empty

    // A block from any callable whose signature can be deduced (a lambda, a function,
    // a std::function).
    template <class F>
    static BlockPtr make(F f) {
        using Function = typename CallableTraits<F>::Function;
        return makeTyped(Function(std::move(f)));
    }

    // The type encoding: result, "@?" for the block itself, then the parameters.
    std::string_view signature() const { return body_->signature(); }
    // Parameters the block declares (its encoding counts one more, the block itself).
    std::size_t parameterCount() const { return body_->parameterCount(); }

    // Calls the block with its parameters converted from `arguments` (missing ones read
    // as null); the result comes back as a Value (null for void and raw pointers).
    Value invoke(const Arguments& arguments = {}) const { return body_->invoke(arguments); }

    // Blocks are immutable: a copy is the block itself.
    ObjectPtr copyObject() const override { return std::const_pointer_cast<Object>(shared_from_this()); }

    // The typed function when the block's signature is exactly `Sig`, else null.
    template <class Sig>
    const std::function<Sig>* target() const {
        auto* typed = dynamic_cast<const Typed<Sig>*>(body_.get());
        return typed ? &typed->function : nullptr;
    }

private:
    struct Body {
        virtual ~Body() = default;
        virtual std::string_view signature() const = 0;
        virtual std::size_t parameterCount() const = 0;
        virtual Value invoke(const Arguments& arguments) const = 0;
    };
    template <class Sig>
    struct Typed;
    template <class R, class... A>
    struct Typed<R(A...)> final : Body {
        explicit Typed(std::function<R(A...)> f) : function(std::move(f)) {}
        std::function<R(A...)> function;
        static constexpr auto encoding = blockEncoding<R, A...>;
        std::string_view signature() const override { return encoding.view(); }
        std::size_t parameterCount() const override { return sizeof...(A); }
        Value invoke(const Arguments& arguments) const override {
            return invokeWithValues<R, A...>(function, arguments, std::index_sequence_for<A...>{});
        }
    };

    template <class R, class... A>
    static BlockPtr makeTyped(std::function<R(A...)> f) {
        auto block = std::make_shared<Block>(Key());
        block->body_ = std::make_unique<Typed<R(A...)>>(std::move(f));
        return block;
    }

    std::unique_ptr<Body> body_;
};

}  // namespace platform

// A move-only callable taking one argument, kept inline when small: promise handlers are
// made and called once per continuation, so they avoid a heap allocation where they can.
#pragma once
#include <cstddef>
#include <new>
#include <type_traits>
#include <utility>

namespace Pledge {

template <class R>
class Callback {
public:
    Callback() = default;
    template <class F>
        requires(!std::is_same_v<std::decay_t<F>, Callback> && std::is_invocable_v<std::decay_t<F>&, const R&>)
    Callback(F&& f) {
        using Fn = std::decay_t<F>;
        if constexpr (sizeof(Fn) <= kInline && alignof(Fn) <= alignof(std::max_align_t) &&
                      std::is_nothrow_move_constructible_v<Fn>) {
            ::new (static_cast<void*>(storage_)) Fn(std::forward<F>(f));
            ops_ = &inlineOps<Fn>;
        } else {
            *reinterpret_cast<Fn**>(storage_) = new Fn(std::forward<F>(f));
            ops_ = &heapOps<Fn>;
        }
    }
    Callback(Callback&& other) noexcept { take(other); }
    Callback& operator=(Callback&& other) noexcept {
        if (this != &other) {
            reset();
            take(other);
        }
        return *this;
    }
    Callback(const Callback&) = delete;
    Callback& operator=(const Callback&) = delete;
    ~Callback() { reset(); }

    void operator()(const R& value) { ops_->call(storage_, value); }
    explicit operator bool() const { return ops_ != nullptr; }

private:
    static constexpr std::size_t kInline = 48;  // an operator's handler: two pointers, flags, a small body
    struct Ops {
        void (*call)(void*, const R&);
        void (*move)(void* to, void* from) noexcept;  // leaves `from` destroyed
        void (*destroy)(void*) noexcept;
    };
    template <class Fn>
    static constexpr Ops inlineOps = {
        [](void* p, const R& v) { (*static_cast<Fn*>(p))(v); },
        [](void* to, void* from) noexcept {
            ::new (to) Fn(std::move(*static_cast<Fn*>(from)));
            static_cast<Fn*>(from)->~Fn();
        },
        [](void* p) noexcept { static_cast<Fn*>(p)->~Fn(); },
    };
    template <class Fn>
    static constexpr Ops heapOps = {
        [](void* p, const R& v) { (**static_cast<Fn**>(p))(v); },
        [](void* to, void* from) noexcept { *static_cast<Fn**>(to) = *static_cast<Fn**>(from); },
        [](void* p) noexcept { delete *static_cast<Fn**>(p); },
    };

    void take(Callback& other) noexcept {
        if (!other.ops_) return;
        other.ops_->move(storage_, other.storage_);
        ops_ = other.ops_;
        other.ops_ = nullptr;
    }
    void reset() noexcept {
        if (ops_) ops_->destroy(storage_);
        ops_ = nullptr;
    }

    alignas(std::max_align_t) unsigned char storage_[kInline];
    const Ops* ops_ = nullptr;
};

}  // namespace Pledge

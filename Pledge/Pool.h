// A small per-thread recycler for the memory of boxes: a chain of continuations makes and
// drops one box per step, and the general allocator spends more on that churn than the
// promise machinery itself.
#pragma once
#include <cstddef>
#include <memory>
#include <new>
#include <utility>

namespace Pledge {

namespace detail {
// Blocks of up to kPoolLargest bytes come from and return to the calling thread's lists;
// larger ones go to the general allocator.
inline constexpr std::size_t kPoolLargest = 256;
void* poolAllocate(std::size_t bytes);
void poolFree(void* block, std::size_t bytes) noexcept;
}  // namespace detail

template <class T>
struct PoolAllocator {
    using value_type = T;
    PoolAllocator() = default;
    template <class U>
    PoolAllocator(const PoolAllocator<U>&) noexcept {}

    T* allocate(std::size_t n) {
        if (n != 1 || alignof(T) > alignof(std::max_align_t)) return std::allocator<T>().allocate(n);
        return static_cast<T*>(detail::poolAllocate(sizeof(T)));
    }
    void deallocate(T* p, std::size_t n) noexcept {
        if (n != 1 || alignof(T) > alignof(std::max_align_t)) return std::allocator<T>().deallocate(p, n);
        detail::poolFree(p, sizeof(T));
    }
    template <class U>
    friend bool operator==(const PoolAllocator&, const PoolAllocator<U>&) {
        return true;
    }
};

// A box (or any small shared object) in recycled memory.
template <class B, class... Args>
std::shared_ptr<B> makeShared(Args&&... args) {
    return std::allocate_shared<B>(PoolAllocator<B>(), std::forward<Args>(args)...);
}

}  // namespace Pledge

// A process-wide object that is made on first use and never destroyed. Worker threads
// may still run while the process exits; an object they reach must outlive static
// teardown, so its destructor is never run (the process's end frees its memory).
//
//     static const NoDestructor<Registry> registry;   // made once, thread-safely
//     registry->add(...);
#pragma once
#include <new>
#include <utility>

namespace platform {

template <class T>
class NoDestructor {
public:
    template <class... Args>
    explicit NoDestructor(Args&&... args) {
        new (storage_) T(std::forward<Args>(args)...);
    }
    NoDestructor(const NoDestructor&) = delete;
    NoDestructor& operator=(const NoDestructor&) = delete;
    ~NoDestructor() = default;  // on purpose: the object stays alive past static teardown

    T& get() { return *std::launder(reinterpret_cast<T*>(storage_)); }
    const T& get() const { return *std::launder(reinterpret_cast<const T*>(storage_)); }
    T& operator*() { return get(); }
    const T& operator*() const { return get(); }
    T* operator->() { return &get(); }
    const T* operator->() const { return &get(); }

private:
    alignas(T) unsigned char storage_[sizeof(T)];
};

}  // namespace platform

// An owning pointer to an object of a C library that is released by that library's own
// free function: `FreedBy<X509, X509_free>` deletes with `X509_free`.
#pragma once
#include <memory>

namespace platform {

template <class T, void (*Free)(T*)>
struct FreeWith {
    void operator()(T* object) const { Free(object); }
};

template <class T, void (*Free)(T*)>
using FreedBy = std::unique_ptr<T, FreeWith<T, Free>>;

}  // namespace platform

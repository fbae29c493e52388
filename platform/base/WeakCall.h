// Calls that reach an object only while it is alive: the closure holds a weak reference,
// and a call made after the object is gone does nothing.
//
//     queue->async(platform::bindWeak(shared_from_this(), &Loader::finish));
//     observable->subscribe(platform::weakCall(weak_from_this(), [](Bar& bar, Status s) { bar.show(s); }));
#pragma once
#include <memory>
#include <utility>

namespace platform {

// `body(object, args...)` while the object lives; nothing once it is gone.
template <class T, class F>
auto weakCall(std::weak_ptr<T> weak, F body) {
    return [weak = std::move(weak), body = std::move(body)](auto&&... args) {
        if (auto self = weak.lock()) body(*self, std::forward<decltype(args)>(args)...);
    };
}

// The same, from a strong reference that the closure does not keep.
template <class T, class F>
auto weakCall(const std::shared_ptr<T>& self, F body) {
    return weakCall(std::weak_ptr<T>(self), std::move(body));
}

// `(object->*method)(args...)` while the object lives; nothing once it is gone.
template <class T, class M>
auto bindWeak(const std::shared_ptr<T>& self, M method) {
    return weakCall(self,
                    [method](T& object, auto&&... args) { (object.*method)(std::forward<decltype(args)>(args)...); });
}

}  // namespace platform

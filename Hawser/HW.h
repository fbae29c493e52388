// The library's own operations on platform types and the global session. Operations
// on a platform type live in namespace `hw` (next to the trust operations), so they never
// clash with the platform's own; `HW` is the shared session.
#pragma once
#include <memory>

#include "platform/net/URLSessionConfiguration.h"

namespace Hawser {

class Session;

namespace hw {
// The type-side operations of URL-session configurations: each call makes a new,
// independent configuration whose extra headers are the default header set.
struct URLSessionConfiguration {
    static platform::URLSessionConfiguration default_();
    static platform::URLSessionConfiguration ephemeral();
};
}  // namespace hw

// The global session: `HW->download(...)`. It is Session::default_(), made once on first
// use of either name, from any thread.
struct GlobalSession {
    Session* operator->() const;
    Session& operator*() const;
    operator const std::shared_ptr<Session>&() const;
    const std::shared_ptr<Session>& get() const;
};
inline constexpr GlobalSession HW{};

}  // namespace Hawser

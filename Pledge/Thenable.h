// The common face of promises and guarantees: `pipe` and `result` come from the promise
// kind; the chaining operators and state accessors are written once here. Operators
// return their new promise at once; their bodies run inline or on the queue given.
#pragma once
#include <optional>
#include <type_traits>
#include <utility>

#include "Pledge/Box.h"
#include "Pledge/Error.h"
#include "Pledge/Queue.h"
#include "Pledge/Result.h"

namespace Pledge {

template <class T>
class Promise;
template <class T>
class Guarantee;
template <class T>
class Resolver;

// Operators take (body), (on, body) or (on, flags, body); the short forms forward with
// the queue omitted and no flags.
#define PLEDGE_SHORT_FORMS(name)                                                                                       \
    template <class F>                                                                                                 \
    auto name(F body) const {                                                                                          \
        return name(On{}, Flags{}, std::move(body));                                                                   \
    }                                                                                                                  \
    template <class F>                                                                                                 \
    auto name(On on, F body) const {                                                                                   \
        return name(std::move(on), Flags{}, std::move(body));                                                          \
    }

template <class D, class T>
class Thenable {
public:
    using ValueType = T;

    // State accessors; each reads the result once.
    std::optional<T> value() const {
        auto r = self().result();
        if (r && r->isSuccess()) return r->value();
        return std::nullopt;
    }
    ErrorPtr error() const {
        auto r = self().result();
        if (r && r->isFailure()) return r->error();
        return nullptr;
    }
    bool isPending() const { return !self().result().has_value(); }
    bool isResolved() const { return !isPending(); }
    bool isFulfilled() const { return value().has_value(); }
    bool isRejected() const { return error() != nullptr; }

    // body: T -> thenable; the new promise adopts what it returns.
    template <class F>
    auto then(On on, Flags flags, F body) const;
    PLEDGE_SHORT_FORMS(then)
    // body: T -> U.
    template <class F>
    auto map(On on, Flags flags, F body) const;
    PLEDGE_SHORT_FORMS(map)
    // body: T -> std::optional<U>; nothing rejects with PLGError compactMap.
    template <class F>
    auto compactMap(On on, Flags flags, F body) const;
    PLEDGE_SHORT_FORMS(compactMap)
    // body: T -> nothing; a Promise<Void>.
    template <class F>
    auto done(On on, Flags flags, F body) const;
    PLEDGE_SHORT_FORMS(done)
    // body: T -> nothing; passes the value on.
    template <class F>
    auto get(On on, Flags flags, F body) const;
    PLEDGE_SHORT_FORMS(get)
    // body: Result<T> -> nothing, on either outcome; passes the outcome on.
    template <class F>
    auto tap(On on, Flags flags, F body) const;
    PLEDGE_SHORT_FORMS(tap)
    Promise<Void> asVoid() const;

    // Operators on a value that is a sequence.
    template <class F>
    auto mapValues(On on, Flags flags, F transform) const;
    PLEDGE_SHORT_FORMS(mapValues)
    template <class F>
    auto flatMapValues(On on, Flags flags, F transform) const;
    PLEDGE_SHORT_FORMS(flatMapValues)
    template <class F>
    auto compactMapValues(On on, Flags flags, F transform) const;
    PLEDGE_SHORT_FORMS(compactMapValues)
    template <class F>
    auto thenMap(On on, Flags flags, F transform) const;
    PLEDGE_SHORT_FORMS(thenMap)
    template <class F>
    auto thenFlatMap(On on, Flags flags, F transform) const;
    PLEDGE_SHORT_FORMS(thenFlatMap)
    template <class F>
    auto filterValues(On on, Flags flags, F test) const;
    PLEDGE_SHORT_FORMS(filterValues)
    template <class F>
    auto firstValueWhere(On on, Flags flags, F test) const;
    PLEDGE_SHORT_FORMS(firstValueWhere)
    auto firstValue() const;
    auto lastValue() const;
    auto sortedValues(On on = {}, Flags flags = {}) const;

protected:
    const D& self() const { return static_cast<const D&>(*this); }
};

}  // namespace Pledge

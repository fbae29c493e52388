// Operators on the rejected path, for the promise kinds that can be rejected: `catch_`
// ends a chain, `recover` turns a rejection into a new outcome, `ensure` runs a step on
// either outcome and passes it on.
#pragma once
#include "Pledge/Thenable.h"

namespace Pledge {

class PLGFinalizer;

template <class D, class T>
class CatchMixin {
public:
    // body: ErrorPtr -> nothing. Cancellations are skipped under allErrorsExceptCancellation.
    template <class F>
    PLGFinalizer catch_(On on, Flags flags, CatchPolicy policy, F body) const;
    template <class F>
    PLGFinalizer catch_(On on, Flags flags, F body) const;
    template <class F>
    PLGFinalizer catch_(On on, F body) const;
    template <class F>
    PLGFinalizer catch_(CatchPolicy policy, F body) const;
    template <class F>
    PLGFinalizer catch_(F body) const;
    // Logs a `cauterized` event for the error instead of handling it.
    PLGFinalizer cauterize() const;

    // With a policy: body ErrorPtr -> a Promise of T (or -> nothing when T is Void); the
    // result is a Promise and filtered errors pass on untouched.
    template <class F>
    auto recover(On on, Flags flags, CatchPolicy policy, F body) const;
    template <class F>
    auto recover(On on, CatchPolicy policy, F body) const {
        return recover(std::move(on), Flags{}, policy, std::move(body));
    }
    template <class F>
    auto recover(CatchPolicy policy, F body) const {
        return recover(On{}, Flags{}, policy, std::move(body));
    }
    // Without a policy: a body returning a Guarantee of T (or nothing when T is Void) sees
    // every error and the result is a Guarantee; a body returning a Promise takes the
    // configured policy as above.
    template <class F>
    auto recover(On on, Flags flags, F body) const;
    PLEDGE_SHORT_FORMS(recover)
    // body: nothing -> nothing, on either outcome; then the outcome passes on.
    template <class F>
    Promise<T> ensure(On on, Flags flags, F body) const;
    PLEDGE_SHORT_FORMS(ensure)
    // body: nothing -> Guarantee<Void>; the outcome passes on once that guarantee resolves.
    template <class F>
    Promise<T> ensureThen(On on, Flags flags, F body) const;
    PLEDGE_SHORT_FORMS(ensureThen)

    // The older spelling of `ensure` without flags.
    template <class F>
    Promise<T> always(On on, F body) const {
        return ensure(std::move(on), Flags{}, std::move(body));
    }

private:
    const D& self() const { return static_cast<const D&>(*this); }
};

}  // namespace Pledge

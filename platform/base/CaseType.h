// The base of every enumeration whose cases carry values: one small struct per case, held
// in a variant in declaration order (so the variant's index is the case number).
//
// The case structs and the variant live in a plain struct declared first, and the type
// derives from `CaseType` over it; the structs are then reached as members of the type
// (`HWError::InvalidURL`), and the type is built from any one of them:
//
//     struct StubBehaviorCases {
//         struct Never {};
//         struct Delayed { double seconds; };
//         using Case = std::variant<Never, Delayed>;
//     };
//     class StubBehavior : public platform::CaseType<StubBehaviorCases> {
//     public:
//         using CaseType::CaseType;
//     };
#pragma once
#include <cstddef>
#include <type_traits>
#include <utility>
#include <variant>

namespace platform {

template <class Cases>
class CaseType : public Cases {
public:
    using Case = typename Cases::Case;

    // Whether a case can be made from C. Never from a CaseType or a type derived from it: a
    // case that could be built from the type would make the question depend on itself.
    template <class C>
    static constexpr bool makesACase =
        std::conjunction_v<std::negation<std::is_base_of<CaseType, C>>, std::is_constructible<Case, C>>;

    template <class C>
    CaseType(C c)
        requires makesACase<C>
        : case_(std::move(c)) {}

    const Case& value() const { return case_; }
    // The case number, in declaration order.
    std::size_t index() const { return case_.index(); }
    // The case's struct when the value is that case, else null.
    template <class C>
    const C* as() const {
        return std::get_if<C>(&case_);
    }
    template <class C>
    bool is() const {
        return std::holds_alternative<C>(case_);
    }

protected:
    Case case_;
};

}  // namespace platform

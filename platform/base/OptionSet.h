// A set of flags over a raw integer, with the set algebra option sets offer.
#pragma once
#include <cstdint>
#include <initializer_list>

namespace platform {

template <class Tag, class Raw = std::uint64_t>
struct OptionSet {
    using RawValue = Raw;
    Raw rawValue{};

    constexpr OptionSet() = default;
    constexpr explicit OptionSet(Raw raw) : rawValue(raw) {}
    constexpr OptionSet(std::initializer_list<OptionSet> members) {
        for (auto m : members) rawValue |= m.rawValue;
    }

    constexpr bool isEmpty() const { return rawValue == 0; }
    constexpr bool contains(OptionSet member) const { return (rawValue & member.rawValue) == member.rawValue; }
    constexpr bool isDisjoint(OptionSet other) const { return (rawValue & other.rawValue) == 0; }
    constexpr bool isSubset(OptionSet other) const { return (rawValue & ~other.rawValue) == 0; }

    // Answers whether the member was newly inserted.
    constexpr bool insert(OptionSet member) {
        bool inserted = !contains(member);
        rawValue |= member.rawValue;
        return inserted;
    }
    // Answers whether anything was removed.
    constexpr bool remove(OptionSet member) {
        bool removed = (rawValue & member.rawValue) != 0;
        rawValue &= ~member.rawValue;
        return removed;
    }
    constexpr void formUnion(OptionSet other) { rawValue |= other.rawValue; }
    constexpr void formIntersection(OptionSet other) { rawValue &= other.rawValue; }
    constexpr void formSymmetricDifference(OptionSet other) { rawValue ^= other.rawValue; }
    constexpr void subtract(OptionSet other) { rawValue &= ~other.rawValue; }

    constexpr OptionSet unioned(OptionSet other) const { return OptionSet(rawValue | other.rawValue); }
    constexpr OptionSet intersection(OptionSet other) const { return OptionSet(rawValue & other.rawValue); }
    constexpr OptionSet symmetricDifference(OptionSet other) const { return OptionSet(rawValue ^ other.rawValue); }
    constexpr OptionSet subtracting(OptionSet other) const { return OptionSet(rawValue & ~other.rawValue); }

    friend constexpr OptionSet operator|(OptionSet a, OptionSet b) { return a.unioned(b); }
    friend constexpr OptionSet operator&(OptionSet a, OptionSet b) { return a.intersection(b); }
    friend constexpr OptionSet operator^(OptionSet a, OptionSet b) { return a.symmetricDifference(b); }
    constexpr OptionSet& operator|=(OptionSet o) {
        formUnion(o);
        return *this;
    }
    constexpr OptionSet& operator&=(OptionSet o) {
        formIntersection(o);
        return *this;
    }
    friend constexpr bool operator==(OptionSet a, OptionSet b) { return a.rawValue == b.rawValue; }
};

}  // namespace platform

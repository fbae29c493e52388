// Attribute bits to platform layout attributes.
#include "Clasp/ConstraintAttributes.h"

namespace Clasp {

std::vector<platform::NSLayoutAttribute> ConstraintAttributes::layoutAttributes() const {
    using A = platform::NSLayoutAttribute;
    // Bit i of the set stands for table[i]; bits from 0x800 up have no platform attribute.
    static constexpr A table[] = {A::left,  A::top,    A::right,   A::bottom,  A::leading,     A::trailing,
                                  A::width, A::height, A::centerX, A::centerY, A::lastBaseline};
    std::vector<A> result;
    for (unsigned bit = 0; bit < std::size(table); ++bit)
        if (rawValue & (std::uint64_t{1} << bit)) result.push_back(table[bit]);
    return result;
}

}  // namespace Clasp

// Which edges and dimensions of a view a constraint speaks of, as a set of bits, and
// the platform layout attributes those bits stand for.
#pragma once
#include <cstdint>
#include <vector>

#include "platform/appkit/NSLayoutConstraint.h"
#include "platform/base/OptionSet.h"

namespace Clasp {

struct ConstraintAttributes : platform::OptionSet<ConstraintAttributes, std::uint64_t> {
    using OptionSet::OptionSet;
    constexpr ConstraintAttributes(OptionSet set) : OptionSet(set) {}

    static const ConstraintAttributes none, left, top, right, bottom, leading, trailing, width, height, centerX,
        centerY, lastBaseline, baseline, firstBaseline, leftMargin, rightMargin, topMargin, bottomMargin, leadingMargin,
        trailingMargin, centerXWithinMargins, centerYWithinMargins;
    static const ConstraintAttributes edges, horizontalEdges, verticalEdges, directionalEdges,
        directionalHorizontalEdges, directionalVerticalEdges, size, center, margins, directionalMargins,
        centerWithinMargins;

    // The platform attributes of the lowest eleven bits, in bit order; the baseline and
    // margin bits above them have no platform attribute and contribute nothing.
    std::vector<platform::NSLayoutAttribute> layoutAttributes() const;
};

inline constexpr ConstraintAttributes ConstraintAttributes::none{0};
inline constexpr ConstraintAttributes ConstraintAttributes::left{0x1};
inline constexpr ConstraintAttributes ConstraintAttributes::top{0x2};
inline constexpr ConstraintAttributes ConstraintAttributes::right{0x4};
inline constexpr ConstraintAttributes ConstraintAttributes::bottom{0x8};
inline constexpr ConstraintAttributes ConstraintAttributes::leading{0x10};
inline constexpr ConstraintAttributes ConstraintAttributes::trailing{0x20};
inline constexpr ConstraintAttributes ConstraintAttributes::width{0x40};
inline constexpr ConstraintAttributes ConstraintAttributes::height{0x80};
inline constexpr ConstraintAttributes ConstraintAttributes::centerX{0x100};
inline constexpr ConstraintAttributes ConstraintAttributes::centerY{0x200};
inline constexpr ConstraintAttributes ConstraintAttributes::lastBaseline{0x400};
inline constexpr ConstraintAttributes ConstraintAttributes::baseline{0x400};
inline constexpr ConstraintAttributes ConstraintAttributes::firstBaseline{0x800};
inline constexpr ConstraintAttributes ConstraintAttributes::leftMargin{0x1000};
inline constexpr ConstraintAttributes ConstraintAttributes::rightMargin{0x2000};
inline constexpr ConstraintAttributes ConstraintAttributes::topMargin{0x4000};
inline constexpr ConstraintAttributes ConstraintAttributes::bottomMargin{0x8000};
inline constexpr ConstraintAttributes ConstraintAttributes::leadingMargin{0x10000};
inline constexpr ConstraintAttributes ConstraintAttributes::trailingMargin{0x20000};
inline constexpr ConstraintAttributes ConstraintAttributes::centerXWithinMargins{0x40000};
inline constexpr ConstraintAttributes ConstraintAttributes::centerYWithinMargins{0x80000};
inline constexpr ConstraintAttributes ConstraintAttributes::edges{0xF};
inline constexpr ConstraintAttributes ConstraintAttributes::horizontalEdges{0x5};
inline constexpr ConstraintAttributes ConstraintAttributes::verticalEdges{0xA};
inline constexpr ConstraintAttributes ConstraintAttributes::directionalEdges{0x3A};
inline constexpr ConstraintAttributes ConstraintAttributes::directionalHorizontalEdges{0x30};
inline constexpr ConstraintAttributes ConstraintAttributes::directionalVerticalEdges{0xA};
inline constexpr ConstraintAttributes ConstraintAttributes::size{0xC0};
inline constexpr ConstraintAttributes ConstraintAttributes::center{0x300};
inline constexpr ConstraintAttributes ConstraintAttributes::margins{0xF000};
inline constexpr ConstraintAttributes ConstraintAttributes::directionalMargins{0x3C000};
inline constexpr ConstraintAttributes ConstraintAttributes::centerWithinMargins{0xC0000};

}  // namespace Clasp

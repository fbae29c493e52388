// Per-attribute constants of numbers, sizes, points and insets.
#include "Clasp/ConstraintConstantTarget.h"

#include "Clasp/ConstraintConfig.h"

namespace Clasp {

using platform::NSLayoutAttribute;

namespace {

double sizeConstant(const platform::CGSize& s, NSLayoutAttribute a) {
    if (a == NSLayoutAttribute::width) return s.width;
    if (a == NSLayoutAttribute::height) return s.height;
    return 0;
}

double pointConstant(const platform::CGPoint& p, NSLayoutAttribute a) {
    switch (a) {
        case NSLayoutAttribute::left:
        case NSLayoutAttribute::right:
        case NSLayoutAttribute::leading:
        case NSLayoutAttribute::trailing:
        case NSLayoutAttribute::centerX: return p.x;
        case NSLayoutAttribute::top:
        case NSLayoutAttribute::bottom:
        case NSLayoutAttribute::centerY:
        case NSLayoutAttribute::lastBaseline:
        case NSLayoutAttribute::firstBaseline: return p.y;
        default: return 0;
    }
}

double insetsConstant(const platform::NSEdgeInsets& i, NSLayoutAttribute a) {
    bool leftToRight = ConstraintConfig::interfaceLayoutDirection() == 0;
    switch (a) {
        case NSLayoutAttribute::left: return i.left;
        case NSLayoutAttribute::right: return -i.right;
        case NSLayoutAttribute::top:
        case NSLayoutAttribute::firstBaseline: return i.top;
        case NSLayoutAttribute::bottom:
        case NSLayoutAttribute::lastBaseline: return -i.bottom;
        case NSLayoutAttribute::leading: return leftToRight ? i.left : i.right;
        case NSLayoutAttribute::trailing: return leftToRight ? -i.right : -i.left;
        case NSLayoutAttribute::width: return -(i.left + i.right);
        case NSLayoutAttribute::height: return -(i.top + i.bottom);
        case NSLayoutAttribute::centerX: return (i.left - i.right) * 0.5;
        case NSLayoutAttribute::centerY: return (i.top - i.bottom) * 0.5;
        default: return 0;
    }
}

}  // namespace

double ConstraintConstantTarget::constraintConstantTargetValue(NSLayoutAttribute a) const {
    if (auto* n = std::get_if<ConstraintNumber>(&value_)) return numberValue(*n);
    if (auto* s = std::get_if<platform::CGSize>(&value_)) return sizeConstant(*s, a);
    if (auto* p = std::get_if<platform::CGPoint>(&value_)) return pointConstant(*p, a);
    if (auto* i = std::get_if<platform::NSEdgeInsets>(&value_)) return insetsConstant(*i, a);
    return 0;
}

}  // namespace Clasp

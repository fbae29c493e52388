// Rectangle set operations and text forms.
#include "platform/graphics/Geometry.h"

namespace platform {

CGRect CGRect::intersection(const CGRect& r) const {
    CGFloat x0 = std::max(minX(), r.minX()), x1 = std::min(maxX(), r.maxX());
    CGFloat y0 = std::max(minY(), r.minY()), y1 = std::min(maxY(), r.maxY());
    if (x1 <= x0 || y1 <= y0) return CGRectZero;
    return {x0, y0, x1 - x0, y1 - y0};
}

CGRect CGRect::unionWith(const CGRect& r) const {
    if (isEmpty()) return r;
    if (r.isEmpty()) return *this;
    CGFloat x0 = std::min(minX(), r.minX()), x1 = std::max(maxX(), r.maxX());
    CGFloat y0 = std::min(minY(), r.minY()), y1 = std::max(maxY(), r.maxY());
    return {x0, y0, x1 - x0, y1 - y0};
}

static std::string number(CGFloat v) {
    std::string s = std::to_string(v);
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
    return s;
}

std::string describe(const CGRect& r) {
    std::string s;
    s += '(';
    s += number(r.origin.x);
    s += ", ";
    s += number(r.origin.y);
    s += ", ";
    s += number(r.size.width);
    s += ", ";
    s += number(r.size.height);
    s += ')';
    return s;
}

}  // namespace platform

// Points, sizes, rectangles, vectors, edge insets and affine transforms in points.
#pragma once
#include <algorithm>
#include <cmath>
#include <string>

namespace platform {

using CGFloat = double;

struct CGPoint {
    CGFloat x = 0, y = 0;
    friend bool operator==(const CGPoint&, const CGPoint&) = default;
};
struct CGSize {
    CGFloat width = 0, height = 0;
    friend bool operator==(const CGSize&, const CGSize&) = default;
};
struct CGVector {
    CGFloat dx = 0, dy = 0;
    friend bool operator==(const CGVector&, const CGVector&) = default;
};

struct CGRect {
    CGPoint origin;
    CGSize size;

    CGRect() = default;
    CGRect(CGPoint o, CGSize s) : origin(o), size(s) {}
    CGRect(CGFloat x, CGFloat y, CGFloat w, CGFloat h) : origin{x, y}, size{w, h} {}

    CGFloat minX() const { return std::min(origin.x, origin.x + size.width); }
    CGFloat maxX() const { return std::max(origin.x, origin.x + size.width); }
    CGFloat minY() const { return std::min(origin.y, origin.y + size.height); }
    CGFloat maxY() const { return std::max(origin.y, origin.y + size.height); }
    CGFloat midX() const { return origin.x + size.width / 2; }
    CGFloat midY() const { return origin.y + size.height / 2; }
    CGFloat width() const { return std::fabs(size.width); }
    CGFloat height() const { return std::fabs(size.height); }
    bool isEmpty() const { return size.width == 0 || size.height == 0; }
    // Half-open on the maximum edges, as mouse-in-rect tests are.
    bool contains(CGPoint p) const { return p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY(); }
    bool intersects(const CGRect& r) const {
        return minX() < r.maxX() && r.minX() < maxX() && minY() < r.maxY() && r.minY() < maxY();
    }
    CGRect intersection(const CGRect& r) const;
    CGRect unionWith(const CGRect& r) const;
    CGRect insetBy(CGFloat dx, CGFloat dy) const {
        return {origin.x + dx, origin.y + dy, size.width - 2 * dx, size.height - 2 * dy};
    }
    CGRect offsetBy(CGFloat dx, CGFloat dy) const { return {origin.x + dx, origin.y + dy, size.width, size.height}; }
    friend bool operator==(const CGRect&, const CGRect&) = default;
};

inline const CGRect CGRectZero{};

struct NSEdgeInsets {
    CGFloat top = 0, left = 0, bottom = 0, right = 0;
    friend bool operator==(const NSEdgeInsets&, const NSEdgeInsets&) = default;
};
inline NSEdgeInsets NSEdgeInsetsMake(CGFloat top, CGFloat left, CGFloat bottom, CGFloat right) {
    return {top, left, bottom, right};
}

// x' = a*x + c*y + tx, y' = b*x + d*y + ty
struct CGAffineTransform {
    CGFloat a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;
    static CGAffineTransform identity() { return {}; }
    CGPoint apply(CGPoint p) const { return {a * p.x + c * p.y + tx, b * p.x + d * p.y + ty}; }
    friend bool operator==(const CGAffineTransform&, const CGAffineTransform&) = default;
};

using NSPoint = CGPoint;
using NSSize = CGSize;
using NSRect = CGRect;
inline bool NSMouseInRect(CGPoint p, const CGRect& r, bool flipped) {
    // A flipped view's rectangle includes its top edge; an unflipped one its bottom edge.
    (void)flipped;
    return r.contains(p);
}

std::string describe(const CGRect& r);  // "(x, y, w, h)", for messages and test output

}  // namespace platform

// A drawing context over a Cairo context: state stack, transforms, fills, strokes,
// paths and images, with the names Core Graphics drawing code uses.
#pragma once
#include <cairo.h>

#include <memory>
#include <vector>

#include "platform/graphics/Geometry.h"
#include "platform/graphics/NSColor.h"

namespace platform {

enum class CGBlendMode { normal = 0, copy = 16, sourceOver = 100, clear = 101 };
enum class CGLineJoin { miter, round, bevel };

// A rectangle or rounded rectangle outline, as CGPath is used for text frames and layers.
struct CGPath {
    CGRect rect;
    CGFloat cornerWidth = 0, cornerHeight = 0;
    static CGPath rectangle(const CGRect& r) { return {r, 0, 0}; }
    static CGPath roundedRectangle(const CGRect& r, CGFloat cw, CGFloat ch) { return {r, cw, ch}; }
    CGRect boundingBox() const { return rect; }
};

class CGContext {
public:
    explicit CGContext(cairo_t* cr);  // retains `cr`
    ~CGContext();
    CGContext(const CGContext&) = delete;
    CGContext& operator=(const CGContext&) = delete;

    cairo_t* cairo() const { return cr_; }

    void saveGState();
    void restoreGState();
    void translateBy(CGFloat tx, CGFloat ty);
    void scaleBy(CGFloat sx, CGFloat sy);
    void concatenate(const CGAffineTransform& t);
    CGAffineTransform currentTransform() const;
    // True when user space has y growing upwards (a Core Graphics style space).
    bool isYUp() const;

    void setFillColor(const CGColor& c);
    void setStrokeColor(const CGColor& c);
    void setAlpha(CGFloat alpha) { alpha_ = alpha; }
    CGFloat alpha() const { return alpha_; }
    void setLineWidth(CGFloat w);
    void setBlendMode(CGBlendMode mode);
    CGBlendMode blendMode() const { return mode_; }

    void fillRect(const CGRect& r);
    void clearRect(const CGRect& r);
    void strokeRect(const CGRect& r);
    void fillPath(const CGPath& p);
    void strokePath(const CGPath& p);
    void clipToRect(const CGRect& r);
    void clipToPath(const CGPath& p);

    // The text matrix is kept for drawing code that sets it; text is always upright.
    void setTextMatrix(const CGAffineTransform& t) { textMatrix_ = t; }
    const CGAffineTransform& textMatrix() const { return textMatrix_; }
    void flush();

    // The colour a fill paints with, alpha of the context folded in.
    void applyFill();

private:
    void addPath(const CGPath& p);
    void applyOperator();

    cairo_t* cr_;
    CGColor fill_{0, 0, 0, 1};
    CGColor stroke_{0, 0, 0, 1};
    CGFloat alpha_ = 1;
    CGBlendMode mode_ = CGBlendMode::normal;
    CGAffineTransform textMatrix_;
    struct Saved {
        CGColor fill, stroke;
        CGFloat alpha;
        CGBlendMode mode;
    };
    std::vector<Saved> saved_;
};

}  // namespace platform

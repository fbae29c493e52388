// The backing layer of a view: background, corner radius, border, masking, opacity and
// contents image, drawn under the view's own drawing.
#pragma once
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/graphics/CGContext.h"
#include "platform/graphics/NSColor.h"
#include "platform/graphics/NSImage.h"

namespace platform {

inline const std::string kCAGravityResize = "resize";
inline const std::string kCAGravityResizeAspect = "resizeAspect";
inline const std::string kCAGravityResizeAspectFill = "resizeAspectFill";
inline const std::string kCAGravityCenter = "center";

class CALayer {
public:
    virtual ~CALayer() = default;
    std::optional<CGColor> backgroundColor;
    std::optional<CGColor> borderColor;
    CGFloat borderWidth = 0;
    CGFloat cornerRadius = 0;
    bool masksToBounds = false;
    float opacity = 1;
    bool hidden = false;
    NSImagePtr contents;
    std::string contentsGravity = kCAGravityResize;
    CGFloat contentsScale = 1;

    CGRect bounds() const { return bounds_; }
    CGRect frame() const { return frame_; }

    // Background and contents, clipped to the rounded bounds (y-down drawing space).
    virtual void drawBackground(CGContext& context, const CGRect& rect) const;
    void drawBorder(CGContext& context, const CGRect& rect) const;
    // Draws the layer (background, contents, border) over its bounds into `context`.
    void renderInContext(CGContext& context) const;
    void setGeometry(const CGRect& frame, const CGRect& bounds) {
        frame_ = frame;
        bounds_ = bounds;
    }
    void setFrame(const CGRect& frame) { setGeometry(frame, {{0, 0}, frame.size}); }

private:
    CGRect frame_, bounds_;
};
using CALayerPtr = std::shared_ptr<CALayer>;

// A layer filled with a linear gradient between colours at locations (0...1), from
// `startPoint` to `endPoint` in unit coordinates of the bounds: (0, 0) is the minimum
// corner, the bottom-left in the y-up space of an unflipped view.
class CAGradientLayer : public CALayer {
public:
    std::vector<CGColor> colors;
    std::vector<double> locations;
    CGPoint startPoint{0.5, 0};
    CGPoint endPoint{0.5, 1};

    void drawBackground(CGContext& context, const CGRect& rect) const override;
};
using CAGradientLayerPtr = std::shared_ptr<CAGradientLayer>;

}  // namespace platform

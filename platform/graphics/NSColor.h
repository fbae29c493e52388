// Colours: RGBA components in sRGB (calibrated and device colours are treated as
// sRGB), named colours from a bundle's colour assets, and fills in the current context.
#pragma once
#include <memory>
#include <string>

#include "platform/graphics/Geometry.h"

namespace platform {

class Bundle;
class NSColor;
using NSColorPtr = std::shared_ptr<const NSColor>;

// The components a Core Graphics colour carries.
struct CGColor {
    CGFloat red = 0, green = 0, blue = 0, alpha = 0;
    friend bool operator==(const CGColor&, const CGColor&) = default;
};

class NSColor {
public:
    NSColor(CGFloat r, CGFloat g, CGFloat b, CGFloat a);

    static NSColorPtr colorWithSRGBRed(CGFloat r, CGFloat g, CGFloat b, CGFloat a);
    static NSColorPtr colorWithCalibratedRed(CGFloat r, CGFloat g, CGFloat b, CGFloat a);
    static NSColorPtr colorWithDeviceRed(CGFloat r, CGFloat g, CGFloat b, CGFloat a);
    static NSColorPtr colorWithRed(CGFloat r, CGFloat g, CGFloat b, CGFloat a);
    static NSColorPtr colorWithWhite(CGFloat white, CGFloat a);
    static NSColorPtr colorWithCGColor(const CGColor& c);

    static NSColorPtr clearColor();
    static NSColorPtr whiteColor();
    static NSColorPtr blackColor();
    static NSColorPtr grayColor();
    static NSColorPtr lightGrayColor();
    static NSColorPtr darkGrayColor();
    static NSColorPtr redColor();
    static NSColorPtr greenColor();
    static NSColorPtr blueColor();
    static NSColorPtr linkColor();
    static NSColorPtr textColor();
    static NSColorPtr labelColor();
    static NSColorPtr secondaryLabelColor();
    static NSColorPtr controlColor();
    static NSColorPtr controlTextColor();
    static NSColorPtr disabledControlTextColor();
    static NSColorPtr textBackgroundColor();
    static NSColorPtr windowBackgroundColor();
    static NSColorPtr selectedTextBackgroundColor();

    // A colour asset "<name>.colorset" of the bundle's asset catalogue (the main bundle
    // when none is given); null when there is none or it cannot be read.
    static NSColorPtr colorNamed(const std::string& name);
    static NSColorPtr colorNamed(const std::string& name, const Bundle& bundle);

    CGFloat redComponent() const { return c_.red; }
    CGFloat greenComponent() const { return c_.green; }
    CGFloat blueComponent() const { return c_.blue; }
    CGFloat alphaComponent() const { return c_.alpha; }
    CGColor cgColor() const { return c_; }
    NSColorPtr colorWithAlphaComponent(CGFloat alpha) const;
    // Names the asset it came from, when it did.
    const std::string& colorName() const { return name_; }

    // Fills in the current graphics context.
    void set() const;
    void setFill() const { set(); }
    void drawSwatchInRect(const CGRect& rect) const;

    bool operator==(const NSColor& other) const { return c_ == other.c_; }

private:
    CGColor c_;
    std::string name_;
};

// Fills a rectangle with the current fill colour (source-over unless the context says otherwise).
void NSRectFill(const CGRect& rect);
enum class NSCompositingOperation;
// Fills with the current fill colour using a compositing operation (copy replaces).
void NSRectFillUsingOperation(const CGRect& rect, NSCompositingOperation op);

}  // namespace platform

// Bitmap images: PNG files, named images from a bundle, images drawn in code
// (lockFocus/unlockFocus), and drawing into the current context.
#pragma once
#include <cairo.h>

#include <memory>
#include <string>

#include "platform/graphics/Geometry.h"
#include "platform/graphics/NSColor.h"
#include "platform/graphics/NSGraphicsContext.h"

namespace platform {

class Bundle;
class NSImage;
using NSImagePtr = std::shared_ptr<NSImage>;

class NSImage {
public:
    // A transparent image of `size` points (one pixel per point, at least 1 × 1).
    static NSImagePtr imageWithSize(CGSize size);
    // Null when the file is missing or not a PNG.
    static NSImagePtr imageWithContentsOfFile(const std::string& path);
    // An asset "<name>.imageset" of the bundle's catalogue or a resource "<name>.png";
    // the main bundle when none is given. Null when there is none.
    static NSImagePtr imageNamed(const std::string& name);
    static NSImagePtr imageNamed(const std::string& name, const Bundle& bundle);

    ~NSImage();
    NSImage(const NSImage&) = delete;
    NSImage& operator=(const NSImage&) = delete;

    const std::string& name() const { return name_; }
    // The size the image is drawn at by default; setting it keeps the pixels.
    CGSize size() const { return size_; }
    void setSize(CGSize size) { size_ = size; }
    CGSize pixelSize() const;
    bool isValid() const { return surface_ != nullptr; }

    // Makes the image the current drawing destination (y up, as Core Graphics draws).
    void lockFocus();
    void unlockFocus();

    // Draws `fromRect` of the image (the whole image when empty) into `rect`, upright,
    // at opacity `fraction`.
    void drawInRect(const CGRect& rect, const CGRect& fromRect = CGRectZero,
                    NSCompositingOperation op = NSCompositingOperation::sourceOver, CGFloat fraction = 1,
                    bool respectFlipped = true) const;
    void drawInContext(CGContext& context, const CGRect& rect, CGFloat fraction = 1) const;

    // The colour of the pixel at (x, y) from the top-left, for tests and swatches.
    CGColor colorAtPixel(int x, int y) const;
    bool writePNG(const std::string& path) const;
    cairo_surface_t* surface() const { return surface_; }

private:
    explicit NSImage(cairo_surface_t* surface, CGSize size);
    cairo_surface_t* surface_;
    CGSize size_;
    std::string name_;
    cairo_t* focus_ = nullptr;
    std::unique_ptr<NSGraphicsContext> focusContext_;
};

// The colour of a pixel of an image surface (un-premultiplied), from the top-left.
CGColor pixelColor(cairo_surface_t* surface, int x, int y);

}  // namespace platform

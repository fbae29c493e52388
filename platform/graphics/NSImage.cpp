// PNG loading, named images, drawing images in code and into contexts.
#include "platform/graphics/NSImage.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "platform/files/Bundle.h"

namespace platform {

NSImage::NSImage(cairo_surface_t* surface, CGSize size) : surface_(surface), size_(size) {}

NSImage::~NSImage() {
    if (focus_) unlockFocus();
    if (surface_) cairo_surface_destroy(surface_);
}

NSImagePtr NSImage::imageWithSize(CGSize size) {
    int w = std::max(1, static_cast<int>(std::ceil(size.width)));
    int h = std::max(1, static_cast<int>(std::ceil(size.height)));
    auto* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    return NSImagePtr(new NSImage(s, size));
}

NSImagePtr NSImage::imageWithContentsOfFile(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return nullptr;
    auto* s = cairo_image_surface_create_from_png(path.c_str());
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(s);
        return nullptr;
    }
    CGSize size{double(cairo_image_surface_get_width(s)), double(cairo_image_surface_get_height(s))};
    return NSImagePtr(new NSImage(s, size));
}

NSImagePtr NSImage::imageNamed(const std::string& name) {
    auto bundle = Bundle::main();
    return bundle ? imageNamed(name, *bundle) : nullptr;
}

NSImagePtr NSImage::imageNamed(const std::string& name, const Bundle& bundle) {
    // An image set names its files in Contents.json; the 1x file is drawn at its pixel
    // size, a 2x file at half of it.
    for (const char* catalogue : {"Assets.xcassets", "Images.xcassets"}) {
        auto set = bundle.url(name, "imageset", catalogue);
        if (!set) continue;
        std::ifstream in(set->path() + "/Contents.json");
        auto json = nlohmann::json::parse(in, nullptr, false);
        if (json.is_discarded() || !json.contains("images")) continue;
        NSImagePtr best;
        double bestScale = 0;
        for (const auto& entry : json["images"]) {
            if (!entry.contains("filename")) continue;
            double scale = 1;
            if (entry.contains("scale")) scale = std::atof(entry["scale"].get<std::string>().c_str());
            if (scale <= 0) scale = 1;
            auto image = imageWithContentsOfFile(set->path() + "/" + entry["filename"].get<std::string>());
            if (!image || (best && scale <= bestScale)) continue;
            image->size_ = {image->size_.width / scale, image->size_.height / scale};
            best = image;
            bestScale = scale;
        }
        if (best) {
            best->name_ = name;
            return best;
        }
    }
    for (const char* extension : {"png", ""}) {
        if (auto url = bundle.url(name, extension)) {
            if (auto image = imageWithContentsOfFile(url->path())) {
                image->name_ = name;
                return image;
            }
        }
    }
    return nullptr;
}

CGSize NSImage::pixelSize() const {
    if (!surface_) return {};
    return {double(cairo_image_surface_get_width(surface_)), double(cairo_image_surface_get_height(surface_))};
}

void NSImage::lockFocus() {
    if (focus_ || !surface_) return;
    focus_ = cairo_create(surface_);
    auto px = pixelSize();
    // Core Graphics space: origin at the bottom-left, y up, in points.
    cairo_translate(focus_, 0, px.height);
    cairo_scale(focus_, px.width / std::max(size_.width, 1e-9), -px.height / std::max(size_.height, 1e-9));
    focusContext_ = std::make_unique<NSGraphicsContext>(focus_, false);
    NSGraphicsContext::push(focusContext_.get());
}

void NSImage::unlockFocus() {
    if (!focus_) return;
    NSGraphicsContext::pop();
    focusContext_.reset();
    cairo_surface_flush(surface_);
    cairo_destroy(focus_);
    focus_ = nullptr;
}

void NSImage::drawInContext(CGContext& context, const CGRect& rect, CGFloat fraction) const {
    if (!surface_ || rect.isEmpty()) return;
    auto px = pixelSize();
    cairo_t* cr = context.cairo();
    cairo_save(cr);
    if (context.isYUp()) {
        cairo_translate(cr, rect.minX(), rect.maxY());
        cairo_scale(cr, rect.width() / px.width, -rect.height() / px.height);
    } else {
        cairo_translate(cr, rect.minX(), rect.minY());
        cairo_scale(cr, rect.width() / px.width, rect.height() / px.height);
    }
    cairo_set_source_surface(cr, surface_, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
    cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
    cairo_rectangle(cr, 0, 0, px.width, px.height);
    cairo_clip(cr);
    cairo_paint_with_alpha(cr, std::clamp(fraction, 0.0, 1.0) * context.alpha());
    cairo_restore(cr);
}

void NSImage::drawInRect(const CGRect& rect, const CGRect& fromRect, NSCompositingOperation op, CGFloat fraction,
                         bool) const {
    auto* current = NSGraphicsContext::currentContext();
    if (!current) return;
    auto& cg = current->cgContext();
    cg.saveGState();
    if (op == NSCompositingOperation::copy) cg.setBlendMode(CGBlendMode::copy);
    if (!fromRect.isEmpty() && !(fromRect.size == size_)) {
        // Only the part asked for: scale so that `fromRect` lands on `rect`.
        double sx = rect.width() / fromRect.width(), sy = rect.height() / fromRect.height();
        cg.clipToRect(rect);
        CGRect whole{rect.minX() - fromRect.minX() * sx, rect.minY() - fromRect.minY() * sy, size_.width * sx,
                     size_.height * sy};
        drawInContext(cg, whole, fraction);
    } else {
        drawInContext(cg, rect, fraction);
    }
    cg.restoreGState();
}

CGColor pixelColor(cairo_surface_t* surface, int x, int y) {
    if (!surface) return {};
    cairo_surface_flush(surface);
    int w = cairo_image_surface_get_width(surface), h = cairo_image_surface_get_height(surface);
    if (x < 0 || y < 0 || x >= w || y >= h) return {};
    const unsigned char* data = cairo_image_surface_get_data(surface);
    int stride = cairo_image_surface_get_stride(surface);
    std::uint32_t p = *reinterpret_cast<const std::uint32_t*>(data + y * stride + x * 4);
    double a = ((p >> 24) & 0xff) / 255.0;
    if (cairo_image_surface_get_format(surface) != CAIRO_FORMAT_ARGB32) a = 1;
    auto un = [&](int shift) { return a > 0 ? std::min(1.0, ((p >> shift) & 0xff) / 255.0 / a) : 0.0; };
    return {un(16), un(8), un(0), a};
}

CGColor NSImage::colorAtPixel(int x, int y) const { return pixelColor(surface_, x, y); }

bool NSImage::writePNG(const std::string& path) const {
    return surface_ && cairo_surface_write_to_png(surface_, path.c_str()) == CAIRO_STATUS_SUCCESS;
}

}  // namespace platform

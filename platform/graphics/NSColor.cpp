// Colour construction, the system colours, colour assets and fills.
#include "platform/graphics/NSColor.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <fstream>
#include <map>
#include <optional>

#include "platform/base/NoDestructor.h"
#include "platform/base/Protected.h"
#include "platform/files/Bundle.h"
#include "platform/graphics/NSGraphicsContext.h"

namespace platform {

NSColor::NSColor(CGFloat r, CGFloat g, CGFloat b, CGFloat a) {
    auto clamp = [](CGFloat v) { return std::clamp(v, 0.0, 1.0); };
    c_ = {clamp(r), clamp(g), clamp(b), clamp(a)};
}

NSColorPtr NSColor::colorWithSRGBRed(CGFloat r, CGFloat g, CGFloat b, CGFloat a) {
    return std::make_shared<NSColor>(r, g, b, a);
}
NSColorPtr NSColor::colorWithCalibratedRed(CGFloat r, CGFloat g, CGFloat b, CGFloat a) {
    return colorWithSRGBRed(r, g, b, a);
}
NSColorPtr NSColor::colorWithDeviceRed(CGFloat r, CGFloat g, CGFloat b, CGFloat a) {
    return colorWithSRGBRed(r, g, b, a);
}
NSColorPtr NSColor::colorWithRed(CGFloat r, CGFloat g, CGFloat b, CGFloat a) { return colorWithSRGBRed(r, g, b, a); }
NSColorPtr NSColor::colorWithWhite(CGFloat w, CGFloat a) { return colorWithSRGBRed(w, w, w, a); }
NSColorPtr NSColor::colorWithCGColor(const CGColor& c) { return colorWithSRGBRed(c.red, c.green, c.blue, c.alpha); }

#define PLATFORM_FIXED_COLOR(fn, r, g, b, a)                                                                           \
    NSColorPtr NSColor::fn() {                                                                                         \
        static const NoDestructor<NSColorPtr> c(colorWithSRGBRed(r, g, b, a));                                         \
        return *c;                                                                                                     \
    }
PLATFORM_FIXED_COLOR(clearColor, 0, 0, 0, 0)
PLATFORM_FIXED_COLOR(whiteColor, 1, 1, 1, 1)
PLATFORM_FIXED_COLOR(blackColor, 0, 0, 0, 1)
PLATFORM_FIXED_COLOR(grayColor, 0.5, 0.5, 0.5, 1)
PLATFORM_FIXED_COLOR(lightGrayColor, 2.0 / 3, 2.0 / 3, 2.0 / 3, 1)
PLATFORM_FIXED_COLOR(darkGrayColor, 1.0 / 3, 1.0 / 3, 1.0 / 3, 1)
PLATFORM_FIXED_COLOR(redColor, 1, 0, 0, 1)
PLATFORM_FIXED_COLOR(greenColor, 0, 1, 0, 1)
PLATFORM_FIXED_COLOR(blueColor, 0, 0, 1, 1)
PLATFORM_FIXED_COLOR(linkColor, 0.0, 0.41, 0.85, 1)
PLATFORM_FIXED_COLOR(textColor, 0, 0, 0, 1)
PLATFORM_FIXED_COLOR(labelColor, 0, 0, 0, 0.85)
PLATFORM_FIXED_COLOR(secondaryLabelColor, 0, 0, 0, 0.5)
PLATFORM_FIXED_COLOR(controlColor, 1, 1, 1, 1)
PLATFORM_FIXED_COLOR(controlTextColor, 0, 0, 0, 0.85)
PLATFORM_FIXED_COLOR(disabledControlTextColor, 0, 0, 0, 0.25)
PLATFORM_FIXED_COLOR(textBackgroundColor, 1, 1, 1, 1)
PLATFORM_FIXED_COLOR(windowBackgroundColor, 0.93, 0.93, 0.93, 1)
PLATFORM_FIXED_COLOR(selectedTextBackgroundColor, 0.7, 0.84, 1.0, 1)
#undef PLATFORM_FIXED_COLOR

NSColorPtr NSColor::colorWithAlphaComponent(CGFloat alpha) const {
    auto c = std::make_shared<NSColor>(c_.red, c_.green, c_.blue, alpha);
    c->name_ = name_;
    return c;
}

namespace {

// A component as asset catalogues write it: "0xFF", "255" or "0.502".
double component(const nlohmann::json& v) {
    std::string s = v.is_string() ? v.get<std::string>() : v.dump();
    try {
        if (s.rfind("0x", 0) == 0 || s.rfind("0X", 0) == 0) return std::stoi(s.substr(2), nullptr, 16) / 255.0;
        if (s.find('.') != std::string::npos) return std::stod(s);
        double n = std::stod(s);
        return n > 1 ? n / 255.0 : n;
    } catch (...) {
        return 0;
    }
}

NSColorPtr readColorSet(const std::string& file, const std::string& name) {
    std::ifstream in(file);
    if (!in) return nullptr;
    auto json = nlohmann::json::parse(in, nullptr, false);
    if (json.is_discarded() || !json.contains("colors") || !json["colors"].is_array()) return nullptr;
    // The universal, light-appearance entry: the first one without appearance variants.
    for (const auto& entry : json["colors"]) {
        if (entry.contains("appearances") || !entry.contains("color")) continue;
        const auto& color = entry["color"];
        if (!color.contains("components")) continue;
        const auto& c = color["components"];
        double a = c.contains("alpha") ? component(c["alpha"]) : 1.0;
        std::shared_ptr<NSColor> result;
        if (c.contains("white")) {
            double w = component(c["white"]);
            result = std::make_shared<NSColor>(w, w, w, a);
        } else {
            result = std::make_shared<NSColor>(component(c.value("red", nlohmann::json("0"))),
                                               component(c.value("green", nlohmann::json("0"))),
                                               component(c.value("blue", nlohmann::json("0"))), a);
        }
        (void)name;
        return result;
    }
    return nullptr;
}

}  // namespace

NSColorPtr NSColor::colorNamed(const std::string& name) {
    auto bundle = Bundle::main();
    return bundle ? colorNamed(name, *bundle) : nullptr;
}

NSColorPtr NSColor::colorNamed(const std::string& name, const Bundle& bundle) {
    static NoDestructor<Protected<std::map<std::string, NSColorPtr>>> cache;
    std::string key = bundle.bundlePath() + "\n" + name;
    auto known = cache->read([&](const auto& colors) -> std::optional<NSColorPtr> {
        if (auto it = colors.find(key); it != colors.end()) return it->second;
        return std::nullopt;
    });
    if (known) return *known;
    NSColorPtr color;
    for (const char* catalogue : {"Assets.xcassets", "Colors.xcassets", ""}) {
        auto url = bundle.url(name, "colorset", catalogue);
        if (!url) continue;
        if (auto c = readColorSet(url->path() + "/Contents.json", name)) {
            auto named = std::make_shared<NSColor>(*c);
            named->name_ = name;
            color = named;
            break;
        }
    }
    if (color) cache->write([&](auto& colors) { colors[key] = color; });
    return color;
}

void NSColor::set() const {
    if (auto* ctx = NSGraphicsContext::currentContext()) ctx->cgContext().setFillColor(c_);
}

void NSColor::drawSwatchInRect(const CGRect& rect) const {
    auto* ctx = NSGraphicsContext::currentContext();
    if (!ctx) return;
    auto& cg = ctx->cgContext();
    cg.saveGState();
    cg.setFillColor(c_);
    cg.setBlendMode(CGBlendMode::copy);
    cg.fillRect(rect);
    cg.restoreGState();
}

void NSRectFill(const CGRect& rect) {
    auto* ctx = NSGraphicsContext::currentContext();
    if (!ctx) return;
    ctx->cgContext().fillRect(rect);
}

void NSRectFillUsingOperation(const CGRect& rect, NSCompositingOperation op) {
    auto* ctx = NSGraphicsContext::currentContext();
    if (!ctx) return;
    auto& cg = ctx->cgContext();
    cg.saveGState();
    if (op == NSCompositingOperation::copy) cg.setBlendMode(CGBlendMode::copy);
    else if (op == NSCompositingOperation::clear) cg.setBlendMode(CGBlendMode::clear);
    cg.fillRect(rect);
    cg.restoreGState();
}

}  // namespace platform

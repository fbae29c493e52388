// Core Graphics style drawing on Cairo.
#include "platform/graphics/CGContext.h"

#include <cmath>

namespace platform {

CGContext::CGContext(cairo_t* cr) : cr_(cairo_reference(cr)) {}
CGContext::~CGContext() { cairo_destroy(cr_); }

void CGContext::saveGState() {
    cairo_save(cr_);
    saved_.push_back({fill_, stroke_, alpha_, mode_});
}

void CGContext::restoreGState() {
    if (saved_.empty()) return;
    cairo_restore(cr_);
    fill_ = saved_.back().fill;
    stroke_ = saved_.back().stroke;
    alpha_ = saved_.back().alpha;
    mode_ = saved_.back().mode;
    saved_.pop_back();
}

void CGContext::translateBy(CGFloat tx, CGFloat ty) { cairo_translate(cr_, tx, ty); }
void CGContext::scaleBy(CGFloat sx, CGFloat sy) { cairo_scale(cr_, sx, sy); }

void CGContext::concatenate(const CGAffineTransform& t) {
    cairo_matrix_t m;
    cairo_matrix_init(&m, t.a, t.b, t.c, t.d, t.tx, t.ty);
    cairo_transform(cr_, &m);
}

CGAffineTransform CGContext::currentTransform() const {
    cairo_matrix_t m;
    cairo_get_matrix(cr_, &m);
    return {m.xx, m.yx, m.xy, m.yy, m.x0, m.y0};
}

bool CGContext::isYUp() const {
    cairo_matrix_t m;
    cairo_get_matrix(cr_, &m);
    return m.yy < 0;
}

void CGContext::setFillColor(const CGColor& c) { fill_ = c; }
void CGContext::setStrokeColor(const CGColor& c) { stroke_ = c; }
void CGContext::setLineWidth(CGFloat w) { cairo_set_line_width(cr_, w); }
void CGContext::setBlendMode(CGBlendMode mode) { mode_ = mode; }

void CGContext::applyOperator() {
    switch (mode_) {
        case CGBlendMode::copy: cairo_set_operator(cr_, CAIRO_OPERATOR_SOURCE); break;
        case CGBlendMode::clear: cairo_set_operator(cr_, CAIRO_OPERATOR_CLEAR); break;
        default: cairo_set_operator(cr_, CAIRO_OPERATOR_OVER); break;
    }
}

void CGContext::applyFill() {
    applyOperator();
    cairo_set_source_rgba(cr_, fill_.red, fill_.green, fill_.blue, fill_.alpha * alpha_);
}

void CGContext::addPath(const CGPath& p) {
    const CGRect& r = p.rect;
    double rx = std::min(p.cornerWidth, r.width() / 2), ry = std::min(p.cornerHeight, r.height() / 2);
    if (rx <= 0 || ry <= 0) {
        cairo_rectangle(cr_, r.minX(), r.minY(), r.width(), r.height());
        return;
    }
    // Elliptical corners through a scaled unit arc.
    double x0 = r.minX(), y0 = r.minY(), x1 = r.maxX(), y1 = r.maxY();
    cairo_new_sub_path(cr_);
    auto corner = [&](double cx, double cy, double a0, double a1) {
        cairo_save(cr_);
        cairo_translate(cr_, cx, cy);
        cairo_scale(cr_, rx, ry);
        cairo_arc(cr_, 0, 0, 1, a0, a1);
        cairo_restore(cr_);
    };
    corner(x1 - rx, y0 + ry, -M_PI / 2, 0);
    corner(x1 - rx, y1 - ry, 0, M_PI / 2);
    corner(x0 + rx, y1 - ry, M_PI / 2, M_PI);
    corner(x0 + rx, y0 + ry, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr_);
}

void CGContext::fillRect(const CGRect& r) { fillPath(CGPath::rectangle(r)); }

void CGContext::clearRect(const CGRect& r) {
    cairo_save(cr_);
    cairo_set_operator(cr_, CAIRO_OPERATOR_CLEAR);
    cairo_rectangle(cr_, r.minX(), r.minY(), r.width(), r.height());
    cairo_fill(cr_);
    cairo_restore(cr_);
}

void CGContext::strokeRect(const CGRect& r) { strokePath(CGPath::rectangle(r)); }

void CGContext::fillPath(const CGPath& p) {
    cairo_save(cr_);
    applyFill();
    cairo_new_path(cr_);
    addPath(p);
    cairo_fill(cr_);
    cairo_restore(cr_);
}

void CGContext::strokePath(const CGPath& p) {
    cairo_save(cr_);
    applyOperator();
    cairo_set_source_rgba(cr_, stroke_.red, stroke_.green, stroke_.blue, stroke_.alpha * alpha_);
    cairo_new_path(cr_);
    addPath(p);
    cairo_stroke(cr_);
    cairo_restore(cr_);
}

void CGContext::clipToRect(const CGRect& r) { clipToPath(CGPath::rectangle(r)); }

void CGContext::clipToPath(const CGPath& p) {
    cairo_new_path(cr_);
    addPath(p);
    cairo_clip(cr_);
}

void CGContext::flush() { cairo_surface_flush(cairo_get_target(cr_)); }

}  // namespace platform

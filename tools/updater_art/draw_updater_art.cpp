// Draws the updater window's two pictures with Cairo: a soft background for the 640 × 480
// content area and a small rocket. Usage: draw_updater_art <background.png> <rocket.png>
#include <cairo.h>

#include <cmath>
#include <cstdio>
#include <initializer_list>

namespace {

void rgb(cairo_t* cr, unsigned hex, double alpha = 1) {
    cairo_set_source_rgba(cr, ((hex >> 16) & 0xff) / 255.0, ((hex >> 8) & 0xff) / 255.0, (hex & 0xff) / 255.0, alpha);
}

// Light sky: white at the bottom fading into pale blue at the top, with two faint rings
// in the top-right corner and a band of small stars.
void drawBackground(cairo_t* cr, int w, int h) {
    cairo_pattern_t* sky = cairo_pattern_create_linear(0, 0, 0, h);
    cairo_pattern_add_color_stop_rgb(sky, 0.0, 0xE8 / 255.0, 0xF0 / 255.0, 0xFF / 255.0);
    cairo_pattern_add_color_stop_rgb(sky, 0.45, 0xF7 / 255.0, 0xF9 / 255.0, 0xFF / 255.0);
    cairo_pattern_add_color_stop_rgb(sky, 1.0, 1, 1, 1);
    cairo_set_source(cr, sky);
    cairo_paint(cr);
    cairo_pattern_destroy(sky);

    for (int i = 0; i < 2; ++i) {
        rgb(cr, 0x3370FF, 0.06 - 0.02 * i);
        cairo_arc(cr, w - 40, 20, 150 + 80 * i, 0, 2 * M_PI);
        cairo_set_line_width(cr, 28);
        cairo_stroke(cr);
    }
    const double stars[][3] = {{470, 40, 2}, {520, 92, 1.5}, {585, 60, 2.5}, {410, 70, 1.2}, {600, 130, 1.5}};
    for (const auto& s : stars) {
        rgb(cr, 0x3370FF, 0.35);
        cairo_arc(cr, s[0], s[1], s[2], 0, 2 * M_PI);
        cairo_fill(cr);
    }
}

// A rocket pointing up-right: body, window, fins and flame, in a 64-point square.
void drawRocket(cairo_t* cr, int size) {
    double s = size / 64.0;
    cairo_scale(cr, s, s);
    cairo_translate(cr, 32, 32);
    cairo_rotate(cr, M_PI / 4);

    // Flame.
    cairo_pattern_t* flame = cairo_pattern_create_linear(0, 14, 0, 30);
    cairo_pattern_add_color_stop_rgb(flame, 0, 1.0, 0.62, 0.16);
    cairo_pattern_add_color_stop_rgba(flame, 1, 1.0, 0.83, 0.3, 0.0);
    cairo_set_source(cr, flame);
    cairo_move_to(cr, -6, 14);
    cairo_curve_to(cr, -6, 22, -2, 28, 0, 31);
    cairo_curve_to(cr, 2, 28, 6, 22, 6, 14);
    cairo_close_path(cr);
    cairo_fill(cr);
    cairo_pattern_destroy(flame);

    // Fins.
    rgb(cr, 0x245BDB);
    for (int side : {-1, 1}) {
        cairo_move_to(cr, side * 7, 2);
        cairo_line_to(cr, side * 15, 14);
        cairo_line_to(cr, side * 15, 19);
        cairo_line_to(cr, side * 7, 14);
        cairo_close_path(cr);
        cairo_fill(cr);
    }

    // Body.
    cairo_pattern_t* body = cairo_pattern_create_linear(-9, 0, 9, 0);
    cairo_pattern_add_color_stop_rgb(body, 0, 1, 1, 1);
    cairo_pattern_add_color_stop_rgb(body, 1, 0xD6 / 255.0, 0xE2 / 255.0, 0xFF / 255.0);
    cairo_set_source(cr, body);
    cairo_pattern_destroy(body);  // the context holds its own reference
    cairo_move_to(cr, 0, -28);
    cairo_curve_to(cr, 10, -18, 10, 4, 8, 16);
    cairo_line_to(cr, -8, 16);
    cairo_curve_to(cr, -10, 4, -10, -18, 0, -28);
    cairo_close_path(cr);
    cairo_fill_preserve(cr);
    rgb(cr, 0x3370FF);
    cairo_set_line_width(cr, 1.5);
    cairo_stroke(cr);

    // Nose and window.
    rgb(cr, 0x3370FF);
    cairo_move_to(cr, 0, -28);
    cairo_curve_to(cr, 4, -24, 6, -21, 7, -18);
    cairo_line_to(cr, -7, -18);
    cairo_curve_to(cr, -6, -21, -4, -24, 0, -28);
    cairo_close_path(cr);
    cairo_fill(cr);
    rgb(cr, 0x3370FF);
    cairo_arc(cr, 0, -6, 5, 0, 2 * M_PI);
    cairo_fill(cr);
    rgb(cr, 0xE8F0FF);
    cairo_arc(cr, 0, -6, 3.2, 0, 2 * M_PI);
    cairo_fill(cr);
}

bool write(const char* path, int w, int h, void (*draw)(cairo_t*, int, int)) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cairo_t* cr = cairo_create(surface);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_BEST);
    draw(cr, w, h);
    cairo_destroy(cr);
    bool ok = cairo_surface_write_to_png(surface, path) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    if (!ok) std::fprintf(stderr, "cannot write %s\n", path);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <background.png> <rocket.png>\n", argv[0]);
        return 2;
    }
    bool ok = write(argv[1], 640, 480, drawBackground);
    ok = write(argv[2], 64, 64, [](cairo_t* cr, int w, int) { drawRocket(cr, w); }) && ok;
    return ok ? 0 : 1;
}

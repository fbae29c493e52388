// Backend choice, the off-screen backend and snapshots.
#include "platform/appkit/WindowBackend.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform {

void writeSnapshotIfRequested(cairo_surface_t* surface) {
    const char* path = std::getenv("SKYREACH_SNAPSHOT");
    if (!path || !*path || !surface) return;
    if (cairo_surface_write_to_png(surface, path) != CAIRO_STATUS_SUCCESS)
        std::fprintf(stderr, "cannot write the window snapshot to %s\n", path);
}

namespace {

// Draws into an image that only snapshots (and tests) look at.
class OffscreenBackend : public WindowBackend {
public:
    ~OffscreenBackend() override {
        if (surface_) cairo_surface_destroy(surface_);
    }
    void setFrame(const CGRect&) override {}
    void show() override { shown_ = true; }
    void hide() override { shown_ = false; }
    cairo_surface_t* beginFrame(int width, int height) override {
        if (!surface_ || cairo_image_surface_get_width(surface_) != width ||
            cairo_image_surface_get_height(surface_) != height) {
            if (surface_) cairo_surface_destroy(surface_);
            surface_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
        }
        return surface_;
    }
    void present() override { writeSnapshotIfRequested(surface_); }
    CGSize screenSize() const override { return {1920, 1080}; }
    bool isOnScreen() const override { return shown_; }

private:
    cairo_surface_t* surface_ = nullptr;
    bool shown_ = false;
};

}  // namespace

std::unique_ptr<WindowBackend> WindowBackend::create(NSWindow& window) {
    const char* choice = std::getenv("SKYREACH_WINDOW_BACKEND");
    bool wantX11 = choice ? std::strcmp(choice, "x11") == 0 : (std::getenv("DISPLAY") && *std::getenv("DISPLAY"));
    if (wantX11 && !(choice && std::strcmp(choice, "offscreen") == 0)) {
        if (auto x = makeX11Backend(window)) return x;
    }
    return std::make_unique<OffscreenBackend>();
}

void WindowBackend::pumpEvents() { pumpX11Events(); }

}  // namespace platform

// A sample window for the X11 tests and for looking at: title, subtitle, a scrolling
// text, a progress strip, a button and a link line, laid out with constraints.
// Prints "clicked" when the button is pressed, "active" and "inactive" when the
// application becomes or resigns active, and "terminating" when the app ends.
#include <cstdio>

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSButton.h"
#include "platform/appkit/NSScrollView.h"
#include "platform/appkit/NSTextField.h"
#include "platform/appkit/NSTextView.h"
#include "platform/appkit/NSWindow.h"

using namespace platform;

namespace {

class Actions : public Object {
    PLATFORM_OBJECT(Actions, Object)
public:
    static void registerMethods(Class& c) {
        c.addMethod("clicked:", [](Actions&, ObjectPtr) {
            std::printf("clicked\n");
            std::fflush(stdout);
        });
    }
};

class Delegate : public NSApplicationDelegate {
public:
    bool applicationShouldTerminateAfterLastWindowClosed(NSApplication&) override { return true; }
    void applicationWillTerminate(const Notification&) override {
        std::printf("terminating\n");
        std::fflush(stdout);
    }
};

NSColorPtr rgb(int hex) {
    return NSColor::colorWithSRGBRed(((hex >> 16) & 0xff) / 255.0, ((hex >> 8) & 0xff) / 255.0, (hex & 0xff) / 255.0,
                                     1);
}

std::shared_ptr<NSTextField> label(const std::string& text, double size, int color) {
    auto l = NSTextField::labelWithString(text);
    l->setFont(NSFont::fontWithName("PingFangSC-Regular", size));
    l->setTextColor(rgb(color));
    l->setTranslatesAutoresizingMaskIntoConstraints(false);
    return l;
}

NSViewPtr box(int color, double radius) {
    auto v = NSView::create();
    v->setWantsLayer(true);
    v->layer()->backgroundColor = rgb(color)->cgColor();
    v->layer()->cornerRadius = radius;
    v->setTranslatesAutoresizingMaskIntoConstraints(false);
    return v;
}

}  // namespace

int main() {
    auto app = NSApplication::shared();
    auto delegate = std::make_shared<Delegate>();
    app->setDelegate(delegate);
    auto actions = std::make_shared<Actions>();

    auto window = NSWindow::create({0, 0, 640, 480}, NSWindowStyleMaskTitled | NSWindowStyleMaskClosable |
                                                         NSWindowStyleMaskFullSizeContentView);
    window->setTitle("Skyreach Sample");
    window->setTitleVisibility(NSWindowTitleVisibility::hidden);
    window->setTitlebarAppearsTransparent(true);
    window->setMovableByWindowBackground(true);
    window->standardWindowButton(NSWindowButton::miniaturizeButton)->setHidden(true);
    window->standardWindowButton(NSWindowButton::zoomButton)->setHidden(true);
    auto content = window->contentView();
    content->setWantsLayer(true);
    content->layer()->backgroundColor = CGColor{1, 1, 1, 1};

    auto title = label("Skyreach 更新", 20, 0x1f2329);
    auto subtitle = label("请更新到新版本 3.2.0 (320)", 14, 0x646a73);
    auto scroll = NSScrollView::create();
    scroll->setTranslatesAutoresizingMaskIntoConstraints(false);
    scroll->setWantsLayer(true);
    scroll->layer()->cornerRadius = 8;
    scroll->layer()->masksToBounds = true;
    auto log = NSTextView::create();
    log->setAutoresizingMask(NSViewWidthSizable);
    log->setEditable(false);
    log->setBackgroundColor(rgb(0xf5f6f7));
    log->setTextContainerInset({18, 20});
    log->setTypingAttributes({{NSFontAttributeName, NSFont::fontWithName("PingFangSC-Regular", 13)},
                              {NSForegroundColorAttributeName, rgb(0x646a73)}});
    scroll->setDocumentView(log);
    auto track = box(0xdee0e3, 3);
    auto fill = box(0x3370ff, 3);
    auto status = label("正在下载…", 14, 0x646a73);
    auto percent = label("42%", 14, 0x3370ff);
    auto button = NSButton::create();
    button->setBordered(false);
    button->setWantsLayer(true);
    button->layer()->backgroundColor = rgb(0x3370ff)->cgColor();
    button->layer()->cornerRadius = 4;
    NSAttributedString buttonTitle("暂停", {{NSFontAttributeName, NSFont::fontWithName("PingFangSC-Regular", 16)},
                                            {NSForegroundColorAttributeName, NSColor::whiteColor()}});
    button->setAttributedTitle(buttonTitle);
    button->setTarget(actions);
    button->setAction("clicked:");
    button->setTranslatesAutoresizingMaskIntoConstraints(false);
    auto link = label("官方网站: skyreach.example", 12, 0x8f959e);
    for (const NSViewPtr& v : std::vector<NSViewPtr>{title, subtitle, scroll, track, status, percent, button, link})
        content->addSubview(v);
    track->addSubview(fill);

    NSLayoutConstraint::activateConstraints({
        title->topAnchor().constraintEqualToAnchor(content->topAnchor(), 60),
        title->leftAnchor().constraintEqualToAnchor(content->leftAnchor(), 40),
        subtitle->topAnchor().constraintEqualToAnchor(title->bottomAnchor(), 12),
        subtitle->leftAnchor().constraintEqualToAnchor(title->leftAnchor()),
        scroll->topAnchor().constraintEqualToAnchor(content->topAnchor(), 160),
        scroll->leftAnchor().constraintEqualToAnchor(content->leftAnchor(), 40),
        scroll->rightAnchor().constraintEqualToAnchor(content->rightAnchor(), -40),
        scroll->heightAnchor().constraintEqualToConstant(120),
        track->topAnchor().constraintEqualToAnchor(scroll->bottomAnchor(), 20),
        track->leadingAnchor().constraintEqualToAnchor(scroll->leadingAnchor()),
        track->trailingAnchor().constraintEqualToAnchor(scroll->trailingAnchor()),
        track->heightAnchor().constraintEqualToConstant(6),
        fill->topAnchor().constraintEqualToAnchor(track->topAnchor()),
        fill->leadingAnchor().constraintEqualToAnchor(track->leadingAnchor()),
        fill->heightAnchor().constraintEqualToAnchor(track->heightAnchor()),
        fill->widthAnchor().constraintEqualToAnchor(track->widthAnchor(), 0.42),
        status->topAnchor().constraintEqualToAnchor(track->bottomAnchor(), 6),
        status->leadingAnchor().constraintEqualToAnchor(track->leadingAnchor()),
        percent->topAnchor().constraintEqualToAnchor(track->bottomAnchor(), 6),
        percent->trailingAnchor().constraintEqualToAnchor(track->trailingAnchor()),
        button->topAnchor().constraintEqualToAnchor(status->bottomAnchor(), 26),
        button->centerXAnchor().constraintEqualToAnchor(content->centerXAnchor()),
        button->widthAnchor().constraintEqualToConstant(200),
        button->heightAnchor().constraintEqualToConstant(40),
        link->bottomAnchor().constraintEqualToAnchor(content->bottomAnchor(), -32),
        link->centerXAnchor().constraintEqualToAnchor(content->centerXAnchor()),
    });
    std::string notes;
    for (int i = 1; i <= 12; ++i)
        notes += std::to_string(i) + ". 修复了若干问题，提升了稳定性 (fixes and improvements)\n";
    log->setString(notes);

    window->center();
    window->makeKeyAndOrderFront();
    // Where the button is, from the window's top-left, for tests that click it.
    CGPoint centre = button->convertPointToView({100, 20}, nullptr);
    std::printf("button %d %d\n", int(centre.x), int(window->frame().height() - centre.y));
    std::printf("shown\n");
    std::fflush(stdout);
    for (auto [name, line] : {std::pair{NSApplicationDidBecomeActiveNotification, "active"},
                              std::pair{NSApplicationDidResignActiveNotification, "inactive"}})
        NotificationCenter::defaultCenter()->addObserver(
            app.get(),
            [line = line](const Notification&) {  // clang 15 cannot capture a structured binding itself
                std::printf("%s\n", line);
                std::fflush(stdout);
            },
            name);
    app->run();
    return 0;
}

// MacButton: which slot each state shows, how it draws off-screen, its height, and what
// clicks deliver to its targets.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "Cobbleton/MacButton.h"
#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSWindow.h"
#include "platform/runloop/RunLoop.h"
#include "platform/runtime/Class.h"

using namespace Cobbleton;
using platform::NSColor;
using State = MacButton::State;
using Event = MacButton::Event;
using Slot = MacButton::Slot;

// A button made without `create` would lack its cell and tracking area and crash in layout.
static_assert(!std::is_constructible_v<MacButton, platform::CGRect>);
static_assert(!std::is_default_constructible_v<MacButton>);

namespace {

// Records each action it receives, by selector.
class Recorder : public platform::Object {
    PLATFORM_OBJECT(Recorder, platform::Object)
public:
    static void registerMethods(platform::Class& c) {
        for (const char* name : {"down:", "up:", "outside:", "double:", "entered:", "exited:", "both:"})
            c.addMethod(name, [name](Recorder& self, platform::ObjectPtr sender) {
                self.log.push_back(name);
                self.sender = sender;
            });
    }
    std::vector<std::string> log;
    // Weak: the button keeps its targets, so a strong sender would keep both alive.
    std::weak_ptr<platform::Object> sender;
};

const auto red = NSColor::colorWithSRGBRed(1, 0, 0, 1);
const auto green = NSColor::colorWithSRGBRed(0, 1, 0, 1);
const auto blue = NSColor::colorWithSRGBRed(0, 0, 1, 1);
const auto yellow = NSColor::colorWithSRGBRed(1, 1, 0, 1);
const auto gray = NSColor::colorWithSRGBRed(0.5, 0.5, 0.5, 1);
const auto white = NSColor::colorWithSRGBRed(1, 1, 1, 1);
const auto black = NSColor::colorWithSRGBRed(0, 0, 0, 1);

// A button set up like the updater's control button.
MacButtonPtr controlButton() {
    auto b = MacButton::create({50, 30, 200, 40});
    b->setAlignment(platform::NSTextAlignment::center);
    b->setFont(platform::NSFont::fontWithName("PingFangSC-Regular", 16));
    b->setBackgroundColor(blue, State::normal);
    b->setBackgroundColor(yellow, State::hover);
    b->setBackgroundColor(green, State::active);
    b->setBackgroundColor(gray->colorWithAlphaComponent(0.5), State::disable);
    b->setTitleColor(white, State::normal);
    b->setTitleColor(black, State::disable);
    b->setTitle("Pause", State::normal);
    return b;
}

platform::CGColor pixelOf(const platform::NSImagePtr& back) { return back->colorAtPixel(0, 0); }

bool near(platform::CGColor a, platform::CGColor b, double tolerance = 0.03) {
    return std::fabs(a.red - b.red) < tolerance && std::fabs(a.green - b.green) < tolerance &&
           std::fabs(a.blue - b.blue) < tolerance;
}

// The colour the title is drawn in, read from the cell's attributed title.
platform::CGColor titleColorOf(const MacButton& b) {
    auto title = b.attributedTitle();
    auto attributes = title.attributesAt(0);  // the colour is read from this copy
    auto* color = platform::attributeAs<platform::NSColorPtr>(attributes, platform::NSForegroundColorAttributeName);
    return color && *color ? (*color)->cgColor() : platform::CGColor{};
}

TEST(MacButton, SettersWriteTheSlotTheirStateSetPicks) {
    struct Case {
        State set;
        std::optional<Slot> slot;
    } cases[] = {
        {State::normal | State::hover, Slot::normal},
        {State::selected | State::active | State::hover, Slot::selectedActive},
        {State::selected | State::hover, Slot::selectedHover},
        {State::selected, Slot::selected},
        {State::active | State::hover, Slot::active},
        {State::hover | State::disable, Slot::hover},
        {State::disable, Slot::disable},
        {State(), std::nullopt},
        {State(64), std::nullopt},
    };
    for (auto c : cases) EXPECT_EQ(MacButton::slotFor(c.set), c.slot) << c.set.rawValue;

    auto b = MacButton::create();
    auto image = platform::NSImage::imageWithSize({4, 4});
    b->setBackImage(image, 1.5, State::hover);
    EXPECT_EQ(b->appearance(Slot::hover).backImage->alpha, 1);
    b->setBackImage(image, -0.2, State::hover);
    EXPECT_EQ(b->appearance(Slot::hover).backImage->alpha, 0);
    b->setBackImage(nullptr, 0.5, State::hover);
    EXPECT_EQ(b->appearance(Slot::hover).backImage->alpha, 0);
    b->setTitle("x", State());
    for (auto s : {Slot::hover, Slot::normal, Slot::disable}) EXPECT_FALSE(b->appearance(s).title);

    // A background colour is stored opaque with its alpha apart.
    b->setBackgroundColor(red->colorWithAlphaComponent(0.25), State::active);
    EXPECT_TRUE(near(pixelOf(b->appearance(Slot::active).backImage->image), red->cgColor()));
    EXPECT_EQ(pixelOf(b->appearance(Slot::active).backImage->image).alpha, 1);
    EXPECT_EQ(b->appearance(Slot::active).backImage->alpha, 0.25);
}

TEST(MacButton, EachStateShowsItsSlotThroughTheCell) {
    auto b = controlButton();
    auto cell = std::dynamic_pointer_cast<MacButtonCell>(b->cell());
    ASSERT_TRUE(cell);
    struct Step {
        const char* what;
        std::function<void()> apply;
        platform::NSColorPtr background;
        double alpha;
        platform::NSColorPtr title;
    };
    Step steps[] = {
        {"normal", [&] { b->setButtonState(State::normal); }, blue, 1, white},
        {"hover: hover background, normal title colour", [&] { b->insertState(State::hover); }, yellow, 1, white},
        {"pressed while hovered", [&] { b->insertState(State::active); }, green, 1, white},
        {"released", [&] { b->removeState(State::active | State::hover); }, blue, 1, white},
        {"disabled", [&] { b->setEnabled(false); }, gray, 0.5, black},
        {"disabled ignores hover", [&] { b->insertState(State::hover); }, gray, 0.5, black},
        {"enabled again", [&] { b->setEnabled(true); }, blue, 1, white},
        {"selected: no selected slot, normal background", [&] { b->setSelected(true); }, blue, 1, white},
    };
    for (auto& s : steps) {
        SCOPED_TRACE(s.what);
        s.apply();
        ASSERT_TRUE(cell->backgroundImage);
        EXPECT_TRUE(near(pixelOf(cell->backgroundImage), s.background->cgColor()));
        EXPECT_EQ(cell->backgroundImageAlpha, s.alpha);
        EXPECT_EQ(b->attributedTitle().string(), "Pause");
        EXPECT_TRUE(near(titleColorOf(*b), s.title->cgColor()));
    }
    EXPECT_EQ(b->buttonState(), State::selected);
    b->setEnabled(true);  // a plain assignment: selected is dropped, isSelected stays
    EXPECT_EQ(b->buttonState(), State::normal);
    EXPECT_TRUE(b->isSelected());
    // As the updater changes its button: a new normal title shows on the next state write.
    b->setTitle("Retry", State::normal);
    EXPECT_EQ(b->attributedTitle().string(), "Pause");
    b->setEnabled(true);
    EXPECT_EQ(b->attributedTitle().string(), "Retry");

    b->setEnabled(false);
    EXPECT_TRUE(cell->isEnableCustomDisableTitle);  // a disable title colour is set
    EXPECT_FALSE(cell->imageDimsWhenDisabled());    // a disable background is set
    auto plain = MacButton::create();
    plain->setTitle("x", State::normal);
    plain->setEnabled(false);
    auto plainCell = std::dynamic_pointer_cast<MacButtonCell>(plain->cell());
    EXPECT_FALSE(plainCell->isEnableCustomDisableTitle);
    EXPECT_TRUE(plainCell->imageDimsWhenDisabled());
    EXPECT_EQ(plainCell->backgroundImage, nullptr);  // no normal background: none at alpha 1
    EXPECT_EQ(plainCell->backgroundImageAlpha, 1);
    EXPECT_TRUE(near(titleColorOf(*plain), white->cgColor()));  // no colour anywhere: white
    EXPECT_EQ(plain->attributedAlternateTitle(), plain->attributedTitle());
}

// ---- on a window ----

struct OnWindow {
    platform::NSWindowPtr window;
    MacButtonPtr button = controlButton();
    std::shared_ptr<Recorder> target = std::make_shared<Recorder>();

    OnWindow() {
        setenv("SKYREACH_WINDOW_BACKEND", "offscreen", 1);
        window = platform::NSWindow::create({0, 0, 300, 100}, platform::NSWindowStyleMaskBorderless);
        window->setBackgroundColor(red);
        window->contentView()->addSubview(button);
        window->layoutIfNeeded();
    }
    ~OnWindow() { window->close(); }

    // Window coordinates are y up; inside the button at (50, 30, 200, 40).
    static constexpr platform::CGPoint inside{60, 40}, outside{10, 90};

    void send(platform::NSEventType type, platform::CGPoint at, int clicks = 1, double pressure = 1.0) {
        window->sendEvent(platform::NSEvent::mouseEvent(type, at, window, clicks, pressure));
    }
    // A press at `at`; the release at `releaseAt` arrives while the button tracks (or
    // right after, when nothing tracks).
    void click(platform::CGPoint at, platform::CGPoint releaseAt, int clicks = 1, double pressure = 1.0) {
        auto app = platform::NSApplication::shared();
        auto released = std::make_shared<bool>(false);
        platform::RunLoop::main()->perform([this, app, releaseAt, clicks, released] {
            if (!(releaseAt == inside)) send(platform::NSEventType::mouseMoved, releaseAt);
            app->postEvent(
                platform::NSEvent::mouseEvent(platform::NSEventType::leftMouseUp, releaseAt, window, clicks));
            *released = true;
        });
        send(platform::NSEventType::leftMouseDown, at, clicks, pressure);
        ASSERT_TRUE(platform::RunLoop::runUntil([&] { return *released; }, 2));
        app->drainEvents();
    }
    // The colour at window point (x, y up).
    platform::CGColor colorAt(const platform::NSImagePtr& shot, int x, int y) {
        return shot->colorAtPixel(x, 100 - 1 - y);
    }
};

bool hasPixelNear(const platform::NSImagePtr& shot, platform::CGRect r, platform::CGColor c) {
    for (int y = static_cast<int>(100 - r.maxY()); y < 100 - r.minY(); ++y)
        for (int x = static_cast<int>(r.minX()); x < r.maxX(); ++x)
            if (near(shot->colorAtPixel(x, y), c, 0.1)) return true;
    return false;
}

TEST(MacButton, RendersEachStateOffScreen) {
    OnWindow w;
    const platform::CGRect titleArea{120, 35, 60, 30};
    auto shot = w.window->snapshot();
    EXPECT_TRUE(near(w.colorAt(shot, 20, 50), red->cgColor()));   // the window around it
    EXPECT_TRUE(near(w.colorAt(shot, 55, 35), blue->cgColor()));  // the normal background
    EXPECT_TRUE(near(w.colorAt(shot, 245, 65), blue->cgColor()));
    EXPECT_TRUE(hasPixelNear(shot, titleArea, white->cgColor()));

    w.button->insertState(State::hover);
    shot = w.window->snapshot();
    EXPECT_TRUE(near(w.colorAt(shot, 55, 35), yellow->cgColor()));
    EXPECT_TRUE(hasPixelNear(shot, titleArea, white->cgColor()));

    w.button->setEnabled(false);
    shot = w.window->snapshot();
    // Half-transparent gray over the red window.
    EXPECT_TRUE(near(w.colorAt(shot, 55, 35), {0.75, 0.25, 0.25, 1}, 0.05));
    EXPECT_TRUE(hasPixelNear(shot, titleArea, black->cgColor()));
    EXPECT_FALSE(hasPixelNear(shot, titleArea, white->cgColor()));
}

TEST(MacButton, SetsItsHeightFromItsTitle) {
    OnWindow w;
    auto cell = std::dynamic_pointer_cast<MacButtonCell>(w.button->cell());
    auto& height = w.button->heightConstraint();
    ASSERT_TRUE(height);
    EXPECT_EQ(height->priority(), 999);
    EXPECT_TRUE(height->isActive());
    double expected = cell->titleSize(200).height;
    EXPECT_GT(expected, 10);
    EXPECT_EQ(height->constant(), expected);
    EXPECT_EQ(w.button->area()->rect().size, w.button->bounds().size);
    EXPECT_EQ(w.button->area()->options().rawValue, 643u);

    w.button->setTitle(std::string(), State::normal);
    w.button->updateAppearance();
    w.button->updateHeight();
    EXPECT_FALSE(height->isActive());  // an empty title measures (0, 0)
    w.button->setTitle("Pause", State::normal);
    w.button->setAutoSetHeight(false);
    w.button->updateAppearance();
    w.button->updateHeight();
    EXPECT_FALSE(height->isActive());
}

TEST(MacButton, LayoutSettlesAfterReapplyingTheAppearance) {
    // Counts the layout passes of the window: each pass lays the content view out.
    struct Counting : platform::NSView {
        int passes = 0;
        void layout() override { ++passes; }
    };
    OnWindow w;
    auto content = std::make_shared<Counting>();
    w.window->setContentView(content);
    content->addSubview(w.button);
    w.window->layoutIfNeeded();
    EXPECT_LE(content->passes, 2);
    content->passes = 0;
    w.button->setFrameSize({210, 40});
    w.window->layoutIfNeeded();
    EXPECT_EQ(content->passes, 1);
    EXPECT_EQ(w.button->area()->rect().size, (platform::CGSize{210, 40}));  // the tracking area follows
}

TEST(MacButton, ClicksInsideOutsideAndWhileDisabled) {
    OnWindow w;
    w.button->addTarget(w.target, "up:");
    w.button->addTarget(w.target, "down:", Event::touchDown);
    w.button->addTarget(w.target, "outside:", Event::touchUpOutside);
    w.button->addTarget(w.target, "both:", Event::touchDown | Event::touchUpInside);
    w.button->addTarget(nullptr, "up:");                               // no target: skipped
    w.button->addTarget(std::make_shared<platform::Object>(), "up:");  // does not answer: skipped

    w.click(OnWindow::inside, OnWindow::inside);
    EXPECT_EQ(w.target->log, (std::vector<std::string>{"down:", "both:", "up:", "both:"}));
    EXPECT_EQ(w.target->sender.lock(), w.button);
    EXPECT_TRUE(w.button->buttonState().contains(State::hover));
    EXPECT_FALSE(w.button->buttonState().contains(State::active));

    w.target->log.clear();
    w.click(OnWindow::inside, OnWindow::outside);
    EXPECT_EQ(w.target->log, (std::vector<std::string>{"down:", "both:", "outside:"}));
    EXPECT_FALSE(w.button->buttonState().contains(State::hover));

    w.target->log.clear();
    w.click(OnWindow::outside, OnWindow::outside);  // a press elsewhere is not the button's
    EXPECT_TRUE(w.target->log.empty());

    w.button->setEnabled(false);
    w.click(OnWindow::inside, OnWindow::inside);
    EXPECT_TRUE(w.target->log.empty());
}

TEST(MacButton, EnterAndExitMarkHover) {
    OnWindow w;
    w.button->addTarget(w.target, "entered:", Event::entered);
    w.button->addTarget(w.target, "exited:", Event::exited);
    w.send(platform::NSEventType::mouseMoved, OnWindow::inside);
    EXPECT_TRUE(w.button->buttonState().contains(State::hover));
    w.send(platform::NSEventType::mouseMoved, OnWindow::outside);
    EXPECT_FALSE(w.button->buttonState().contains(State::hover));
    EXPECT_EQ(w.target->log, (std::vector<std::string>{"entered:", "exited:"}));
}

TEST(MacButton, ADoubleClickHoldsSingleClicksBack) {
    OnWindow w;
    w.button->addTarget(w.target, "down:", Event::touchDown);
    w.button->addTarget(w.target, "double:", Event::doubleClick);
    w.button->addTarget(w.target, "up:", Event::touchUpInside);
    auto& log = w.target->log;

    w.click(OnWindow::inside, OnWindow::inside);
    EXPECT_TRUE(log.empty());  // held back for 0.3 s
    ASSERT_TRUE(platform::RunLoop::runUntil([&] { return !log.empty(); }, 3));
    EXPECT_EQ(log, (std::vector<std::string>{"down:", "up:"}));

    log.clear();
    w.click(OnWindow::inside, OnWindow::inside, 1);
    w.click(OnWindow::inside, OnWindow::inside, 2);
    // The double click cancels the first click's deferred deliveries; the second
    // release goes out at once.
    EXPECT_EQ(log, (std::vector<std::string>{"double:", "up:"}));
    platform::RunLoop::runUntil([] { return false; }, 0.5);
    EXPECT_EQ(log, (std::vector<std::string>{"double:", "up:"}));

    log.clear();
    w.click(OnWindow::inside, OnWindow::inside, 2, 0.5);  // another pressure is never a double click
    EXPECT_TRUE(log.empty());
    ASSERT_TRUE(platform::RunLoop::runUntil([&] { return !log.empty(); }, 3));
    EXPECT_EQ(log, (std::vector<std::string>{"down:", "up:"}));

    // Disabled before the held-back delivery is due: the press was made while enabled, so
    // it still goes out; a press on the disabled button is not held back at all; and once
    // enabled again the next click works as a first click.
    log.clear();
    w.click(OnWindow::inside, OnWindow::inside);
    w.button->setEnabled(false);
    EXPECT_TRUE(log.empty());
    ASSERT_TRUE(platform::RunLoop::runUntil([&] { return !log.empty(); }, 3));
    EXPECT_EQ(log, (std::vector<std::string>{"down:", "up:"}));
    log.clear();
    w.click(OnWindow::inside, OnWindow::inside);
    platform::RunLoop::runUntil([] { return false; }, 0.5);
    EXPECT_TRUE(log.empty());
    w.button->setEnabled(true);
    w.click(OnWindow::inside, OnWindow::inside);
    ASSERT_TRUE(platform::RunLoop::runUntil([&] { return !log.empty(); }, 3));
    EXPECT_EQ(log, (std::vector<std::string>{"down:", "up:"}));
}

}  // namespace

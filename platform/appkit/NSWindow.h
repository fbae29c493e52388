// Windows: a frame view holding the content view and the title bar (a title-bar view
// with the close, miniaturise and zoom buttons, inside a container), event dispatch
// with tracking areas and window dragging, key status, full screen, a delegate, and
// drawing through a backend.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "platform/appkit/NSButton.h"
#include "platform/appkit/NSResponder.h"
#include "platform/appkit/NSView.h"
#include "platform/appkit/WindowBackend.h"
#include "platform/files/NotificationCenter.h"
#include "platform/graphics/NSImage.h"

namespace platform {

class NSWindowController;
class NSViewController;
class NSAppearance;

struct NSWindowStyleMaskTag {};
using NSWindowStyleMask = OptionSet<NSWindowStyleMaskTag, std::uint64_t>;
inline constexpr NSWindowStyleMask NSWindowStyleMaskBorderless{0};
inline constexpr NSWindowStyleMask NSWindowStyleMaskTitled{1};
inline constexpr NSWindowStyleMask NSWindowStyleMaskClosable{2};
inline constexpr NSWindowStyleMask NSWindowStyleMaskMiniaturizable{4};
inline constexpr NSWindowStyleMask NSWindowStyleMaskResizable{8};
inline constexpr NSWindowStyleMask NSWindowStyleMaskFullScreen{1u << 14};
inline constexpr NSWindowStyleMask NSWindowStyleMaskFullSizeContentView{1u << 15};

enum class NSBackingStoreType : int { retained = 0, nonretained = 1, buffered = 2 };
enum class NSWindowButton : int { closeButton = 0, miniaturizeButton = 1, zoomButton = 2 };
enum class NSWindowTitleVisibility : int { visible = 0, hidden = 1 };

inline const std::string NSWindowDidResizeNotification = "NSWindowDidResizeNotification";
inline const std::string NSWindowDidMoveNotification = "NSWindowDidMoveNotification";
inline const std::string NSWindowWillCloseNotification = "NSWindowWillCloseNotification";
inline const std::string NSWindowDidBecomeKeyNotification = "NSWindowDidBecomeKeyNotification";
inline const std::string NSWindowDidResignKeyNotification = "NSWindowDidResignKeyNotification";
inline const std::string NSWindowWillEnterFullScreenNotification = "NSWindowWillEnterFullScreenNotification";
inline const std::string NSWindowDidEnterFullScreenNotification = "NSWindowDidEnterFullScreenNotification";
inline const std::string NSWindowWillExitFullScreenNotification = "NSWindowWillExitFullScreenNotification";
inline const std::string NSWindowDidExitFullScreenNotification = "NSWindowDidExitFullScreenNotification";

// What a window tells its delegate; every operation has a default that does nothing.
class NSWindowDelegate {
public:
    virtual ~NSWindowDelegate() = default;
    virtual bool windowShouldClose(NSWindow&) { return true; }
    virtual void windowWillClose(const Notification&) {}
    virtual void windowDidResize(const Notification&) {}
    virtual void windowDidMove(const Notification&) {}
    virtual void windowDidBecomeKey(const Notification&) {}
    virtual void windowDidResignKey(const Notification&) {}
    virtual void windowWillEnterFullScreen(const Notification&) {}
    virtual void windowDidEnterFullScreen(const Notification&) {}
    virtual void windowWillExitFullScreen(const Notification&) {}
    virtual void windowDidExitFullScreen(const Notification&) {}
};

class NSWindow : public NSResponder {
    PLATFORM_OBJECT(NSWindow, NSResponder)
public:
    NSWindow(CGRect contentRect, NSWindowStyleMask style, NSBackingStoreType backing, bool defer);
    ~NSWindow() override;
    static std::shared_ptr<NSWindow> create(CGRect contentRect, NSWindowStyleMask style,
                                            NSBackingStoreType backing = NSBackingStoreType::buffered,
                                            bool defer = false);
    // Constructs a subclass and builds its views (the part that needs the window's
    // own pointer).
    template <class T, class... A>
    static std::shared_ptr<T> make(A&&... args) {
        auto w = std::make_shared<T>(std::forward<A>(args)...);
        w->buildViews();
        return w;
    }
    std::shared_ptr<NSWindow> self() { return std::static_pointer_cast<NSWindow>(shared_from_this()); }

    // ---- geometry (screen coordinates, y up from the screen's bottom) ----
    CGRect frame() const { return frame_; }
    void setFrame(const CGRect& frame, bool display = true);
    void setFrameOrigin(CGPoint origin);
    void setContentSize(CGSize size);
    CGRect contentRectForFrameRect(const CGRect& frame) const;
    CGRect frameRectForContentRect(const CGRect& content) const;
    void center();
    CGFloat titlebarHeight() const;

    // ---- style ----
    NSWindowStyleMask styleMask() const { return style_; }
    void setStyleMask(NSWindowStyleMask style);
    const std::string& title() const { return title_; }
    void setTitle(const std::string& title);
    NSWindowTitleVisibility titleVisibility() const { return titleVisibility_; }
    void setTitleVisibility(NSWindowTitleVisibility v);
    bool titlebarAppearsTransparent() const { return transparentTitlebar_; }
    void setTitlebarAppearsTransparent(bool v);
    bool isMovableByWindowBackground() const { return movableByBackground_; }
    void setMovableByWindowBackground(bool v) { movableByBackground_ = v; }
    bool isMovable() const { return movable_; }
    void setMovable(bool v) { movable_ = v; }
    NSColorPtr backgroundColor() const { return background_; }
    void setBackgroundColor(const NSColorPtr& c);
    std::shared_ptr<NSAppearance> appearance() const { return appearance_; }
    void setAppearance(const std::shared_ptr<NSAppearance>& a) { appearance_ = a; }

    // ---- views ----
    NSViewPtr contentView() const { return contentView_; }
    void setContentView(const NSViewPtr& view);
    std::shared_ptr<NSViewController> contentViewController() const { return contentViewController_; }
    void setContentViewController(const std::shared_ptr<NSViewController>& controller);
    // The root of the window's views: content view and title bar container.
    NSViewPtr frameView() const { return frameView_; }
    NSButtonPtr standardWindowButton(NSWindowButton which) const;
    std::shared_ptr<NSWindowController> windowController() const { return windowController_.lock(); }
    void setWindowController(const std::shared_ptr<NSWindowController>& c) { windowController_ = c; }
    std::shared_ptr<NSWindowDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const std::shared_ptr<NSWindowDelegate>& d) { delegate_ = d; }

    // ---- ordering and key status ----
    void makeKeyAndOrderFront(const ObjectPtr& sender = nullptr);
    void orderFront(const ObjectPtr& sender = nullptr);
    void orderOut(const ObjectPtr& sender = nullptr);
    void makeKeyWindow();
    bool isVisible() const { return visible_; }
    bool isKeyWindow() const { return key_; }
    bool isMainWindow() const { return key_; }
    void performClose(const ObjectPtr& sender = nullptr);
    void close();
    void toggleFullScreen(const ObjectPtr& sender = nullptr);
    bool isFullScreen() const { return style_.contains(NSWindowStyleMaskFullScreen); }
    std::shared_ptr<NSResponder> firstResponder() const { return firstResponder_.lock(); }
    bool makeFirstResponder(const std::shared_ptr<NSResponder>& responder);

    // ---- events ----
    virtual void sendEvent(const NSEventPtr& event);
    // Where the pointer was last seen, in window coordinates.
    CGPoint mouseLocationOutsideOfEventStream() const { return mouse_; }
    // Records the pointer position of a mouse event that a tracking loop took from the
    // queue, so the location stays current while such events bypass sendEvent.
    void noteMouseLocation(const NSEvent& event);
    void invalidateTracking();
    void invalidateCursorRectsForView(const NSView&) { cursorRectsValid_ = false; }

    // ---- layout and drawing ----
    void layoutIfNeeded();
    void display();
    void displayIfNeeded();
    // Draws the window now into a new image (as a snapshot would show it).
    NSImagePtr snapshot();
    WindowBackend* backend() const { return backend_.get(); }

    // Called by views.
    void viewNeedsDisplay();
    void viewNeedsLayout();

protected:
    // Builds the frame view, title bar and content view; run once right after construction.
    virtual void buildViews();

private:
    void render(cairo_surface_t* surface, int width, int height);
    void scheduleUpdate();
    void postWindowNotification(const std::string& name);
    void updateTracking(const NSEventPtr& event);
    void updateCursor();
    CGRect topDownFrame() const;
    void placeViews();

    CGRect frame_;
    NSWindowStyleMask style_;
    std::string title_;
    NSWindowTitleVisibility titleVisibility_ = NSWindowTitleVisibility::visible;
    bool transparentTitlebar_ = false;
    bool movableByBackground_ = false;
    bool movable_ = true;
    NSColorPtr background_;
    std::shared_ptr<NSAppearance> appearance_;
    NSViewPtr frameView_, titlebarContainer_, titlebarView_, contentView_;
    NSButtonPtr buttons_[3];
    std::shared_ptr<NSViewController> contentViewController_;
    std::weak_ptr<NSWindowController> windowController_;
    std::weak_ptr<NSWindowDelegate> delegate_;
    std::weak_ptr<NSResponder> firstResponder_;
    std::unique_ptr<WindowBackend> backend_;
    bool visible_ = false, key_ = false, closed_ = false;
    bool updateScheduled_ = false;
    CGPoint mouse_{-1, -1};
    bool mouseInside_ = false;
    NSViewPtr mouseDownView_;
    bool draggingWindow_ = false;
    CGPoint dragStart_;
    CGRect dragFrame_;
    bool cursorRectsValid_ = false;
    CGRect savedFrame_;
};
using NSWindowPtr = std::shared_ptr<NSWindow>;

}  // namespace platform

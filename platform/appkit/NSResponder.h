// The responder chain: objects that receive events and pass what they do not handle
// to their next responder.
#pragma once
#include <memory>

#include "platform/appkit/NSEvent.h"
#include "platform/runtime/Class.h"
#include "platform/runtime/Object.h"

namespace platform {

class NSResponder : public Object {
    PLATFORM_OBJECT(NSResponder, Object)
public:
    virtual std::shared_ptr<NSResponder> nextResponder() const { return next_.lock(); }
    void setNextResponder(const std::shared_ptr<NSResponder>& r) { next_ = r; }

    virtual bool acceptsFirstResponder() { return false; }
    virtual bool becomeFirstResponder() { return true; }
    virtual bool resignFirstResponder() { return true; }

    // By default each passes the event along the chain.
    virtual void mouseDown(const NSEvent& e) { forward(&NSResponder::mouseDown, e); }
    virtual void mouseUp(const NSEvent& e) { forward(&NSResponder::mouseUp, e); }
    virtual void mouseDragged(const NSEvent& e) { forward(&NSResponder::mouseDragged, e); }
    virtual void mouseMoved(const NSEvent& e) { forward(&NSResponder::mouseMoved, e); }
    virtual void mouseEntered(const NSEvent& e) { forward(&NSResponder::mouseEntered, e); }
    virtual void mouseExited(const NSEvent& e) { forward(&NSResponder::mouseExited, e); }
    virtual void rightMouseDown(const NSEvent& e) { forward(&NSResponder::rightMouseDown, e); }
    virtual void rightMouseUp(const NSEvent& e) { forward(&NSResponder::rightMouseUp, e); }
    virtual void scrollWheel(const NSEvent& e) { forward(&NSResponder::scrollWheel, e); }
    virtual void keyDown(const NSEvent& e) { forward(&NSResponder::keyDown, e); }
    virtual void keyUp(const NSEvent& e) { forward(&NSResponder::keyUp, e); }
    virtual void cursorUpdate(const NSEvent& e) { forward(&NSResponder::cursorUpdate, e); }

private:
    void forward(void (NSResponder::*handler)(const NSEvent&), const NSEvent& e) {
        if (auto n = nextResponder()) ((*n).*handler)(e);
    }
    std::weak_ptr<NSResponder> next_;
};

}  // namespace platform

// The current drawing destination of the thread: a stack of contexts, each wrapping a
// Core Graphics style context, with the compositing operation drawing code asks for.
#pragma once
#include <memory>

#include "platform/graphics/CGContext.h"

namespace platform {

enum class NSCompositingOperation { clear = 0, copy = 1, sourceOver = 2 };

class NSGraphicsContext {
public:
    explicit NSGraphicsContext(cairo_t* cr, bool flipped = false);

    // The innermost context made current on this thread; null outside drawing.
    static NSGraphicsContext* currentContext();
    // Makes `context` current until the matching pop (contexts nest).
    static void push(NSGraphicsContext* context);
    static void pop();
    static void saveGraphicsState();
    static void restoreGraphicsState();

    CGContext& cgContext() { return cg_; }
    bool isFlipped() const { return flipped_; }
    void setFlipped(bool flipped) { flipped_ = flipped; }
    NSCompositingOperation compositingOperation() const { return op_; }
    void setCompositingOperation(NSCompositingOperation op) { op_ = op; }
    void flushGraphics() { cg_.flush(); }

private:
    CGContext cg_;
    bool flipped_;
    NSCompositingOperation op_ = NSCompositingOperation::sourceOver;
};

// Makes a context current for a scope.
class GraphicsContextScope {
public:
    explicit GraphicsContextScope(NSGraphicsContext* context) { NSGraphicsContext::push(context); }
    ~GraphicsContextScope() { NSGraphicsContext::pop(); }
    GraphicsContextScope(const GraphicsContextScope&) = delete;
    GraphicsContextScope& operator=(const GraphicsContextScope&) = delete;
};

}  // namespace platform

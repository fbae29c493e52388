// The per-thread stack of current graphics contexts.
#include "platform/graphics/NSGraphicsContext.h"

#include <vector>

namespace platform {
namespace {
thread_local std::vector<NSGraphicsContext*> stack;
}

NSGraphicsContext::NSGraphicsContext(cairo_t* cr, bool flipped) : cg_(cr), flipped_(flipped) {}

NSGraphicsContext* NSGraphicsContext::currentContext() { return stack.empty() ? nullptr : stack.back(); }
void NSGraphicsContext::push(NSGraphicsContext* context) { stack.push_back(context); }
void NSGraphicsContext::pop() {
    if (!stack.empty()) stack.pop_back();
}
void NSGraphicsContext::saveGraphicsState() {
    if (auto* c = currentContext()) c->cg_.saveGState();
}
void NSGraphicsContext::restoreGraphicsState() {
    if (auto* c = currentContext()) c->cg_.restoreGState();
}

}  // namespace platform

// Animation groups driven by a run-loop timer, and view animators.
#include "platform/appkit/NSAnimationContext.h"

#include <chrono>
#include <cmath>
#include <vector>

#include "platform/appkit/NSView.h"
#include "platform/base/NoDestructor.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/runloop/Timer.h"

namespace platform {

struct NSAnimationContext::Group {
    int pending = 0;
    bool closed = false;
    std::function<void()> completion;
    void finishOne() {
        if (--pending == 0 && closed && completion) {
            auto c = std::move(completion);
            completion = nullptr;
            c();
        }
    }
};

namespace {
std::vector<NSAnimationContext*> openGroups;

double ease(double t) { return t < 0.5 ? 2 * t * t : 1 - std::pow(-2 * t + 2, 2) / 2; }
}  // namespace

NSAnimationContext& NSAnimationContext::currentContext() {
    static platform::NoDestructor<NSAnimationContext> outside;
    return openGroups.empty() ? *outside : *openGroups.back();
}

bool NSAnimationContext::isGrouping() { return !openGroups.empty(); }

void NSAnimationContext::runAnimationGroup(const std::function<void(NSAnimationContext&)>& changes,
                                           std::function<void()> completionHandler) {
    NSAnimationContext context;
    context.group_ = std::make_shared<Group>();
    context.group_->completion = std::move(completionHandler);
    context.group_->pending = 1;  // held until the changes are recorded
    openGroups.push_back(&context);
    if (changes) changes(context);
    openGroups.pop_back();
    auto group = context.group_;
    group->closed = true;
    // The completion always runs later, on the main queue, as animations end.
    DispatchQueue::main()->async([group] { group->finishOne(); });
}

void NSAnimationContext::animate(std::function<void(double)> step) {
    if (openGroups.empty() || openGroups.back()->duration_ <= 0) {
        step(1);
        return;
    }
    NSAnimationContext& context = *openGroups.back();
    auto group = context.group_;
    double duration = context.duration_;
    ++group->pending;
    auto start = std::chrono::steady_clock::now();
    step(0);
    Timer::scheduledTimer(1.0 / 60, true, [group, duration, start, step](Timer& timer) {
        double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / duration;
        if (t >= 1) {
            step(1);
            timer.invalidate();
            group->finishOne();
            return;
        }
        step(ease(t));
    });
}

// ---- view animators ----

namespace {
double mix(double a, double b, double t) { return a + (b - a) * t; }
}  // namespace

void NSViewAnimator::setFrame(const CGRect& target) {
    auto view = view_.lock();
    if (!view) return;
    CGRect from = view->frame();
    std::weak_ptr<NSView> weak = view;
    NSAnimationContext::animate([weak, from, target](double t) {
        if (auto v = weak.lock())
            v->setFrame(t >= 1 ? target
                               : CGRect{mix(from.minX(), target.minX(), t), mix(from.minY(), target.minY(), t),
                                        mix(from.width(), target.width(), t), mix(from.height(), target.height(), t)});
    });
}

void NSViewAnimator::setFrameOrigin(CGPoint origin) {
    if (auto v = view_.lock()) setFrame({origin, v->frame().size});
}

void NSViewAnimator::setFrameSize(CGSize size) {
    if (auto v = view_.lock()) setFrame({v->frame().origin, size});
}

void NSViewAnimator::setAlphaValue(CGFloat alpha) {
    auto view = view_.lock();
    if (!view) return;
    double from = view->alphaValue();
    std::weak_ptr<NSView> weak = view;
    NSAnimationContext::animate([weak, from, alpha](double t) {
        if (auto v = weak.lock()) v->setAlphaValue(t >= 1 ? alpha : mix(from, alpha, t));
    });
}

}  // namespace platform

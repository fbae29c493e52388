// Animation groups: changes made through view animators inside a group with a
// duration are interpolated on the run loop; the group's completion runs when all of
// them have finished.
#pragma once
#include <functional>
#include <memory>

namespace platform {

class NSAnimationContext {
public:
    static void runAnimationGroup(const std::function<void(NSAnimationContext&)>& changes,
                                  std::function<void()> completionHandler = nullptr);
    // The innermost open group (a default context, duration 0.25, outside groups).
    static NSAnimationContext& currentContext();
    static bool isGrouping();

    double duration() const { return duration_; }
    void setDuration(double seconds) { duration_ = seconds; }
    bool allowsImplicitAnimation() const { return implicit_; }
    void setAllowsImplicitAnimation(bool v) { implicit_ = v; }

    // Used by view animators: runs `step(progress)` from 0 to 1 over the group's duration
    // (at once when there is no open group or the duration is 0).
    static void animate(std::function<void(double progress)> step);

    struct Group;

private:
    double duration_ = 0.25;
    bool implicit_ = false;
    std::shared_ptr<Group> group_;
};

}  // namespace platform

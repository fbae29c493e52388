// A rectangle that takes part in layout without being a view.
#pragma once
#include <memory>
#include <string>

#include "platform/appkit/NSLayoutConstraint.h"
#include "platform/graphics/Geometry.h"

namespace platform {

class NSLayoutGuide : public Object, public LayoutItem, public LayoutAnchors<NSLayoutGuide> {
    PLATFORM_OBJECT(NSLayoutGuide, Object)
public:
    static std::shared_ptr<NSLayoutGuide> create() { return std::make_shared<NSLayoutGuide>(); }

    std::shared_ptr<NSView> owningView() const { return owner_.lock(); }
    // In the owning view's coordinates, as the last layout placed it.
    CGRect frame() const { return frame_; }
    const std::string& identifier() const { return identifier_; }
    void setIdentifier(const std::string& id) { identifier_ = id; }

    std::shared_ptr<NSView> layoutView() override { return owner_.lock(); }
    bool isLayoutGuide() const override { return true; }

private:
    friend class NSView;
    friend class LayoutEngine;
    std::weak_ptr<NSView> owner_;
    CGRect frame_;
    std::string identifier_;
};
using NSLayoutGuidePtr = std::shared_ptr<NSLayoutGuide>;

}  // namespace platform

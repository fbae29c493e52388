// One button of an alert the client may show: its title, style, handler and tag.
#pragma once
#include <functional>
#include <memory>
#include <string>

namespace LumenAnalyticsSDK {

struct LAAlertAction {
    using Handler = std::function<void(const LAAlertAction&)>;

    static std::shared_ptr<LAAlertAction> actionWithTitle(std::string title, unsigned style, Handler handler) {
        auto action = std::make_shared<LAAlertAction>();
        action->title = std::move(title);
        action->style = style;
        action->handler = std::move(handler);
        return action;
    }

    std::string title;
    unsigned style = 0;
    Handler handler;
    long tag = 0;
};

}  // namespace LumenAnalyticsSDK

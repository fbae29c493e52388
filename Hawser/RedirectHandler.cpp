// Redirect policies: answered synchronously, exactly once.
#include "Hawser/RedirectHandler.h"
#include "platform/base/NoDestructor.h"

namespace Hawser {

const std::shared_ptr<const Redirector>& Redirector::follow() {
    static const platform::NoDestructor<std::shared_ptr<const Redirector>> value(
        std::make_shared<const Redirector>(Follow{}));
    return *value;
}

const std::shared_ptr<const Redirector>& Redirector::doNotFollow() {
    static const platform::NoDestructor<std::shared_ptr<const Redirector>> value(
        std::make_shared<const Redirector>(DoNotFollow{}));
    return *value;
}

RedirectHandlerPtr RedirectHandler::follow() { return Redirector::follow(); }
RedirectHandlerPtr RedirectHandler::doNotFollow() { return Redirector::doNotFollow(); }
RedirectHandlerPtr RedirectHandler::modify(Modifier closure) {
    return std::make_shared<const Redirector>(Redirector::Modify{std::move(closure)});
}

void Redirector::task(const platform::URLSessionTaskPtr& task, const platform::URLRequest& willBeRedirectedTo,
                      const platform::HTTPURLResponsePtr& response,
                      const std::function<void(std::optional<platform::URLRequest>)>& completion) const {
    if (std::holds_alternative<Follow>(behavior)) {
        completion(willBeRedirectedTo);
    } else if (std::holds_alternative<DoNotFollow>(behavior)) {
        completion(std::nullopt);
    } else {
        completion(std::get<Modify>(behavior).closure(task, willBeRedirectedTo, response));
    }
}

}  // namespace Hawser

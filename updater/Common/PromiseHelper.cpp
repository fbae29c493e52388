// The delayed action on promises: a timer guarantee, then a final step on the return queue.
#include "updater/Common/PromiseHelper.h"

#include "Pledge/Pledge.h"

namespace Lanternfly_Updater {

void PromiseHelper::after(double seconds, std::function<void()> execute) {
    Pledge::firstly([seconds] {
        return Pledge::after(seconds);
    }).done(Pledge::On(Pledge::conf().Q.return_), Pledge::Flags{}, [execute = std::move(execute)] { execute(); });
}

}  // namespace Lanternfly_Updater

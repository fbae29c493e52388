// Each event reads its closure when it runs and calls it once if it is set.
#include "Hawser/ClosureEventMonitor.h"

#include "Hawser/UploadRequest.h"

namespace Hawser {

#define HAWSER_CALL_CLOSURE(Name, name, parameters, arguments)                                                         \
    void ClosureEventMonitor::name parameters {                                                                        \
        if (auto closure = name()) closure arguments;                                                                  \
    }
#define HAWSER_NO_CLOSURE_EVENT(Name, name, parameters, arguments)
HAWSER_EVENTS(HAWSER_CALL_CLOSURE, HAWSER_NO_CLOSURE_EVENT)
#undef HAWSER_NO_CLOSURE_EVENT
#undef HAWSER_CALL_CLOSURE

}  // namespace Hawser

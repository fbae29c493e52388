// A ready-made monitor holding one optional closure per event: an event calls its
// closure, if set, with the event's arguments. The three events generic over a
// serialised value have no closure and do nothing here.
#pragma once
#include <functional>

#include "Hawser/EventMonitor.h"

namespace Hawser {

class ClosureEventMonitor : public EventMonitor {
public:
    // The caller chooses the queue; nothing is defaulted.
    explicit ClosureEventMonitor(DispatchQueuePtr queue) : queue_(std::move(queue)) {}

    DispatchQueuePtr queue() const override { return queue_; }

    // For each event `name` (see EventList.h): the closure type `NameClosure`, its getter
    // `name()` and setter `setName(...)`. Closures are read through the getter, so a
    // subclass may supply them by overriding getters. Set them before the monitor is
    // handed to a session, or only on its own queue: an event sees the closure set when
    // it runs there.
#define HAWSER_CLOSURE_EVENT(Name, name, parameters, arguments)                                                        \
    using Name##Closure = std::function<void parameters>;                                                              \
    virtual Name##Closure name() const { return name##_; }                                                             \
    virtual void set##Name(Name##Closure closure) { name##_ = std::move(closure); }                                    \
    void name parameters override;
#define HAWSER_NO_CLOSURE_EVENT(Name, name, parameters, arguments)
    HAWSER_EVENTS(HAWSER_CLOSURE_EVENT, HAWSER_NO_CLOSURE_EVENT)
#undef HAWSER_CLOSURE_EVENT

private:
    DispatchQueuePtr queue_;
#define HAWSER_CLOSURE_MEMBER(Name, name, parameters, arguments) Name##Closure name##_;
    HAWSER_EVENTS(HAWSER_CLOSURE_MEMBER, HAWSER_NO_CLOSURE_EVENT)
#undef HAWSER_CLOSURE_MEMBER
#undef HAWSER_NO_CLOSURE_EVENT
};

}  // namespace Hawser

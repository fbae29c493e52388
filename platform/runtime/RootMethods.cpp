// The root class's methods. They are ordinary table entries, so a class (or a hook
// that exchanges them) can override "class", "respondsToSelector:", "dealloc" and the
// observer registration like any other method.
#include "platform/base/NoDestructor.h"
#include "platform/runtime/Class.h"

namespace platform {

namespace {
const Value& argument(const Arguments& arguments, std::size_t i) {
    static const NoDestructor<Value> null;
    return i < arguments.size() ? arguments[i] : *null;
}
}  // namespace

void Class::installRootMethods(Class& root) {
    root.addMethod(
        "class", [](Object& self, const Arguments&) { return Value(ObjectPtr(self.getClass())); }, "#@:");
    // A class object answers itself to "class".
    root.metaclass()->addMethod(
        "class", [](Object& self, const Arguments&) { return Value(self.shared_from_this()); }, "#@:");
    root.addMethod(
        "respondsToSelector:",
        [](Object& self, const Arguments& a) {
            auto name = argument(a, 0).asString();
            return Value(name && self.getClass()->instancesRespondToSelector(Selector(*name)));
        },
        "B@::");
    root.addMethod(
        "description", [](Object& self, const Arguments&) { return Value(self.description()); }, "@@:");
    root.addMethod(
        "addObserver:forKeyPath:options:context:",
        [](Object& self, const Arguments& a) {
            self.registerObservation(argument(a, 0).asObject(), argument(a, 1).stringValue(),
                                     KeyValueObservingOptions(argument(a, 2).asUInt64().value_or(0)),
                                     contextPointer(argument(a, 3)));
            return Value();
        },
        "v@:@@Q^v");
    root.addMethod(
        "removeObserver:forKeyPath:",
        [](Object& self, const Arguments& a) {
            auto observer = argument(a, 0).asObject();
            return Value(self.unregisterObservation(observer.get(), argument(a, 1).stringValue(), false, nullptr));
        },
        "v@:@@");
    root.addMethod(
        "removeObserver:forKeyPath:context:",
        [](Object& self, const Arguments& a) {
            auto observer = argument(a, 0).asObject();
            return Value(self.unregisterObservation(observer.get(), argument(a, 1).stringValue(), true,
                                                    contextPointer(argument(a, 2))));
        },
        "v@:@@^v");
    root.addMethod(
        "observeValueForKeyPath:ofObject:change:context:",
        [](Object& self, const Arguments& a) {
            auto change = argument(a, 2).asDictionary();
            self.observeValueForKeyPath(argument(a, 0).stringValue(), argument(a, 1).asObject(),
                                        change ? *change : Value::Dictionary(), contextPointer(argument(a, 3)));
            return Value();
        },
        "v@:@@@^v");
    root.addMethod(
        "dealloc",
        [](Object& self, const Arguments&) {
            self.releaseRuntimeState();
            return Value();
        },
        "v@:");
}

}  // namespace platform

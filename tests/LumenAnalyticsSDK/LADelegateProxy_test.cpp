// Delegate proxies: the proxy's methods run first and forward to the delegate's own,
// what the proxy does not handle reaches the delegate untouched, the delegate keeps
// reporting its class, and proxying again installs only what is new.
#include "LumenAnalyticsSDK/Core/HookDelegate/LADelegateProxy.h"

#include <gtest/gtest.h>

#include "LumenAnalyticsSDK/Core/HookDelegate/LADelegateProxyObject.h"
#include "LumenAnalyticsSDK/Core/HookDelegate/LAMethodHelper.h"
#include "LumenAnalyticsSDK/Core/HookDelegate/NSObject+DelegateProxy.h"
#include "LumenAnalyticsSDK/Core/HookDelegate/NSObject+LAKeyValueObserver.h"

using namespace LumenAnalyticsSDK;
using platform::Arguments;
using platform::Object;
using platform::ObjectPtr;
using platform::Value;

namespace {

std::vector<std::string> callLog;

class ListDelegate : public Object {
    PLATFORM_OBJECT(ListDelegate, Object)
public:
    int selected = 0;
    std::string title = "list";
    static void registerMethods(platform::Class& cls) {
        cls.addMethod("list:didSelectRow:", [](ListDelegate& self, ObjectPtr, int row) {
            callLog.push_back("delegate select " + std::to_string(row));
            self.selected = row;
        });
        cls.addMethod("listDidScroll:", [](ListDelegate&, ObjectPtr) { callLog.push_back("delegate scroll"); });
        cls.addMethod("title", [](ListDelegate& self) { return self.title; });
    }
};

// Proxying makes one class per delegate class for the process, and tests change those
// classes: each test proxies a delegate class of its own.
class ForwardingDelegate : public ListDelegate {
    PLATFORM_OBJECT(ForwardingDelegate, ListDelegate)
};
class ReproxiedDelegate : public ListDelegate {
    PLATFORM_OBJECT(ReproxiedDelegate, ListDelegate)
};
class TitleDelegate : public ListDelegate {
    PLATFORM_OBJECT(TitleDelegate, ListDelegate)
};
class ZoomDelegate : public ListDelegate {
    PLATFORM_OBJECT(ZoomDelegate, ListDelegate)
};

// The client's versions, written against any receiver: they note the call and hand it on.
class ListProxy : public LADelegateProxy {
    PLATFORM_OBJECT(ListProxy, LADelegateProxy)
public:
    static void registerMethods(platform::Class& cls) {
        cls.addMethod(
            "list:didSelectRow:",
            [](Object& self, const Arguments& arguments) {
                callLog.push_back("proxy select");
                invokeWithTarget(self.shared_from_this(), "list:didSelectRow:", arguments);
                return Value();
            },
            "v@:@i");
        cls.addMethod(
            "listDidScroll:",
            [](Object& self, const Arguments& arguments) {
                callLog.push_back("proxy scroll");
                invokeWithTarget(self.shared_from_this(), "listDidScroll:", arguments);
                return Value();
            },
            "v@:@");
        // Asks the delegate for a method it does not have: the failure is logged, not raised.
        cls.addMethod(
            "listDidZoom:",
            [](Object& self, const Arguments& arguments) {
                callLog.push_back("proxy zoom");
                invokeWithTarget(self.shared_from_this(), "listDidZoom:", arguments);
                return Value();
            },
            "v@:@");
        cls.addClassMethod("optionalSelectors",
                           [](platform::Class&) { return Value(Value::Array{Value("listDidZoom:")}); });
    }
};

// Stands for the runtime's observing machinery: removing an observation takes the
// object out of its observing subclass.
class ObservedListDelegate : public ListDelegate {
    PLATFORM_OBJECT(ObservedListDelegate, ListDelegate)
public:
    static void registerMethods(platform::Class& cls) {
        cls.addMethod(
            "removeObserver:forKeyPath:",
            [](Object& self, const Arguments&) {
                if (LADelegateProxyObject::isKVOClass(self.getClass()))
                    self.setClass(ObservedListDelegate::classObject());
                return Value(true);
            },
            "B@:@@");
    }
};

class Observer : public Object {
    PLATFORM_OBJECT(Observer, Object)
public:
    int notifications = 0;
    void observeValueForKeyPath(const std::string&, const ObjectPtr&, const Value::Dictionary&, void*) override {
        ++notifications;
    }
};

}  // namespace

class LADelegateProxyTest : public ::testing::Test {
protected:
    void SetUp() override { callLog.clear(); }
    ObjectPtr list = std::make_shared<Object>();
};

TEST_F(LADelegateProxyTest, ProxyRunsFirstForwardsAndLeavesOtherMethodsAlone) {
    auto delegate = std::make_shared<ForwardingDelegate>();
    LADelegateProxy::proxyDelegate(ListProxy::classObject(), delegate, {"list:didSelectRow:"});

    EXPECT_EQ(delegate->className(), "ForwardingDelegate_CN.LUMEN");
    EXPECT_EQ(delegate->reportedClass(), ForwardingDelegate::classObject());
    delegate->perform("list:didSelectRow:", {Value(list), Value(3)});
    delegate->perform("listDidScroll:", {Value(list)});
    EXPECT_EQ(callLog, (std::vector<std::string>{"proxy select", "delegate select 3", "delegate scroll"}));
    EXPECT_EQ(delegate->selected, 3);
    EXPECT_EQ(delegate->perform("title").stringValue(), "list");

    // Another delegate of the class is not touched; once proxied it shares the generated class.
    auto other = std::make_shared<ForwardingDelegate>();
    EXPECT_EQ(other->className(), "ForwardingDelegate");
    LADelegateProxy::proxyDelegate(ListProxy::classObject(), other, {"list:didSelectRow:"});
    EXPECT_EQ(other->getClass(), delegate->getClass());
}

TEST_F(LADelegateProxyTest, ProxyingAgainInstallsOnlyNewSelectors) {
    auto delegate = std::make_shared<ReproxiedDelegate>();
    LADelegateProxy::proxyDelegate(ListProxy::classObject(), delegate, {"list:didSelectRow:"});
    auto generated = delegate->getClass();
    auto record = lumen_delegateObject(*delegate);
    ASSERT_NE(record, nullptr);

    // A method put into the generated class after proxying stays: nothing is installed again.
    generated->replaceMethod(
        "list:didSelectRow:",
        [](Object&, const Arguments&) {
            callLog.push_back("replaced");
            return Value();
        },
        "v@:@i");
    LADelegateProxy::proxyDelegate(ListProxy::classObject(), delegate, {"list:didSelectRow:"});
    delegate->perform("list:didSelectRow:", {Value(list), Value(1)});
    EXPECT_EQ(callLog, std::vector<std::string>{"replaced"});

    LADelegateProxy::proxyDelegate(ListProxy::classObject(), delegate, {"list:didSelectRow:", "listDidScroll:"});
    callLog.clear();
    delegate->perform("list:didSelectRow:", {Value(list), Value(1)});
    delegate->perform("listDidScroll:", {Value(list)});
    EXPECT_EQ(callLog, (std::vector<std::string>{"replaced", "proxy scroll", "delegate scroll"}));
    EXPECT_TRUE(record->selectors.count("listDidScroll:"));

    // Class objects and empty sets are left alone.
    LADelegateProxy::proxyDelegate(ListProxy::classObject(), ReproxiedDelegate::classObject(), {"listDidScroll:"});
    EXPECT_EQ(lumen_delegateObject(*ReproxiedDelegate::classObject()), nullptr);
    auto untouched = std::make_shared<ReproxiedDelegate>();
    LADelegateProxy::proxyDelegate(ListProxy::classObject(), untouched, {});
    EXPECT_EQ(untouched->className(), "ReproxiedDelegate");
}

TEST_F(LADelegateProxyTest, ObservedDelegateKeepsItsClassAndIsNotified) {
    auto delegate = std::make_shared<TitleDelegate>();
    LADelegateProxy::proxyDelegate(ListProxy::classObject(), delegate, {"list:didSelectRow:"});
    auto observer = std::make_shared<Observer>();
    delegate->addObserver(observer, "title", platform::NSKeyValueObservingOptionNew);
    EXPECT_EQ(delegate->reportedClass(), TitleDelegate::classObject());
    delegate->willChangeValueForKey("title");
    delegate->title = "renamed";
    delegate->didChangeValueForKey("title");
    EXPECT_EQ(observer->notifications, 1);
    EXPECT_TRUE(delegate->removeObserver(observer, "title"));
    EXPECT_EQ(delegate->className(), "TitleDelegate_CN.LUMEN");
}

// A delegate inside a runtime observing subclass gets the methods there; when the
// observation ends and it leaves that class, it is proxied into the generated class.
TEST_F(LADelegateProxyTest, DelegateLeavingAnObservingClassIsProxiedAgain) {
    auto delegate = std::make_shared<ObservedListDelegate>();
    // Made once per process, as the runtime would; a repeated run finds it registered.
    auto observing = platform::Class::named("NSKVONotifying_ObservedListDelegate");
    if (!observing) {
        observing = platform::Class::allocateSubclass(ObservedListDelegate::classObject(),
                                                      "NSKVONotifying_ObservedListDelegate");
        ASSERT_NE(observing, nullptr);
        observing->addMethod(
            "class", [](Object&, const Arguments&) { return Value(ObjectPtr(ObservedListDelegate::classObject())); },
            "#@:");
        platform::Class::registerClass(observing);
    }
    delegate->setClass(observing);

    LADelegateProxy::proxyDelegate(ListProxy::classObject(), delegate, {"listDidScroll:"});
    EXPECT_EQ(delegate->getClass(), observing);
    delegate->perform("listDidScroll:", {Value(list)});
    EXPECT_EQ(callLog, (std::vector<std::string>{"proxy scroll", "delegate scroll"}));

    delegate->removeObserver(std::make_shared<Observer>(), "title");
    EXPECT_EQ(delegate->className(), "ObservedListDelegate_CN.LUMEN");
    EXPECT_EQ(delegate->reportedClass(), ObservedListDelegate::classObject());
    callLog.clear();
    delegate->perform("listDidScroll:", {Value(list)});
    EXPECT_EQ(callLog, (std::vector<std::string>{"proxy scroll", "delegate scroll"}));
}

TEST_F(LADelegateProxyTest, OptionalSelectorsAnswerRespondsToSelectorAndMissingOriginalsAreLogged) {
    LAMethodHelper::swizzleRespondsToSelector();
    auto delegate = std::make_shared<ZoomDelegate>();
    EXPECT_FALSE(delegate->respondsToSelector("listDidZoom:"));
    LADelegateProxy::resolveOptionalSelectorsForDelegate(ListProxy::classObject(), delegate);
    EXPECT_TRUE(delegate->respondsToSelector("listDidZoom:"));
    EXPECT_TRUE(delegate->respondsToSelector("title"));
    EXPECT_FALSE(delegate->respondsToSelector("listDidPinch:"));

    LADelegateProxy::proxyDelegate(ListProxy::classObject(), delegate, {"listDidZoom:"});
    EXPECT_NO_THROW(delegate->perform("listDidZoom:", {Value(list)}));
    EXPECT_EQ(callLog, std::vector<std::string>{"proxy zoom"});
}

TEST(LAKeyValueObserverTest, OnePairRegistersOnceAndADifferentContextAgain) {
    auto target = std::make_shared<ListDelegate>();
    auto observer = std::make_shared<Observer>();
    int contextA = 0, contextB = 0;
    lumen_addObserver(*target, observer, "title", platform::NSKeyValueObservingOptionNew, &contextA);
    lumen_addObserver(*target, observer, "title", platform::NSKeyValueObservingOptionNew, &contextA);
    EXPECT_EQ(target->observationCount("title"), 1u);
    lumen_addObserver(*target, observer, "title", platform::NSKeyValueObservingOptionNew, &contextB);
    EXPECT_EQ(target->observationCount("title"), 2u);
    EXPECT_EQ(lumen_KVO_targets(*observer)->allObjects(), std::vector<ObjectPtr>{target});
    EXPECT_FALSE(lumen_shouldAddObserver(*target, nullptr, nullptr, nullptr));

    // The observer going away takes its observations back from the target.
    lumen_removeKVOTargetsWhenDealloc(*observer);
    EXPECT_EQ(target->observationCount("title"), 0u);
}

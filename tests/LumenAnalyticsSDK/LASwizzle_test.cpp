// Method exchange: hooks run before the original, exchanging back restores it, inherited
// methods are changed only in the hooked class, and a missing method is a clear error.
#include "LumenAnalyticsSDK/Core/HookDelegate/NSObject+LASwizzle.h"

#include <gtest/gtest.h>

using namespace LumenAnalyticsSDK;
using platform::Arguments;
using platform::Object;
using platform::Value;

namespace {

class Greeter : public Object {
    PLATFORM_OBJECT(Greeter, Object)
public:
    std::vector<std::string> calls;
    static void registerMethods(platform::Class& cls) {
        cls.addMethod("greet:", [](Greeter& self, std::string name) {
            self.calls.push_back("greet");
            return "hello " + name;
        });
        // The hook: runs first, then the original through its own (exchanged) selector.
        cls.addMethod("hooked_greet:", [](Greeter& self, std::string name) {
            self.calls.push_back("hook");
            return self.perform("hooked_greet:", {Value(name)}).stringValue() + "!";
        });
        cls.addClassMethod("kind", [](platform::Class&) { return std::string("greeter"); });
        cls.addClassMethod("hooked_kind", [](platform::Class&) { return std::string("hooked"); });
    }
};

class LoudGreeter : public Greeter {
    PLATFORM_OBJECT(LoudGreeter, Greeter)
};
class QuietGreeter : public Greeter {
    PLATFORM_OBJECT(QuietGreeter, Greeter)
};

// A class outside the greeters that supplies a hook for them.
class GreetingHooks : public Object {
    PLATFORM_OBJECT(GreetingHooks, Object)
public:
    static void registerMethods(platform::Class& cls) {
        cls.addMethod(
            "external_greet:",
            [](Object& self, const Arguments& arguments) {
                std::string wrapped = "[";
                wrapped.append(self.perform("external_greet:", arguments).stringValue()).append("]");
                return Value(wrapped);
            },
            "@@:@");
    }
};

}  // namespace

TEST(LASwizzleTest, HookRunsBeforeTheOriginalAndExchangingBackRestoresIt) {
    auto greeter = std::make_shared<Greeter>();
    platform::ErrorPtr error;
    ASSERT_TRUE(la_swizzleMethod(Greeter::classObject(), "greet:", "hooked_greet:", &error));
    EXPECT_EQ(error, nullptr);
    EXPECT_EQ(greeter->perform("greet:", {"ann"}).stringValue(), "hello ann!");
    EXPECT_EQ(greeter->calls, (std::vector<std::string>{"hook", "greet"}));

    ASSERT_TRUE(la_swizzleMethod(Greeter::classObject(), "greet:", "hooked_greet:"));
    greeter->calls.clear();
    EXPECT_EQ(greeter->perform("greet:", {"ann"}).stringValue(), "hello ann");
    EXPECT_EQ(greeter->calls, (std::vector<std::string>{"greet"}));
}

TEST(LASwizzleTest, InheritedMethodsChangeOnlyInTheHookedClass) {
    auto loud = std::make_shared<LoudGreeter>();
    auto plain = std::make_shared<Greeter>();
    ASSERT_TRUE(la_swizzleMethod(LoudGreeter::classObject(), "greet:", "hooked_greet:"));
    EXPECT_EQ(loud->perform("greet:", {"bo"}).stringValue(), "hello bo!");
    EXPECT_EQ(plain->perform("greet:", {"bo"}).stringValue(), "hello bo");

    // The form that brings the hook in from another class.
    auto quiet = std::make_shared<QuietGreeter>();
    ASSERT_TRUE(
        la_swizzleMethod(QuietGreeter::classObject(), "greet:", GreetingHooks::classObject(), "external_greet:"));
    EXPECT_EQ(quiet->perform("greet:", {"cy"}).stringValue(), "[hello cy]");
    EXPECT_EQ(plain->perform("greet:", {"cy"}).stringValue(), "hello cy");
    // Bringing the same method in a second time is refused without an error.
    platform::ErrorPtr error;
    EXPECT_FALSE(la_swizzleMethod(QuietGreeter::classObject(), "greet:", GreetingHooks::classObject(),
                                  "external_greet:", &error));
    EXPECT_EQ(error, nullptr);

    ASSERT_TRUE(la_swizzleClassMethod(LoudGreeter::classObject(), "kind", "hooked_kind"));
    EXPECT_EQ(LoudGreeter::classObject()->perform("kind").stringValue(), "hooked");
    EXPECT_EQ(Greeter::classObject()->perform("kind").stringValue(), "greeter");
}

TEST(LASwizzleTest, MissingMethodIsAnErrorAndChangesNothing) {
    struct Case {
        platform::Selector original, alternate;
        std::string message;
    };
    const Case cases[] = {
        {"wave:", "hooked_greet:",
         "+[NSObject(LASwizzle) la_swizzleMethod:withMethod:error:]: original method wave: not found for class "
         "Greeter"},
        {"greet:", "hooked_wave:",
         "+[NSObject(LASwizzle) la_swizzleMethod:withMethod:error:]: alternate method hooked_wave: not found for class "
         "Greeter"},
    };
    auto greeter = std::make_shared<Greeter>();
    for (const auto& c : cases) {
        platform::ErrorPtr error;
        EXPECT_FALSE(la_swizzleMethod(Greeter::classObject(), c.original, c.alternate, &error));
        ASSERT_NE(error, nullptr);
        EXPECT_EQ(error->domain(), "NSCocoaErrorDomain");
        EXPECT_EQ(error->code(), -1);
        EXPECT_EQ(error->localizedDescription(), c.message);
    }
    EXPECT_EQ(Greeter::classObject()->ownMethod("hooked_wave:"), nullptr);
    EXPECT_EQ(greeter->perform("greet:", {"di"}).stringValue(), "hello di");

    platform::ErrorPtr error;
    EXPECT_FALSE(la_swizzleMethod(Greeter::classObject(), "greet:", GreetingHooks::classObject(), "nothing:", &error));
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->localizedDescription(),
              "+[NSObject(LASwizzle) la_swizzleMethod:withClass:withMethod:error:]: alternate method nothing: not "
              "found for class GreetingHooks");
}

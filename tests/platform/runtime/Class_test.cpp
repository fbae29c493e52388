// Method tables: inheritance, exchange, replacement, dynamic subclasses, look-up by name.
#include "platform/runtime/Class.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace platform;

namespace {

class Animal : public Object {
    PLATFORM_OBJECT(Animal, Object)
public:
    std::string sound = "...";
    std::string speak() { return sound; }
    std::string greet(const std::string& name, int times) {
        std::string out;
        for (int i = 0; i < times; ++i) out += "hi " + name + ";";
        return out;
    }
    static void registerMethods(Class& cls) {
        cls.addMethod("speak", &Animal::speak);
        cls.addMethod("greet:times:", &Animal::greet);
        cls.addMethod("name", [](Animal&) { return std::string("animal"); });
    }
};

class Dog : public Animal {
    PLATFORM_OBJECT(Dog, Animal)
public:
    Dog() { sound = "woof"; }
};

// Only the exchange test changes this class's table, so no other test sees the change.
class Hound : public Animal {
    PLATFORM_OBJECT(Hound, Animal)
public:
    Hound() { sound = "woof"; }
};

class Cat : public Animal {
    PLATFORM_OBJECT(Cat, Animal)
public:
    static void registerMethods(Class& cls) {
        cls.addMethod("name", [](Cat&) { return std::string("cat"); });
    }
};

std::string text(const Value& v) { return v.stringValue("<not a string>"); }

}  // namespace

// Known by name from start-up, before any instance exists.
PLATFORM_REGISTER_CLASS(Dog);
PLATFORM_REGISTER_CLASS(Cat);

TEST(ClassTest, NativeClassesFormAChainAndAreFoundByName) {
    EXPECT_EQ(Class::named("Cat"), Cat::classObject());
    auto dog = std::make_shared<Dog>();
    EXPECT_EQ(dog->className(), "Dog");
    EXPECT_EQ(Dog::classObject()->superclass(), Animal::classObject());
    EXPECT_EQ(Animal::classObject()->superclass(), Class::root());
    EXPECT_EQ(Class::root()->name(), "NSObject");
    EXPECT_EQ(Class::named("Dog"), Dog::classObject());
    EXPECT_EQ(Class::named("NoSuchClass"), nullptr);
    EXPECT_TRUE(dog->isKindOfClass(*Animal::classObject()));
    EXPECT_FALSE(dog->isMemberOfClass(*Animal::classObject()));
    EXPECT_FALSE(dog->isKindOfClass(*Cat::classObject()));
}

TEST(ClassTest, MethodsAreInheritedOverriddenAndConvertTheirArguments) {
    auto dog = std::make_shared<Dog>();
    auto cat = std::make_shared<Cat>();
    EXPECT_EQ(text(dog->perform("speak")), "woof");  // inherited from Animal
    EXPECT_EQ(text(dog->perform("name")), "animal");
    EXPECT_EQ(text(cat->perform("name")), "cat");  // Cat's own entry
    EXPECT_EQ(text(dog->perform("greet:times:", {"Rex", 2})), "hi Rex;hi Rex;");
    EXPECT_EQ(text(dog->perform("greet:times:", {"Rex"})), "");  // a missing argument reads as 0
    EXPECT_EQ(Dog::classObject()->ownMethod("speak"), nullptr);
    EXPECT_EQ(Animal::classObject()->instanceMethod("greet:times:")->typeEncoding(), "@@:@i");
}

TEST(ClassTest, UnknownSelectorsRaiseAndRespondsToSelectorAnswers) {
    auto dog = std::make_shared<Dog>();
    EXPECT_TRUE(dog->respondsToSelector("speak"));
    EXPECT_TRUE(dog->respondsToSelector("respondsToSelector:"));
    EXPECT_FALSE(dog->respondsToSelector("fly"));
    try {
        dog->perform("fly");
        FAIL() << "no exception";
    } catch (const NSException& e) {
        EXPECT_EQ(e.name(), NSInvalidArgumentException);
        EXPECT_NE(e.reason().find("-[Dog fly]: unrecognized selector"), std::string::npos);
    }
}

TEST(ClassTest, AddingRefusesAnOwnEntryAndReplacingAddsOrSwaps) {
    auto cls = Class::allocateSubclass(Animal::classObject(), "AddReplaceProbe");
    ASSERT_TRUE(cls);
    IMP one = [](Object&, const Arguments&) { return Value(1); };
    IMP two = [](Object&, const Arguments&) { return Value(2); };
    EXPECT_TRUE(cls->addMethod("probe", one, "i@:"));
    EXPECT_FALSE(cls->addMethod("probe", two, "i@:"));
    EXPECT_TRUE(cls->addMethod("speak", two, "i@:"));  // overriding an inherited method is adding
    auto previous = cls->replaceMethod("probe", two, "i@:");
    ASSERT_TRUE(previous);
    Animal a;
    EXPECT_EQ(previous(a, {}).asInt64(), 1);
    EXPECT_FALSE(cls->replaceMethod("fresh", one, "i@:"));  // added: nothing replaced
    EXPECT_TRUE(cls->ownMethod("fresh"));
}

// Swizzling: give the class entries of its own for both selectors, then exchange them.
// The subclass changes; the class it inherited from does not.
TEST(ClassTest, ExchangingAnInheritedMethodChangesOnlyTheSubclass) {
    auto houndClass = Hound::classObject();
    auto base = houndClass->instanceMethod("speak");
    houndClass->addMethod("speak", base->implementation(), base->typeEncoding());
    houndClass->addMethod("swizzled_speak", [](Hound& self) {
        // After the exchange this selector reaches the original implementation.
        return "loud " + self.perform("swizzled_speak").stringValue();
    });
    Method::exchangeImplementations(*houndClass->ownMethod("speak"), *houndClass->ownMethod("swizzled_speak"));

    auto hound = std::make_shared<Hound>();
    auto animal = std::make_shared<Animal>();
    EXPECT_EQ(text(hound->perform("speak")), "loud woof");
    EXPECT_EQ(text(animal->perform("speak")), "...");
    Method::exchangeImplementations(*houndClass->ownMethod("speak"), *houndClass->ownMethod("swizzled_speak"));
    EXPECT_EQ(text(hound->perform("speak")), "woof");
}

TEST(ClassTest, DynamicSubclassChangesOnlyTheObjectMovedIntoIt) {
    auto sub = Class::allocateSubclass(Animal::classObject(), "Animal_Dynamic");
    ASSERT_TRUE(sub);
    EXPECT_EQ(Class::named("Animal_Dynamic"), nullptr);                                    // not until registered
    EXPECT_EQ(Class::allocateSubclass(Animal::classObject(), "Animal_Dynamic"), nullptr);  // name taken
    EXPECT_EQ(Class::allocateSubclass(Animal::classObject(), "Dog"), nullptr);
    EXPECT_EQ(Class::allocateSubclass(Animal::classObject(), ""), nullptr);
    Class::registerClass(sub);
    EXPECT_EQ(Class::named("Animal_Dynamic"), sub);

    sub->addMethod("speak", [](Animal& self) { return "hooked " + self.sound; });
    // The object keeps reporting its old class, as a proxying subclass would want.
    sub->addMethod("class", [](Animal&) { return Animal::classObject(); });

    auto moved = std::make_shared<Animal>();
    auto untouched = std::make_shared<Animal>();
    EXPECT_EQ(moved->setClass(sub), Animal::classObject());
    EXPECT_EQ(text(moved->perform("speak")), "hooked ...");
    EXPECT_EQ(text(untouched->perform("speak")), "...");
    EXPECT_EQ(text(moved->perform("name")), "animal");  // inherited through the new class
    EXPECT_EQ(moved->className(), "Animal_Dynamic");
    EXPECT_EQ(moved->reportedClass(), Animal::classObject());
    EXPECT_EQ(untouched->reportedClass(), Animal::classObject());
    // A message from the class it had before bypasses the hook.
    EXPECT_EQ(text(moved->performFrom(*Animal::classObject(), "speak")), "...");
}

TEST(ClassTest, ClassMethodsLiveInTheMetaclassAndClassObjectsAnswerRootMethods) {
    auto cls = Class::allocateSubclass(Class::root(), "ClassMethodProbe");
    Class::registerClass(cls);
    cls->metaclass()->addMethod(
        "make", [](Object& self, const Arguments&) { return Value("made by " + static_cast<Class&>(self).name()); },
        "@@:");
    EXPECT_EQ(text(cls->perform("make")), "made by ClassMethodProbe");
    EXPECT_TRUE(cls->respondsToSelector("make"));
    EXPECT_FALSE(std::make_shared<Object>()->respondsToSelector("make"));
    EXPECT_EQ(cls->reportedClass(), cls);  // a class answers itself to "class"
    EXPECT_TRUE(cls->isClassObject());
    auto sub = Class::allocateSubclass(cls, "ClassMethodProbeSub");
    EXPECT_EQ(text(sub->perform("make")), "made by ClassMethodProbeSub");  // class methods inherit too
}

TEST(ClassTest, TypedMethodOnAnotherReceiverRaises) {
    auto sub = Class::allocateSubclass(Class::root(), "WrongReceiverProbe");
    sub->addMethod("bark", [](Dog& d) { return d.sound; });
    auto plain = std::make_shared<Object>();
    plain->setClass(sub);
    EXPECT_THROW(plain->perform("bark"), NSException);
}

// Exchanging the root's "respondsToSelector:" lets code claim selectors it has no method
// for, as delegate proxies do; every object goes through the exchanged method.
TEST(ClassTest, RespondsToSelectorCanBeHooked) {
    static const char claimedKey = 0;
    auto root = Class::root();
    root->addMethod(
        "probe_respondsToSelector:",
        [](Object& self, const Arguments& a) {
            if (self.perform("probe_respondsToSelector:", a).asBool().value_or(false)) return Value(true);
            auto claimed = self.associatedObject(&claimedKey);
            return Value(claimed.isString() && a.size() == 1 && claimed == a[0]);
        },
        "B@::");
    Method::exchangeImplementations(*root->ownMethod("respondsToSelector:"),
                                    *root->ownMethod("probe_respondsToSelector:"));
    auto object = std::make_shared<Object>();
    object->setAssociatedObject(&claimedKey, Value("optionalThing:"), AssociationPolicy::copyNonatomic);
    EXPECT_TRUE(object->respondsToSelector("optionalThing:"));
    EXPECT_TRUE(object->respondsToSelector("description"));
    EXPECT_FALSE(std::make_shared<Object>()->respondsToSelector("optionalThing:"));
    Method::exchangeImplementations(*root->ownMethod("respondsToSelector:"),
                                    *root->ownMethod("probe_respondsToSelector:"));
    EXPECT_FALSE(object->respondsToSelector("optionalThing:"));
}

TEST(ClassTest, TargetActionSendsOnlyWhenTheTargetAnswers) {
    struct Target : Object {
        std::vector<ObjectPtr> senders;
    };
    auto cls = Class::allocateSubclass(Class::root(), "ActionTarget");
    cls->addMethod("clicked:", [](Target& t, ObjectPtr sender) { t.senders.push_back(sender); });
    auto target = std::make_shared<Target>();
    target->setClass(cls);
    auto sender = std::make_shared<Object>();
    EXPECT_TRUE(sendAction("clicked:", target, sender));
    EXPECT_FALSE(sendAction("other:", target, sender));
    EXPECT_FALSE(sendAction("clicked:", nullptr, sender));
    ASSERT_EQ(target->senders.size(), 1u);
    EXPECT_EQ(target->senders[0], sender);
}

// Messages sent while another thread exchanges the implementations always reach one of
// the two, never a half-changed table.
TEST(ClassTest, ExchangeWhileOtherThreadsSendMessages) {
    auto cls = Class::allocateSubclass(Class::root(), "ConcurrentExchangeProbe");
    cls->addMethod(
        "left", [](Object&, const Arguments&) { return Value(1); }, "i@:");
    cls->addMethod(
        "right", [](Object&, const Arguments&) { return Value(2); }, "i@:");
    auto object = std::make_shared<Object>();
    object->setClass(cls);
    std::atomic<bool> stop{false};
    std::atomic<int> bad{0};
    std::vector<std::thread> senders;
    for (int t = 0; t < 3; ++t) {
        senders.emplace_back([&] {
            while (!stop) {
                auto a = object->perform("left").asInt64().value_or(0);
                auto b = object->perform("right").asInt64().value_or(0);
                if ((a != 1 && a != 2) || (b != 1 && b != 2)) ++bad;
            }
        });
    }
    for (int i = 0; i < 20000; ++i) Method::exchangeImplementations(*cls->ownMethod("left"), *cls->ownMethod("right"));
    stop = true;
    for (auto& t : senders) t.join();
    EXPECT_EQ(bad, 0);
    EXPECT_EQ(object->perform("left").asInt64(), 1);  // an even number of exchanges
}

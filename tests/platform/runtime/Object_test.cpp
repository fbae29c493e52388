// Associated objects (policies, release order) and key-value observing.
#include "platform/runtime/Class.h"

#include <gtest/gtest.h>

using namespace platform;

namespace {

// Writes its name into a shared log when destroyed.
struct Tracked : Object {
    Tracked(std::string name, std::vector<std::string>* log) : name(std::move(name)), log(log) {}
    ~Tracked() override { log->push_back(name); }
    ObjectPtr copyObject() const override { return std::make_shared<Tracked>(name + " copy", log); }
    std::string name;
    std::vector<std::string>* log;
};

// An owner that logs when its own C++ parts go, before the base releases associations.
struct Owner : Object {
    explicit Owner(std::vector<std::string>* log) : log(log) {}
    ~Owner() override { log->push_back("owner"); }
    std::vector<std::string>* log;
};

const char keyA = 0, keyB = 0, keyC = 0;

}  // namespace

TEST(AssociationTest, ReleasedInTheOwnersDestructorLastAttachedFirst) {
    std::vector<std::string> log;
    {
        auto owner = std::make_shared<Owner>(&log);
        owner->setAssociatedObject(&keyA, Value(std::make_shared<Tracked>("a", &log)),
                                   AssociationPolicy::retainNonatomic);
        owner->setAssociatedObject(&keyB, Value(std::make_shared<Tracked>("b", &log)), AssociationPolicy::retain);
        owner->setAssociatedObject(&keyC, Value(std::make_shared<Tracked>("c", &log)),
                                   AssociationPolicy::retainNonatomic);
        // Replacing releases the old value at once and keeps the key's place.
        owner->setAssociatedObject(&keyA, Value(std::make_shared<Tracked>("a2", &log)),
                                   AssociationPolicy::retainNonatomic);
        EXPECT_EQ(log, std::vector<std::string>({"a"}));
        EXPECT_EQ(owner->associatedObject(&keyB).asObject<Tracked>()->name, "b");
    }
    EXPECT_EQ(log, std::vector<std::string>({"a", "owner", "c", "b", "a2"}));
}

TEST(AssociationTest, PoliciesRetainCopyOrHoldWeakly) {
    std::vector<std::string> log;
    auto owner = std::make_shared<Object>();
    auto held = std::make_shared<Tracked>("held", &log);

    owner->setAssociatedObject(&keyA, Value(held), AssociationPolicy::assign);
    EXPECT_EQ(owner->associatedObject(&keyA).asObject(), held);
    owner->setAssociatedObject(&keyB, Value(held), AssociationPolicy::copyNonatomic);
    auto copy = owner->associatedObject(&keyB).asObject<Tracked>();
    ASSERT_TRUE(copy);
    EXPECT_NE(copy, held);
    EXPECT_EQ(copy->name, "held copy");
    copy.reset();

    held.reset();  // only the weak association pointed at it
    EXPECT_EQ(log, std::vector<std::string>({"held"}));
    EXPECT_TRUE(owner->associatedObject(&keyA).isNull());

    // Values that are not objects are stored as values under any policy.
    owner->setAssociatedObject(&keyC, Value("label"), AssociationPolicy::copy);
    EXPECT_EQ(owner->associatedObject(&keyC), Value("label"));
    owner->setAssociatedObject(&keyC, Value(), AssociationPolicy::copy);  // null removes
    EXPECT_TRUE(owner->associatedObject(&keyC).isNull());

    // An object that cannot be copied is refused, and nothing is stored.
    EXPECT_THROW(owner->setAssociatedObject(&keyC, Value(std::make_shared<Object>()), AssociationPolicy::copy),
                 NSException);
    EXPECT_TRUE(owner->associatedObject(&keyC).isNull());
}

// A hooked "dealloc" runs before the associations go, and can still read them.
TEST(AssociationTest, HookedDeallocSeesAssociationsBeforeRelease) {
    static std::vector<std::string> seen;
    auto cls = Class::allocateSubclass(Class::root(), "DeallocHookProbe");
    cls->addMethod(
        "dealloc",
        [](Object& self, const Arguments&) {
            seen.push_back(self.associatedObject(&keyA).stringValue("none"));
            return self.performFrom(*Class::root(), "dealloc");
        },
        "v@:");
    {
        auto object = std::make_shared<Object>();
        object->setClass(cls);
        object->setAssociatedObject(&keyA, Value("still here"), AssociationPolicy::retain);
    }
    EXPECT_EQ(seen, std::vector<std::string>({"still here"}));
}

namespace {

class Model : public Object {
    PLATFORM_OBJECT(Model, Object)
public:
    std::string title() const { return title_; }
    void setTitle(const std::string& title) {
        willChangeValueForKey("title");
        title_ = title;
        didChangeValueForKey("title");
    }
    static void registerMethods(Class& cls) { cls.addMethod("title", &Model::title); }

private:
    std::string title_ = "first";
};

struct Observer : Object {
    struct Seen {
        std::string keyPath;
        Value::Dictionary change;
        void* context;
    };
    std::vector<Seen> seen;
    void observeValueForKeyPath(const std::string& keyPath, const ObjectPtr&, const Value::Dictionary& change,
                                void* context) override {
        seen.push_back({keyPath, change, context});
    }
};

}  // namespace

TEST(KeyValueObservingTest, ObserversGetWhatTheirOptionsAskFor) {
    auto model = std::make_shared<Model>();
    auto both = std::make_shared<Observer>(), initial = std::make_shared<Observer>(),
         prior = std::make_shared<Observer>();
    int context = 0;
    model->addObserver(both, "title", {NSKeyValueObservingOptionNew, NSKeyValueObservingOptionOld}, &context);
    model->addObserver(initial, "title", {NSKeyValueObservingOptionInitial, NSKeyValueObservingOptionNew});
    model->addObserver(prior, "title", {NSKeyValueObservingOptionPrior, NSKeyValueObservingOptionOld});
    ASSERT_EQ(initial->seen.size(), 1u);
    EXPECT_EQ(initial->seen[0].change.at(NSKeyValueChangeNewKey), Value("first"));

    model->setTitle("second");

    ASSERT_EQ(both->seen.size(), 1u);
    EXPECT_EQ(both->seen[0].keyPath, "title");
    EXPECT_EQ(both->seen[0].context, &context);
    EXPECT_EQ(both->seen[0].change,
              (Value::Dictionary{{"kind", Value(1)}, {"new", Value("second")}, {"old", Value("first")}}));
    ASSERT_EQ(initial->seen.size(), 2u);
    EXPECT_EQ(initial->seen[1].change, (Value::Dictionary{{"kind", Value(1)}, {"new", Value("second")}}));
    ASSERT_EQ(prior->seen.size(), 2u);  // before and after the change
    EXPECT_EQ(prior->seen[0].change,
              (Value::Dictionary{{"kind", Value(1)}, {"notificationIsPrior", Value(true)}, {"old", Value("first")}}));
    EXPECT_EQ(prior->seen[1].change, (Value::Dictionary{{"kind", Value(1)}, {"old", Value("first")}}));
}

TEST(KeyValueObservingTest, RemovalMatchesContextAndGoneObserversAreSkipped) {
    auto model = std::make_shared<Model>();
    auto observer = std::make_shared<Observer>();
    int one = 0, two = 0;
    model->addObserver(observer, "title", NSKeyValueObservingOptionNew, &one);
    model->addObserver(observer, "title", NSKeyValueObservingOptionNew, &two);
    int other = 0;
    EXPECT_FALSE(model->removeObserver(observer, "title", &other));  // no such context
    EXPECT_TRUE(model->removeObserver(observer, "title", &one));
    model->setTitle("x");
    ASSERT_EQ(observer->seen.size(), 1u);
    EXPECT_EQ(observer->seen[0].context, &two);
    EXPECT_TRUE(model->removeObserver(observer, "title"));
    EXPECT_FALSE(model->removeObserver(observer, "title"));
    model->setTitle("y");
    EXPECT_EQ(observer->seen.size(), 1u);

    {
        auto gone = std::make_shared<Observer>();
        model->addObserver(gone, "title", NSKeyValueObservingOptionNew);
        EXPECT_EQ(model->observationCount("title"), 1u);
    }
    EXPECT_EQ(model->observationCount("title"), 0u);
    model->setTitle("z");  // nobody to call, nothing to crash
    EXPECT_EQ(model->title(), "z");
}

TEST(KeyValueObservingTest, NestedAnnouncementsPairOldValuesInnermostFirst) {
    auto model = std::make_shared<Model>();
    auto observer = std::make_shared<Observer>();
    model->addObserver(observer, "title", {NSKeyValueObservingOptionNew, NSKeyValueObservingOptionOld});
    model->willChangeValueForKey("title");
    model->setTitle("inner");  // a full will/did pair inside the outer one
    model->didChangeValueForKey("title");
    ASSERT_EQ(observer->seen.size(), 2u);
    EXPECT_EQ(observer->seen[0].change.at("old"), Value("first"));
    EXPECT_EQ(observer->seen[1].change.at("old"), Value("first"));
    EXPECT_EQ(observer->seen[1].change.at("new"), Value("inner"));
    model->didChangeValueForKey("title");  // unpaired: reported without an old value
    ASSERT_EQ(observer->seen.size(), 3u);
    EXPECT_FALSE(observer->seen[2].change.count("old"));
}

// An observer that removes itself while being notified, as one-shot observers do.
TEST(KeyValueObservingTest, ObserverMayRemoveItselfDuringNotification) {
    struct OneShot : Observer {
        void observeValueForKeyPath(const std::string& keyPath, const ObjectPtr& object,
                                    const Value::Dictionary& change, void* context) override {
            Observer::observeValueForKeyPath(keyPath, object, change, context);
            object->removeObserver(shared_from_this(), keyPath);
        }
    };
    auto model = std::make_shared<Model>();
    auto observer = std::make_shared<OneShot>();
    model->addObserver(observer, "title", NSKeyValueObservingOptionNew);
    model->setTitle("a");
    model->setTitle("b");
    ASSERT_EQ(observer->seen.size(), 1u);
    EXPECT_EQ(observer->seen[0].change.at("new"), Value("a"));
}

TEST(KeyValueCodingTest, ReadsThroughGettersAndRaisesForUnknownKeys) {
    auto model = std::make_shared<Model>();
    EXPECT_EQ(model->valueForKey("title"), Value("first"));
    try {
        model->valueForKey("missing");
        FAIL() << "no exception";
    } catch (const NSException& e) {
        EXPECT_EQ(e.name(), NSUnknownKeyException);
        EXPECT_NE(e.reason().find("for the key missing."), std::string::npos);
    }
}

// Configuring values and objects in one expression.
#include <gtest/gtest.h>

#include <stdexcept>

#include "Configurable/Configurable.h"

using platform::CGRect;

namespace {

class Widget : public platform::Object {
public:
    int size = 0;
};

TEST(Configurable, WithCopiesDoRunsThenReturnsTheSameObject) {
    const CGRect original(0, 0, 10, 20);
    CGRect changed = Configurable::with(original, [](CGRect& r) { r.size.width = 99; });
    EXPECT_EQ(changed, CGRect(0, 0, 99, 20));
    EXPECT_EQ(original, CGRect(0, 0, 10, 20));

    std::vector<int> list{1};
    Configurable::do_(list, [](std::vector<int>& l) { l.push_back(2); });
    EXPECT_EQ(list, (std::vector<int>{1, 2}));

    auto widget = std::make_shared<Widget>();
    auto same = Configurable::then(widget, [](const std::shared_ptr<Widget>& w) { w->size = 3; });
    EXPECT_EQ(same, widget);
    EXPECT_EQ(widget->size, 3);
    // For objects `with` copies the reference: the object itself changes.
    auto alias = Configurable::with(widget, [](std::shared_ptr<Widget>& w) { w->size = 4; });
    EXPECT_EQ(alias, widget);
    EXPECT_EQ(widget->size, 4);

    auto encoder = Configurable::with(platform::JSONEncoder(), [](platform::JSONEncoder& e) {
        e.keyEncodingStrategy = platform::JSONEncoder::KeyEncodingStrategy::convertToSnakeCase;
    });
    EXPECT_EQ(encoder.keyEncodingStrategy, platform::JSONEncoder::KeyEncodingStrategy::convertToSnakeCase);
}

TEST(Configurable, AFailingBlockPassesItsErrorOn) {
    struct Failure : std::runtime_error {
        using std::runtime_error::runtime_error;
    };
    const std::map<std::string, int> settings{{"a", 1}};
    EXPECT_THROW(Configurable::with(settings, [](auto&) { throw Failure("with"); }), Failure);
    EXPECT_EQ(settings.size(), 1u);
    auto widget = std::make_shared<Widget>();
    try {
        Configurable::then(widget, [](const auto&) { throw Failure("then"); });
        FAIL() << "no error";
    } catch (const Failure& e) {
        EXPECT_STREQ(e.what(), "then");
    }
}

}  // namespace

// The facade before set-up (set-up itself runs in a real process: crash_test).
#include <gtest/gtest.h>

#include <cctype>

#include "TallockSDK/Tallock.h"

using namespace TallockSDK;

TEST(TallockFacade, BeforeSetUpTrackDropsAndFlushEndsAtOnce) {
    auto shared = Tallock::shared();
    ASSERT_FALSE(shared->isSetUp());
    Tallock::track(Event("e", TextMap{}, EventError()));
    int calls = 0;
    Tallock::flush([&] { ++calls; });
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(shared->logManager || shared->networkManager);
}

TEST(TallockFacade, RenewSessionGivesANewIdAndClearsTheDates) {
    auto shared = Tallock::shared();
    std::string first = shared->_session_id;
    ASSERT_EQ(first.size(), 36u);
    for (char c : first) EXPECT_TRUE(c == '-' || std::isdigit(static_cast<unsigned char>(c)) || std::isupper(c));
    shared->foregroundDate = platform::Date::now();
    Tallock::renewSession();
    EXPECT_NE(shared->_session_id, first);
    EXPECT_FALSE(shared->foregroundDate || shared->backgroundDate);
}

// The weak object set: members are unique, held weakly and drop out when they go away.
#include "platform/runtime/NSHashTable.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(NSHashTableTest, HoldsMembersWeaklyAndOnce) {
    auto table = NSHashTable::weakObjectsHashTable();
    auto kept = std::make_shared<Object>();
    auto dropped = std::make_shared<Object>();
    std::weak_ptr<Object> droppedWeak = dropped;
    table->addObject(kept);
    table->addObject(kept);
    table->addObject(dropped);
    table->addObject(nullptr);
    EXPECT_EQ(table->count(), 2u);

    dropped.reset();
    EXPECT_TRUE(droppedWeak.expired());  // the table did not keep it alive
    EXPECT_EQ(table->allObjects(), std::vector<ObjectPtr>{kept});

    EXPECT_TRUE(table->containsObject(kept.get()));
    table->removeObject(kept.get());
    EXPECT_FALSE(table->containsObject(kept.get()));
    EXPECT_EQ(table->count(), 0u);
}

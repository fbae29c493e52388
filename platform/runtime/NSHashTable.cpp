// The weak object set: identities compared by address, dead members pruned whenever the
// table is touched (an address can be reused by a new object once the old one is gone).
#include "platform/runtime/NSHashTable.h"

#include <algorithm>

namespace platform {

std::shared_ptr<NSHashTable> NSHashTable::weakObjectsHashTable() { return std::make_shared<NSHashTable>(); }

void NSHashTable::pruneLocked() const {
    std::erase_if(entries_, [](const Entry& e) { return e.object.expired(); });
}

void NSHashTable::addObject(const ObjectPtr& object) {
    if (!object) return;
    std::lock_guard guard(lock_);
    pruneLocked();
    if (std::none_of(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.identity == object.get(); }))
        entries_.push_back({object, object.get()});
}

void NSHashTable::removeObject(const Object* object) {
    std::lock_guard guard(lock_);
    std::erase_if(entries_, [&](const Entry& e) { return e.identity == object || e.object.expired(); });
}

bool NSHashTable::containsObject(const Object* object) const {
    std::lock_guard guard(lock_);
    pruneLocked();
    return std::any_of(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.identity == object; });
}

std::vector<ObjectPtr> NSHashTable::allObjects() const {
    std::lock_guard guard(lock_);
    std::vector<ObjectPtr> alive;
    for (auto& e : entries_)
        if (auto object = e.object.lock()) alive.push_back(std::move(object));
    return alive;
}

}  // namespace platform

// The weak object set: identities compared by address, dead members pruned whenever the
// table is touched (an address can be reused by a new object once the old one is gone).
#include "platform/runtime/NSHashTable.h"

#include <algorithm>

namespace platform {

std::shared_ptr<NSHashTable> NSHashTable::weakObjectsHashTable() { return std::make_shared<NSHashTable>(); }

void NSHashTable::pruneDead(std::vector<Entry>& entries) {
    std::erase_if(entries, [](const Entry& e) { return e.object.expired(); });
}

void NSHashTable::addObject(const ObjectPtr& object) {
    if (!object) return;
    entries_.write([&](std::vector<Entry>& entries) {
        pruneDead(entries);
        if (std::none_of(entries.begin(), entries.end(), [&](const Entry& e) { return e.identity == object.get(); }))
            entries.push_back({object, object.get()});
    });
}

void NSHashTable::removeObject(const Object* object) {
    entries_.write([&](std::vector<Entry>& entries) {
        std::erase_if(entries, [&](const Entry& e) { return e.identity == object || e.object.expired(); });
    });
}

bool NSHashTable::containsObject(const Object* object) const {
    return entries_.write([&](std::vector<Entry>& entries) {
        pruneDead(entries);
        return std::any_of(entries.begin(), entries.end(), [&](const Entry& e) { return e.identity == object; });
    });
}

std::vector<ObjectPtr> NSHashTable::allObjects() const {
    return entries_.read([](const std::vector<Entry>& entries) {
        std::vector<ObjectPtr> alive;
        for (auto& e : entries)
            if (auto object = e.object.lock()) alive.push_back(std::move(object));
        return alive;
    });
}

}  // namespace platform

// A set of objects held weakly: members that go away drop out by themselves, so an
// object can remember who it is tied to without keeping them alive. Kept as a runtime
// object so that it can be attached to another object as an associated value.
#pragma once
#include <vector>

#include "platform/base/Protected.h"
#include "platform/runtime/Object.h"

namespace platform {

class NSHashTable final : public Object {
public:
    // The only kind of table there is: weak members, compared by identity.
    static std::shared_ptr<NSHashTable> weakObjectsHashTable();

    // Adding a member twice keeps one entry; a null object is ignored.
    void addObject(const ObjectPtr& object);
    void removeObject(const Object* object);
    bool containsObject(const Object* object) const;
    // The members still alive, in order of addition.
    std::vector<ObjectPtr> allObjects() const;
    std::size_t count() const { return allObjects().size(); }

private:
    struct Entry {
        std::weak_ptr<Object> object;
        const Object* identity;
    };
    static void pruneDead(std::vector<Entry>& entries);

    mutable Protected<std::vector<Entry>> entries_;
};

}  // namespace platform

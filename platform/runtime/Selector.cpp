// Interning of selector names: one string per name for the life of the process.
#include "platform/runtime/Selector.h"

#include "platform/base/NoDestructor.h"

#include <algorithm>
#include <mutex>
#include <unordered_set>

namespace platform {

namespace {
struct Interned {
    std::mutex lock;
    std::unordered_set<std::string> names;  // nodes never move, so pointers stay valid
};
Interned& interned() {
    static NoDestructor<Interned> table;  // selectors outlive static teardown
    return *table;
}
const std::string& emptyName() {
    static const NoDestructor<std::string> empty;
    return *empty;
}
}  // namespace

Selector::Selector(std::string_view name) {
    auto& table = interned();
    std::lock_guard guard(table.lock);
    name_ = &*table.names.emplace(name).first;
}

const std::string& Selector::name() const { return name_ ? *name_ : emptyName(); }

std::size_t Selector::argumentCount() const {
    return name_ ? static_cast<std::size_t>(std::count(name_->begin(), name_->end(), ':')) : 0;
}

}  // namespace platform

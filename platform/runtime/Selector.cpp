// Interning of selector names: one string per name for the life of the process.
#include "platform/runtime/Selector.h"

#include "platform/base/NoDestructor.h"
#include "platform/base/Protected.h"

#include <algorithm>
#include <unordered_set>

namespace platform {

namespace {
// Nodes never move, so pointers to the names stay valid.
using InternedNames = Protected<std::unordered_set<std::string>>;
InternedNames& interned() {
    static NoDestructor<InternedNames> table;  // selectors outlive static teardown
    return *table;
}
const std::string& emptyName() {
    static const NoDestructor<std::string> empty;
    return *empty;
}
}  // namespace

Selector::Selector(std::string_view name) {
    name_ = interned().write([&](auto& names) { return &*names.emplace(name).first; });
}

const std::string& Selector::name() const { return name_ ? *name_ : emptyName(); }

std::size_t Selector::argumentCount() const {
    return name_ ? static_cast<std::size_t>(std::count(name_->begin(), name_->end(), ':')) : 0;
}

}  // namespace platform

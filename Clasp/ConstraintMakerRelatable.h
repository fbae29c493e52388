// The relation step of a chain: relate the described attributes to a target, or to
// the item's superview. Each records where it was written.
#pragma once
#include <source_location>

#include "Clasp/ConstraintMakerEditable.h"
#include "Clasp/ConstraintRelatableTarget.h"
#include "platform/base/CallerLocation.h"

namespace Clasp {

class ConstraintMakerRelatable {
public:
    explicit ConstraintMakerRelatable(ConstraintDescriptionPtr description) : description_(std::move(description)) {}

    ConstraintMakerEditable equalTo(const ConstraintRelatableTarget& other,
                                    std::source_location where = SKYREACH_CALLER_LOCATION) {
        return relatedTo(other, ConstraintRelation::equal, where);
    }
    ConstraintMakerEditable lessThanOrEqualTo(const ConstraintRelatableTarget& other,
                                              std::source_location where = SKYREACH_CALLER_LOCATION) {
        return relatedTo(other, ConstraintRelation::lessThanOrEqual, where);
    }
    ConstraintMakerEditable greaterThanOrEqualTo(const ConstraintRelatableTarget& other,
                                                 std::source_location where = SKYREACH_CALLER_LOCATION) {
        return relatedTo(other, ConstraintRelation::greaterThanOrEqual, where);
    }
    // Stops the program when the item has no superview.
    ConstraintMakerEditable equalToSuperview(std::source_location where = SKYREACH_CALLER_LOCATION);
    ConstraintMakerEditable lessThanOrEqualToSuperview(std::source_location where = SKYREACH_CALLER_LOCATION);
    ConstraintMakerEditable greaterThanOrEqualToSuperview(std::source_location where = SKYREACH_CALLER_LOCATION);

    // Stops the program for a related item with several attributes that differ from the
    // described ones, and for a target of any other kind.
    ConstraintMakerEditable relatedTo(const ConstraintRelatableTarget& other, ConstraintRelation relation,
                                      std::source_location where = SKYREACH_CALLER_LOCATION);

    const ConstraintDescriptionPtr& description() const { return description_; }

protected:
    ConstraintDescriptionPtr description_;

private:
    ConstraintMakerEditable relatedToSuperview(ConstraintRelation relation, const char* name,
                                               std::source_location where);
};

}  // namespace Clasp

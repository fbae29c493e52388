// One provider for targets of different types: wraps any target and answers every
// target property with the wrapped target's.
#pragma once
#include "Berth/AccessTokenPlugin.h"
#include "Berth/TargetType.h"

namespace Berth {

class MultiTarget final : public TargetType, public AccessTokenAuthorizable {
public:
    explicit MultiTarget(TargetPtr target) : target_(std::move(target)) {}
    template <class T>
        requires std::derived_from<T, TargetType>
    explicit MultiTarget(T target) : target_(std::make_shared<const T>(std::move(target))) {}

    const TargetType& target() const { return *target_; }
    const TargetPtr& targetPtr() const { return target_; }

    platform::URL baseURL() const override { return target_->baseURL(); }
    std::string path() const override { return target_->path(); }
    HTTPMethod method() const override { return target_->method(); }
    platform::Data sampleData() const override { return target_->sampleData(); }
    Task task() const override { return target_->task(); }
    ValidationType validationType() const override { return target_->validationType(); }
    std::optional<HeaderFields> headers() const override { return target_->headers(); }
    // The wrapped target's type when it asks for a token, else none.
    std::optional<AuthorizationType> authorizationType() const override;
    std::string description() const override { return "target(" + target_->description() + ")"; }

private:
    TargetPtr target_;
};

}  // namespace Berth

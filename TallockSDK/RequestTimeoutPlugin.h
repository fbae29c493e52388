// Gives every upload request a 15-second timeout.
#pragma once
#include <memory>

#include "Berth/Plugin.h"

namespace TallockSDK {

class RequestTimeoutPlugin : public Berth::PluginType {
public:
    static constexpr double timeoutInterval = 15.0;
    static const std::shared_ptr<RequestTimeoutPlugin>& shared();

    platform::URLRequest prepare(const platform::URLRequest& request, const Berth::TargetType& target) override;
};

}  // namespace TallockSDK

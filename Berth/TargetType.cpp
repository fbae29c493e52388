// Status-code lists of validation types, target URLs and default target descriptions.
#include "Berth/TargetType.h"

#include <typeinfo>

#include "platform/foundation/TypeName.h"

namespace Berth {

std::vector<int> ValidationType::statusCodes() const {
    std::vector<int> codes;
    auto range = [&codes](int from, int through) {
        for (int code = from; code <= through; ++code) codes.push_back(code);
    };
    switch (case_.index()) {
        case 1: range(200, 299); break;
        case 2: range(200, 399); break;
        case 3: codes = std::get<CustomCodes>(case_).codes; break;
        default: break;
    }
    return codes;
}

bool operator==(const ValidationType& a, const ValidationType& b) {
    if (a.index() != b.index()) return false;
    if (auto ca = std::get_if<ValidationType::CustomCodes>(&a.case_))
        return ca->codes == std::get<ValidationType::CustomCodes>(b.case_).codes;
    return true;
}

std::string TargetType::description() const { return platform::demangledTypeName(typeid(*this).name()); }

platform::URL url(const TargetType& target) {
    std::string path = target.path();
    if (path.empty()) return target.baseURL();
    return target.baseURL().appendingPathComponent(path);
}

bool supportsMultipart(const HTTPMethod& method) {
    for (const char* m : {"POST", "PUT", "PATCH", "CONNECT"})
        if (method.rawValue == m) return true;
    return false;
}

}  // namespace Berth

// Named appearances (light "aqua" or dark) of the application and its windows.
#pragma once
#include <memory>
#include <string>

namespace platform {

inline const std::string NSAppearanceNameAqua = "NSAppearanceNameAqua";
inline const std::string NSAppearanceNameDarkAqua = "NSAppearanceNameDarkAqua";

class NSAppearance {
public:
    explicit NSAppearance(std::string name) : name_(std::move(name)) {}
    // Null for names other than the two known ones.
    static std::shared_ptr<NSAppearance> appearanceNamed(const std::string& name) {
        if (name != NSAppearanceNameAqua && name != NSAppearanceNameDarkAqua) return nullptr;
        return std::make_shared<NSAppearance>(name);
    }
    const std::string& name() const { return name_; }

private:
    std::string name_;
};
using NSAppearancePtr = std::shared_ptr<NSAppearance>;

}  // namespace platform

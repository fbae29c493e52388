// Locales by identifier ("en_US", "zh-Hans_CN", "en_US_POSIX") and the user's
// language preferences as the environment gives them.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class Locale {
public:
    explicit Locale(std::string_view identifier = "en_US_POSIX");
    // From LC_ALL, then LC_MESSAGES, then LANG ("en_US.UTF-8" -> "en_US");
    // "C", "POSIX" or nothing give "en_US_POSIX".
    static Locale current();
    // BCP 47 tags in order of preference ("fr-CA", "en"): the LANGUAGE list first,
    // then the locale of LC_ALL / LC_MESSAGES / LANG; "en-US" when nothing is set.
    static std::vector<std::string> preferredLanguages();

    const std::string& identifier() const { return identifier_; }
    std::optional<std::string> languageCode() const;  // "en"
    std::optional<std::string> scriptCode() const;    // "Hans"
    std::optional<std::string> regionCode() const;    // "US"

    friend bool operator==(const Locale&, const Locale&) = default;

private:
    std::string identifier_;
};

}  // namespace platform

// Locale identifiers and the user's preferred languages, read from the environment.
#include "platform/foundation/Locale.h"

#include <cctype>
#include <cstdlib>

namespace platform {

namespace {
// "en_US.UTF-8@euro" -> "en_US"; "C" and "POSIX" -> "".
std::string localeName(std::string_view raw) {
    std::string s(raw);
    auto cut = s.find_first_of(".@");
    if (cut != std::string::npos) s.erase(cut);
    if (s == "C" || s == "POSIX") return "";
    return s;
}

std::string environmentLocale() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* v = std::getenv(name);
        if (v && *v) return localeName(v);
    }
    return "";
}

// "zh_Hans_CN" / "zh-Hans-CN" -> parts.
std::vector<std::string> parts(std::string_view id) {
    std::vector<std::string> out;
    std::string cur;
    for (char c : id) {
        if (c == '_' || c == '-') {
            out.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    out.push_back(cur);
    return out;
}

std::string bcp47(std::string_view id) {
    std::string out;
    for (const auto& p : parts(id)) {
        if (p.empty() || p == "POSIX") continue;
        if (!out.empty()) out += '-';
        out += p;
    }
    return out;
}
}  // namespace

Locale::Locale(std::string_view identifier) : identifier_(identifier) {}

Locale Locale::current() {
    std::string name = environmentLocale();
    return Locale(name.empty() ? "en_US_POSIX" : name);
}

std::vector<std::string> Locale::preferredLanguages() {
    std::vector<std::string> out;
    auto add = [&out](const std::string& tag) {
        if (tag.empty()) return;
        for (const auto& t : out)
            if (t == tag) return;
        out.push_back(tag);
    };
    std::string locale = environmentLocale();
    // The LANGUAGE list counts only under a real locale, as message catalogues do.
    const char* language = std::getenv("LANGUAGE");
    if (language && *language && !locale.empty()) {
        std::string list = language;
        std::size_t i = 0;
        while (i <= list.size()) {
            std::size_t colon = list.find(':', i);
            if (colon == std::string::npos) colon = list.size();
            add(bcp47(localeName(list.substr(i, colon - i))));
            i = colon + 1;
        }
    }
    add(bcp47(locale));
    if (out.empty()) out.push_back("en-US");
    return out;
}

std::optional<std::string> Locale::languageCode() const {
    auto p = parts(identifier_);
    if (p.empty() || p[0].empty()) return std::nullopt;
    return p[0];
}

std::optional<std::string> Locale::scriptCode() const {
    auto p = parts(identifier_);
    if (p.size() > 1 && p[1].size() == 4) return p[1];
    return std::nullopt;
}

std::optional<std::string> Locale::regionCode() const {
    auto p = parts(identifier_);
    for (std::size_t i = 1; i < p.size() && i <= 2; ++i) {
        const auto& s = p[i];
        bool alpha2 = s.size() == 2 && std::isupper(static_cast<unsigned char>(s[0])) &&
                      std::isupper(static_cast<unsigned char>(s[1]));
        bool digits3 = s.size() == 3 && std::isdigit(static_cast<unsigned char>(s[0]));
        if (alpha2 || digits3) return s;
    }
    return std::nullopt;
}

}  // namespace platform

// Font name resolution (fontconfig) and metrics (Pango).
#include "platform/graphics/NSFont.h"
#include "platform/base/NoDestructor.h"
#include "platform/base/Protected.h"

#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>

#include <cctype>
#include <map>
#include <optional>
#include <vector>

namespace platform {
namespace {

// Families the program names that this system provides under another name.
const std::map<std::string, std::string>& familyAliases() {
    static const NoDestructor<std::map<std::string, std::string>> aliases(std::map<std::string, std::string>{
        {"pingfangsc", "Noto Sans CJK SC"},
        {"pingfang sc", "Noto Sans CJK SC"},
        {"pingfangtc", "Noto Sans CJK TC"},
        {"pingfang tc", "Noto Sans CJK TC"},
        {"pingfanghk", "Noto Sans CJK HK"},
        {"pingfang hk", "Noto Sans CJK HK"},
        {"helveticaneue", "DejaVu Sans"},
        {"helvetica neue", "DejaVu Sans"},
        {"helvetica", "DejaVu Sans"},
        {".applesystemuifont", "DejaVu Sans"},
        {"sfpro", "DejaVu Sans"},
        {"menlo", "DejaVu Sans Mono"},
    });
    return *aliases;
}

const std::map<std::string, int>& weights() {
    static const NoDestructor<std::map<std::string, int>> w(std::map<std::string, int>{
        {"ultralight", PANGO_WEIGHT_ULTRALIGHT},
        {"thin", PANGO_WEIGHT_THIN},
        {"light", PANGO_WEIGHT_LIGHT},
        {"regular", PANGO_WEIGHT_NORMAL},
        {"medium", PANGO_WEIGHT_MEDIUM},
        {"semibold", PANGO_WEIGHT_SEMIBOLD},
        {"bold", PANGO_WEIGHT_BOLD},
        {"heavy", PANGO_WEIGHT_HEAVY},
        {"black", PANGO_WEIGHT_ULTRAHEAVY},
    });
    return *w;
}

std::string lower(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Asks fontconfig for the installed family matching `family`, compared without case and spaces.
std::optional<std::string> searchInstalledFamily(const std::string& family) {
    auto squash = [](const std::string& s) {
        std::string out;
        for (char c : s)
            if (c != ' ') out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return out;
    };
    std::optional<std::string> found;
    FcPattern* pattern = FcPatternCreate();
    FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, nullptr);
    FcFontSet* set = FcFontList(nullptr, pattern, objects);
    for (int i = 0; set && i < set->nfont && !found; ++i) {
        FcChar8* name = nullptr;
        for (int n = 0; FcPatternGetString(set->fonts[i], FC_FAMILY, n, &name) == FcResultMatch; ++n) {
            std::string candidate(reinterpret_cast<const char*>(name));
            if (squash(candidate) == squash(family)) {
                found = candidate;
                break;
            }
        }
    }
    if (set) FcFontSetDestroy(set);
    FcObjectSetDestroy(objects);
    FcPatternDestroy(pattern);
    return found;
}

// The installed family for `family`, looked up once per name (one look-up at a time).
std::optional<std::string> installedFamily(const std::string& family) {
    using Cache = Protected<std::map<std::string, std::optional<std::string>>>;
    static NoDestructor<Cache> cache;
    return cache->write([&](auto& known) {
        if (auto it = known.find(family); it != known.end()) return it->second;
        return known[family] = searchInstalledFamily(family);
    });
}

struct Resolved {
    std::string family;
    int weight;
};

std::optional<Resolved> resolve(const std::string& name) {
    std::string familyPart = name;
    int weight = PANGO_WEIGHT_NORMAL;
    if (auto dash = name.rfind('-'); dash != std::string::npos) {
        auto it = weights().find(lower(name.substr(dash + 1)));
        if (it != weights().end()) {
            familyPart = name.substr(0, dash);
            weight = it->second;
        }
    }
    std::vector<std::string> candidates;
    if (auto a = familyAliases().find(lower(familyPart)); a != familyAliases().end()) candidates.push_back(a->second);
    candidates.push_back(familyPart);
    candidates.push_back(name);
    for (const auto& c : candidates)
        if (auto f = installedFamily(c)) return Resolved{*f, weight};
    return std::nullopt;
}

}  // namespace

NSFont::NSFont(std::string name, std::string family, int weight, CGFloat size)
    : name_(std::move(name)), family_(std::move(family)), weight_(weight), size_(size) {
    description_ = pango_font_description_new();
    pango_font_description_set_family(description_, family_.c_str());
    pango_font_description_set_weight(description_, static_cast<PangoWeight>(weight_));
    // Points map one to one onto device units (a 72 dpi resolution).
    pango_font_description_set_absolute_size(description_, size_ * PANGO_SCALE);

    static PangoFontMap* map = pango_cairo_font_map_get_default();
    PangoContext* context = pango_font_map_create_context(map);
    PangoFontMetrics* metrics = pango_context_get_metrics(context, description_, nullptr);
    ascender_ = pango_font_metrics_get_ascent(metrics) / double(PANGO_SCALE);
    descender_ = -pango_font_metrics_get_descent(metrics) / double(PANGO_SCALE);
    pango_font_metrics_unref(metrics);
    g_object_unref(context);
}

NSFont::~NSFont() { pango_font_description_free(description_); }

NSFontPtr NSFont::fontWithName(const std::string& name, CGFloat size) {
    if (name.empty() || !(size > 0)) return nullptr;
    auto resolved = resolve(name);
    if (!resolved) return nullptr;
    return NSFontPtr(new NSFont(name, resolved->family, resolved->weight, size));
}

NSFontPtr NSFont::systemFontOfSize(CGFloat size) {
    if (!(size > 0)) size = systemFontSize();
    auto family = installedFamily("DejaVu Sans").value_or("Sans");
    return NSFontPtr(new NSFont(".SystemFont", family, PANGO_WEIGHT_NORMAL, size));
}

NSFontPtr NSFont::boldSystemFontOfSize(CGFloat size) {
    if (!(size > 0)) size = systemFontSize();
    auto family = installedFamily("DejaVu Sans").value_or("Sans");
    return NSFontPtr(new NSFont(".SystemFont-Bold", family, PANGO_WEIGHT_BOLD, size));
}

NSFontPtr NSFont::withSize(CGFloat size) const { return NSFontPtr(new NSFont(name_, family_, weight_, size)); }

}  // namespace platform

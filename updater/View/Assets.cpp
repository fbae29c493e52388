// Look-ups of the bundle's texts, colours and pictures, each a packaging fault when missing.
#include "updater/View/Assets.h"

#include <map>

#include "platform/base/Fatal.h"
#include "platform/base/NoDestructor.h"
#include "platform/base/Protected.h"
#include "platform/files/Bundle.h"

namespace Lanternfly_Updater {

std::function<double(float)> pointValue = [](float value) { return static_cast<double>(value); };

const platform::Bundle& resourceBundle() {
    static const platform::NoDestructor<std::shared_ptr<platform::Bundle>> bundle(platform::Bundle::main());
    if (!*bundle) platform::fatal("The updater's bundle cannot be found.");
    return **bundle;
}

platform::NSFontPtr updaterFont(double size) {
    auto font = platform::NSFont::fontWithName("PingFangSC-Regular", size);
    if (!font) platform::fatal("Unable to load font named PingFangSC-Regular.");
    return font;
}

std::string collapsePercentSigns(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        out += text[i];
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == '%') ++i;
    }
    return out;
}

namespace L10n {
std::string tr(const std::string& key) {
    return collapsePercentSigns(resourceBundle().localizedString(key, {}, "Localizable"));
}
namespace Updater {
std::string title() { return tr("Updater.title"); }
std::string website() { return tr("Updater.website"); }
std::string pause() { return tr("Updater.pause"); }
std::string continue_() { return tr("Updater.continue"); }
std::string retry() { return tr("Updater.retry"); }
std::string download() { return tr("Updater.download"); }
std::string downloadError() { return tr("Updater.downloadError"); }
std::string installing() { return tr("Updater.installing"); }
std::string installError() { return tr("Updater.installError"); }
std::string updateSuccess() { return tr("Updater.updateSuccess"); }
}  // namespace Updater
}  // namespace L10n

ColorAsset& ColorAsset::named(const std::string& name) {
    // Assets live for the whole process, so references handed out stay valid.
    static platform::NoDestructor<platform::Protected<std::map<std::string, std::unique_ptr<ColorAsset>>>> assets;
    return assets->write([&](auto& byName) -> ColorAsset& {
        auto& slot = byName[name];
        if (!slot) slot = std::make_unique<ColorAsset>(name);
        return *slot;
    });
}

platform::NSColorPtr ColorAsset::color() {
    std::call_once(once_, [this] { color_ = platform::NSColor::colorNamed(name_, resourceBundle()); });
    if (!color_) platform::fatal("Unable to load color asset named " + name_ + ".");
    return color_;
}

namespace Asset {
#define UPDATER_DEFINE_COLOR(fn, name)                                                                                 \
    platform::NSColorPtr fn() { return ColorAsset::named(name).color(); }
UPDATER_COLOR_ASSETS(UPDATER_DEFINE_COLOR)
#undef UPDATER_DEFINE_COLOR
}  // namespace Asset

namespace ImageAsset {
platform::NSImagePtr image(const std::string& named) {
    auto image = platform::NSImage::imageNamed(named, resourceBundle());
    if (!image) platform::fatal("Unable to load image asset named " + named + ".");
    return image;
}
}  // namespace ImageAsset

}  // namespace Lanternfly_Updater

// The window's shared resources: localised texts, named colours and pictures of the
// updater's bundle, its one font, and the conversion every layout number passes through.
#pragma once
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/graphics/NSColor.h"
#include "platform/graphics/NSFont.h"
#include "platform/graphics/NSImage.h"

namespace platform {
class Bundle;
}

namespace Lanternfly_Updater {

// Turns a layout constant into points; replaceable so that one assignment could scale
// the whole window. Starts as the identity.
extern std::function<double(float)> pointValue;

// The bundle holding the updater's resources, found once per process.
const platform::Bundle& resourceBundle();

// The one font of the window's texts; a missing font is a packaging fault and stops the program.
platform::NSFontPtr updaterFont(double size);

// A stored text is not a format: only a doubled percent sign collapses to one.
std::string collapsePercentSigns(const std::string& text);

namespace L10n {
// The text of `key` in the "Localizable" table; the key itself when missing.
std::string tr(const std::string& key);
namespace Updater {
std::string title();
std::string website();
std::string pause();
std::string continue_();
std::string retry();
std::string download();
std::string downloadError();
std::string installing();
std::string installError();
std::string updateSuccess();
}  // namespace Updater
}  // namespace L10n

// One named colour of the bundle, loaded on first use and kept for the process.
class ColorAsset {
public:
    // The process-wide asset of that name.
    static ColorAsset& named(const std::string& name);
    const std::string& name() const { return name_; }
    // Stops the program when the bundle has no such colour.
    platform::NSColorPtr color();

    explicit ColorAsset(std::string name) : name_(std::move(name)) {}

private:
    std::string name_;
    std::once_flag once_;
    platform::NSColorPtr color_;
};

// Accessors, one per colour asset.
namespace Asset {
#define UPDATER_COLOR_ASSETS(X)                                                                                        \
    X(N200, "N200")                                                                                                    \
    X(N400, "N400")                                                                                                    \
    X(N500, "N500")                                                                                                    \
    X(N600, "N600")                                                                                                    \
    X(colorBgChangeLog, "color-bg-change-log")                                                                         \
    X(colorBgPercentReady, "color-bg-percent-ready")                                                                   \
    X(colorBgPercentTotal, "color-bg-percent-total")                                                                   \
    X(colorMainButtonBgClick, "color-main-button-bg-click")                                                            \
    X(colorMainButtonBgDisable, "color-main-button-bg-disable")                                                        \
    X(colorMainButtonBgHover, "color-main-button-bg-hover")                                                            \
    X(colorMainButtonBgNormal, "color-main-button-bg-normal")                                                          \
    X(colorMainButtonTitleDisable, "color-main-button-title-disable")                                                  \
    X(colorMainButtonTitleNormal, "color-main-button-title-normal")                                                    \
    X(colorPrimaryNormal, "color-primary-normal")                                                                      \
    X(colorTextChangeLog, "color-text-change-log")                                                                     \
    X(colorTextDownloadPercent, "color-text-download-percent")                                                         \
    X(colorTextDownloadTitleError, "color-text-download-title-error")                                                  \
    X(colorTextDownloadTitleNormal, "color-text-download-title-normal")                                                \
    X(colorTextSubTitle, "color-text-sub-title")                                                                       \
    X(colorTextTitle, "color-text-title")                                                                              \
    X(colorTextWebsiteHight, "color-text-website-hight")                                                               \
    X(colorTextWebsiteNormal, "color-text-website-normal")
#define UPDATER_DECLARE_COLOR(fn, name) platform::NSColorPtr fn();
UPDATER_COLOR_ASSETS(UPDATER_DECLARE_COLOR)
#undef UPDATER_DECLARE_COLOR
}  // namespace Asset

namespace ImageAsset {
// The bundle's picture of that name; a missing one stops the program.
platform::NSImagePtr image(const std::string& named);
}  // namespace ImageAsset

}  // namespace Lanternfly_Updater

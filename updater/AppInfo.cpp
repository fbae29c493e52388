// Reading the updater's versions, identifier and channel from its bundle and user defaults.
#include "updater/AppInfo.h"

#include "logging/Scribe.h"
#include "platform/base/Fatal.h"
#include "platform/base/NoDestructor.h"
#include "platform/files/Bundle.h"
#include "platform/files/UserDefaults.h"
#include "updater/Log.h"

namespace Lanternfly_Updater {

namespace {

constexpr const char* kChannelKey = "channel";

const platform::Value::Dictionary& infoDictionary() {
    // Never destroyed: request signing on worker queues may read it while the process exits.
    static const platform::NoDestructor<platform::Value::Dictionary> info([] {
        auto dictionary = platform::Bundle::main()->infoDictionary();
        if (!dictionary) {
            platform::fatal("The updater's bundle has no Info.plist (" + platform::Bundle::main()->bundlePath() + ")");
        }
        return std::move(*dictionary);
    }());
    return *info;
}

std::string infoText(const char* key) {
    auto found = infoDictionary().find(key);
    if (found == infoDictionary().end() || !found->second.isString()) return "unknown";
    return *found->second.asString();
}

}  // namespace

std::string AppInfo::versionCode() {
    static const platform::NoDestructor<std::string> value(infoText("CFBundleVersion"));
    return *value;
}

std::string AppInfo::versionName() {
    static const platform::NoDestructor<std::string> value(infoText("CFBundleShortVersionString"));
    return *value;
}

std::string AppInfo::bundleId() {
    static const platform::NoDestructor<std::string> value([] {
        auto identifier = platform::Bundle::main()->bundleIdentifier();
        if (!identifier) {
            platform::fatal("The updater's bundle has no CFBundleIdentifier (" +
                            platform::Bundle::main()->bundlePath() + ")");
        }
        return *identifier;
    }());
    return *value;
}

std::string AppInfo::channel() {
    static const platform::NoDestructor<std::string> value(getChannel());
    return *value;
}

std::string AppInfo::getChannel() {
    const auto& defaults = platform::UserDefaults::standard();
    auto stored = defaults->object(kChannelKey);
    if (auto text = stored.asString(); text && !text->empty()) {
        log().info("读取-更新器-本地渠道-" + *text, Scribe::CallSite::named("getChannel()"));
        return *text;
    }
    auto bundled = platform::Bundle::main()->object("Channel");
    std::string channel = bundled.isString() ? *bundled.asString() : "nochannel";
    defaults->set(platform::Value(channel), kChannelKey);
    log().info("读取-更新器-包体渠道-" + channel, Scribe::CallSite::named("getChannel()"));
    // A settings file that was not read has just been moved aside (or was by an earlier
    // change): the log names where it went.
    if (auto moved = defaults->movedAside()) {
        log().error("设置文件无效-已移开-" + defaults->filePath() + " (" + moved->why + ") -> " + moved->aside,
                    Scribe::CallSite::named("getChannel()"));
    }
    return channel;
}

}  // namespace Lanternfly_Updater

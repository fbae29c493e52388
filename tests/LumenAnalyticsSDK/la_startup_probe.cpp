// Starts the analytics client once in the home its environment names, as a launch of the
// program would, with no readable serial number (and, with LA_PROBE_AES_STORE set, the AES
// store plugin in front). Prints the device id the client reports and each warning or
// error it logged, one per line, then ends at once.
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "LumenAnalyticsSDK/Core/LAIdentifier.h"
#include "LumenAnalyticsSDK/Core/LumenAnalyticsSDK.h"
#include "LumenAnalyticsSDK/Core/Utils/LAAESStorePlugin.h"
#include "LumenAnalyticsSDK/Core/Utils/LALog.h"

namespace {

struct PrintingLogger : LumenAnalyticsSDK::LAAbstractLogger {
    PrintingLogger() : LAAbstractLogger(platform::DispatchQueue::create("probe.log")) {}
    void logMessage(const LumenAnalyticsSDK::LALogMessage& message) override {
        if (message.level() <= LumenAnalyticsSDK::LALogLevelWarn) std::printf("log: %s\n", message.message().c_str());
    }
};

}  // namespace

int main() {
    using namespace LumenAnalyticsSDK;
    LAIdentifier::setSerialNumberSource([] { return std::nullopt; });
    auto logger = std::make_shared<PrintingLogger>();
    LALog::sharedLog().setEnableLog(true);
    LALog::sharedLog().addLogger(logger);

    LAConfigOptions options("http://127.0.0.1:9/sa", std::nullopt);
    if (std::getenv("LA_PROBE_AES_STORE")) options.registerStorePlugin(std::make_shared<LAAESStorePlugin>());
    ::LumenAnalyticsSDK::LumenAnalyticsSDK::startWithConfigOptions(options);
    auto sdk = ::LumenAnalyticsSDK::LumenAnalyticsSDK::sharedInstance();
    auto preset = sdk->getPresetProperties();
    sdk->serialQueue()->sync([] {});
    LALog::sharedLog().serialQueue()->sync([] {});
    logger->loggerQueue()->sync([] {});
    std::printf("device_id: %s\n", preset["$device_id"].stringValue().c_str());
    std::fflush(stdout);
    std::_Exit(0);  // the client's threads are not wound down: this launch only reports
}

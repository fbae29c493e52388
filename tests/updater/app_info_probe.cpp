// Prints the updater's application information, then logs one debug and one info line
// through the updater's logger.
#include <cstdio>
#include <string>

#include "updater/AppInfo.h"
#include "updater/Log.h"

using namespace Lanternfly_Updater;

int main(int argc, char** argv) {
    std::printf("versionName=%s\nversionCode=%s\nbundleId=%s\nchannel=%s\n", AppInfo::versionName().c_str(),
                AppInfo::versionCode().c_str(), AppInfo::bundleId().c_str(), AppInfo::channel().c_str());
    std::string run = argc > 1 ? argv[1] : "";
    log().debug("probe debug " + run);
    log().info("probe info " + run);
    return 0;
}

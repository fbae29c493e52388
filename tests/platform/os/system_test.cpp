// System facts: the keyed machine id and the values read from the system.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "platform/system/ProcessInfo.h"
#include "platform/system/SystemInfo.h"
#include "tests/support/TempDir.h"

using namespace platform;
using testing_support::runCommand;

TEST(SystemInfoTest, MachineIdentifierIsKeyedAndStable) {
    auto a = SystemInfo::machineIdentifier("com.example.one");
    if (!a) GTEST_SKIP() << "no machine id on this system";
    EXPECT_EQ(a->size(), 64u);
    EXPECT_EQ(a, SystemInfo::machineIdentifier("com.example.one"));
    EXPECT_NE(a, SystemInfo::machineIdentifier("com.example.two"));
    std::string raw;
    std::ifstream("/etc/machine-id") >> raw;
    if (!raw.empty()) {
        EXPECT_EQ(a->find(raw), std::string::npos);  // the raw id is never exposed
        int status = 0;
        auto expected = runCommand("python3 -c \"import hmac,hashlib; print(hmac.new(b'com.example.one', b'" + raw +
                                       "', hashlib.sha256).hexdigest(), end='')\"",
                                   &status);
        ASSERT_EQ(status, 0);
        EXPECT_EQ(*a, expected);
    }
}

TEST(SystemInfoTest, FactsMatchTheSystem) {
    EXPECT_FALSE(SystemInfo::osName().empty());
    EXPECT_GT(SystemInfo::operatingSystemVersion().majorVersion, 0);
    EXPECT_EQ(SystemInfo::kernelRelease(), runCommand("uname -r").substr(0, SystemInfo::kernelRelease().size()));
    EXPECT_EQ(SystemInfo::hostName() + "\n", runCommand("hostname"));
    double procUptime = 0;
    std::ifstream("/proc/uptime") >> procUptime;
    EXPECT_NEAR(SystemInfo::uptime(), procUptime, 2.0);
    EXPECT_GT(SystemInfo::physicalMemory(), 0u);
    EXPECT_GE(SystemInfo::processorCount(), 1);
    EXPECT_FALSE(SystemInfo::userName().empty());

    setenv("TZ", "Asia/Shanghai", 1);
    EXPECT_EQ(SystemInfo::timeZoneName(), "Asia/Shanghai");
    unsetenv("TZ");
    EXPECT_FALSE(SystemInfo::timeZoneName().empty());

    auto args = ProcessInfo::processInfo()->arguments();
    ASSERT_FALSE(args.empty());
    EXPECT_NE(args[0].find("platform_os_system_test"), std::string::npos);
    EXPECT_EQ(ProcessInfo::processInfo()->processIdentifier(), ::getpid());
}

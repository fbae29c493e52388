// Opening URLs with the desktop's default handler (xdg-open) and starting application
// bundles (Name.app/Contents/MacOS/<CFBundleExecutable>) detached from this process.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/Error.h"
#include "platform/foundation/URL.h"

namespace platform {

class NSRunningApplication {
public:
    explicit NSRunningApplication(int pid) : pid_(pid) {}
    int processIdentifier() const { return pid_; }

private:
    int pid_;
};
using NSRunningApplicationPtr = std::shared_ptr<NSRunningApplication>;

struct NSWorkspaceOpenConfiguration {
    std::vector<std::string> arguments;
    bool activates = true;
    bool createsNewApplicationInstance = false;
};

class NSWorkspace {
public:
    static std::shared_ptr<NSWorkspace> sharedWorkspace();

    // Hands the URL to the default handler; false when it could not be started.
    bool openURL(const URL& url);
    // Starts the bundle's executable. The completion runs on the main queue with the
    // started application, or with an error when the bundle or its executable is missing
    // or cannot be started.
    void openApplicationAtURL(const URL& applicationURL, const NSWorkspaceOpenConfiguration& configuration,
                              std::function<void(NSRunningApplicationPtr, ErrorPtr)> completionHandler);

    // The program that opens URLs ("xdg-open" by default, looked up on PATH).
    void setURLOpener(const std::string& program) { opener_ = program; }

private:
    std::string opener_ = "xdg-open";
};

// Starts `program` with `arguments` in a new session, not as our child; answers its pid,
// or the errno of the failed start (as a negative number).
int spawnDetached(const std::string& program, const std::vector<std::string>& arguments, bool searchPath);

}  // namespace platform

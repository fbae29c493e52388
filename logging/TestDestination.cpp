// Matching finished lines against expected ones.
#include "logging/TestDestination.h"

#include <algorithm>

#include "platform/dispatch/DispatchQueue.h"

namespace Scribe {

std::shared_ptr<TestDestination> TestDestination::create(const ScribePtr& owner, std::string identifier) {
    return std::shared_ptr<TestDestination>(new TestDestination(owner, std::move(identifier)));
}

void TestDestination::expect(const std::string& message) {
    executeOnLogQueue([this, &message] { expectedLogMessages.push_back(message); });
}

void TestDestination::executeOnLogQueue(const std::function<void()>& closure) {
    if (auto queue = workQueue()) queue->sync([&closure] { closure(); });
    else closure();
}

void TestDestination::reset() {
    setHaveLoggedAppDetails(false);
    expectedLogMessages.clear();
    unexpectedLogMessages.clear();
}

void TestDestination::output(const LogDetails& logDetails, std::string& message, const Scribe&) {
    executeOnLogQueue([&] {
        LogDetails details = logDetails;
        std::string line = message;
        if (shouldExclude(details, line)) return;
        applyFormatters(details, line);
        write(line);
    });
}

void TestDestination::write(const std::string& message) {
    auto found = std::find(expectedLogMessages.begin(), expectedLogMessages.end(), message);
    if (found != expectedLogMessages.end()) expectedLogMessages.erase(found);
    else unexpectedLogMessages.push_back(message);
}

}  // namespace Scribe

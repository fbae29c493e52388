// Fuzz target: the install journal as the updater reads it from its data folder, the check
// that it concerns the current work order's client, the path normalising both rely on,
// and the work order's own checks. The input's first five lines are the work order
// (appFolder, appName, appPath, url, md5); the rest is the journal file's content. A
// journal read must be exactly what the writer writes for it.
#include <fstream>
#include <iterator>
#include <string>

#include "fuzz/FuzzTarget.h"
#include "updater/ViewModel/InstallJournal.h"
#include "updater/ViewModel/WorkOrder.h"

using namespace Lanternfly_Updater;

namespace {

std::string nextLine(std::string_view& text) {
    const auto [line, rest] = fuzzFirstLine(text);
    text = rest;
    return std::string(line);
}

// A normalised absolute path holds no ".", ".." or empty component and normalises to itself.
void checkNormalised(const std::string& path) {
    const std::string normal = normalisedPath(path);
    fuzzCheck(normalisedPath(normal) == normal, "normalising is not idempotent");
    if (path.empty() || path[0] != '/') return;
    fuzzCheck(!normal.empty() && normal[0] == '/', "an absolute path lost its root");
    const std::string slashed = normal + "/";
    for (const char* bad : {"//", "/./", "/../"})
        fuzzCheck(normal == "/" || slashed.find(bad) == std::string::npos, "a normalised path keeps . .. or //");
}

// A journal the scope check lets through names one bundle directly inside the folder.
void checkInScope(const std::string& path, const WorkOrder& order) {
    const std::string folder = normalisedPath(order.appFolder);
    const std::string prefix = folder == "/" ? "/" : folder + "/";
    fuzzCheck(path.compare(0, prefix.size(), prefix) == 0, "a journal outside the folder passed the scope check");
    fuzzCheck(isPlainBundleName(path.substr(prefix.size())), "a journal path that is no bundle name passed");
}

// A journal read is exactly the text the writer makes of it: nothing of the file went unread.
void checkRoundTrip(const InstallJournal& entry, std::string_view text) {
    const std::string rewritten = fuzzScratchFolder() + "/rewritten-journal";
    std::string why;
    fuzzCheck(writeInstallJournal(rewritten, entry, why), "a journal read cannot be written again");
    std::ifstream in(rewritten, std::ios::binary);
    const std::string written((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    fuzzCheck(written == text, "a journal read is not the text the writer makes of it");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text = fuzzText(data, size);
    WorkOrder order;
    order.appFolder = nextLine(text);
    order.appName = nextLine(text);
    order.appPath = nextLine(text);
    order.url = nextLine(text);
    order.md5 = nextLine(text);
    for (const auto& path : {order.appFolder, order.appPath}) checkNormalised(path);
    (void)workOrderProblem(order);
    const std::string journal = fuzzScratchFolder() + "/install-journal";
    fuzzWriteFile(journal, text);
    InstallJournal entry;
    std::string why;
    if (readInstallJournal(journal, entry, why) == JournalState::read) {
        checkNormalised(entry.target);
        checkRoundTrip(entry, text);
        if (!journalScopeProblem(entry, order)) {
            checkInScope(entry.target, order);
            if (entry.retired) checkInScope(*entry.retired, order);
        }
    }
    fuzzEmptyScratchFolder();
    return 0;
}

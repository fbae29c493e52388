// A fresh folder under the system's temporary folder, removed with everything in it. It lies
// in a folder locked and marked as a test run's while it lives (LockedFolder.h), so that the
// next launch removes one that a killed test left behind; the mark stays out of the folder a
// test sees, which holds only what the test puts there.
#pragma once
#include <filesystem>
#include <optional>
#include <string>

namespace testing_support {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path made_;  // the locked, marked folder holding path_
    std::filesystem::path path_;
    int lock_;
};

// Points TMPDIR at `folder` while it lives, so that what the code under test puts in the
// temporary folder (the per-user folder, downloads, archives) goes with a test's scratch
// folder; the earlier value comes back after.
class ScopedTemporaryFolder {
public:
    explicit ScopedTemporaryFolder(const std::filesystem::path& folder);
    ~ScopedTemporaryFolder();
    ScopedTemporaryFolder(const ScopedTemporaryFolder&) = delete;
    ScopedTemporaryFolder& operator=(const ScopedTemporaryFolder&) = delete;

private:
    std::optional<std::string> saved_;
};

// Writes `contents` to `file`, creating parent folders.
void writeFile(const std::filesystem::path& file, const std::string& contents);
std::string readFile(const std::filesystem::path& file);
// Runs a shell command and answers its standard output; the exit status goes to `status`.
std::string runCommand(const std::string& command, int* status = nullptr);
// The repository's root, as the build passes it to tests.
std::filesystem::path sourceDir();

}  // namespace testing_support

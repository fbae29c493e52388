#include "tests/support/TempDir.h"

#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>

#include "tests/support/LockedFolder.h"

namespace testing_support {

TempDir::TempDir() {
    const auto made = makeLockedFolder(std::filesystem::temp_directory_path(), scratchPrefix, false);
    if (made.path.empty()) throw std::runtime_error("cannot make a scratch folder: " + std::string(strerror(errno)));
    made_ = made.path;
    lock_ = made.lock;
    path_ = made_ / "scratch";
    std::filesystem::create_directory(path_);
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(made_, ignored);
    ::close(lock_);
}

ScopedTemporaryFolder::ScopedTemporaryFolder(const std::filesystem::path& folder) {
    if (const char* value = std::getenv("TMPDIR")) saved_ = value;
    setenv("TMPDIR", folder.c_str(), 1);
}

ScopedTemporaryFolder::~ScopedTemporaryFolder() {
    if (saved_) setenv("TMPDIR", saved_->c_str(), 1);
    else unsetenv("TMPDIR");
}

void writeFile(const std::filesystem::path& file, const std::string& contents) {
    if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    out << contents;
}

std::string readFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

std::string runCommand(const std::string& command, int* status) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) throw std::runtime_error("popen failed: " + command);
    std::array<char, 4096> buffer;
    while (std::size_t n = fread(buffer.data(), 1, buffer.size(), pipe)) output.append(buffer.data(), n);
    int raw = pclose(pipe);
    if (status) *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return output;
}

std::filesystem::path sourceDir() {
    if (const char* dir = std::getenv("SKYREACH_SOURCE_DIR")) return dir;
    return std::filesystem::current_path();
}

}  // namespace testing_support

// The small-file reader against what a hostile or broken folder can hold in place of a
// file: each case is answered promptly, and only a small regular file is ever read.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/files/SmallFile.h"
#include "tests/support/TempDir.h"

using namespace platform;
using testing_support::TempDir;
using testing_support::writeFile;
namespace fs = std::filesystem;

TEST(SmallFile, OnlyASmallRegularFileIsRead) {
    TempDir dir;
    const fs::path root = dir.path();
    writeFile(root / "small", "12345");
    writeFile(root / "large", "123456");
    fs::create_symlink(root / "small", root / "link");
    fs::create_symlink("/dev/zero", root / "zero");
    fs::create_directory(root / "folder");
    ASSERT_EQ(::mkfifo((root / "fifo").c_str(), 0600), 0);

    struct Case {
        const char* name;
        LinkPolicy links;
        SmallFile::Outcome outcome;
        const char* why;   // a part of the reason, when refused
        const char* tail;  // what the tail reader reads; nullptr: the same outcome as above
    };
    const Case cases[] = {
        {"small", LinkPolicy::refuse, SmallFile::Outcome::read, "", "12345"},
        {"missing", LinkPolicy::refuse, SmallFile::Outcome::absent, "", nullptr},
        {"large", LinkPolicy::refuse, SmallFile::Outcome::refused, "larger than 5 bytes", "23456"},
        {"link", LinkPolicy::refuse, SmallFile::Outcome::refused, "is a link", nullptr},
        {"link", LinkPolicy::follow, SmallFile::Outcome::read, "", "12345"},
        {"zero", LinkPolicy::refuse, SmallFile::Outcome::refused, "is a link", nullptr},
        {"zero", LinkPolicy::follow, SmallFile::Outcome::refused, "not a regular file", nullptr},
        {"folder", LinkPolicy::refuse, SmallFile::Outcome::refused, "not a regular file", nullptr},
        {"fifo", LinkPolicy::refuse, SmallFile::Outcome::refused, "not a regular file", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto file = readSmallRegularFile((root / c.name).string(), 5, c.links);
        EXPECT_EQ(file.outcome, c.outcome);
        EXPECT_NE(file.why.find(c.why), std::string::npos) << file.why;
        if (file.isRead()) {
            EXPECT_EQ(file.data.toString(), "12345");
        }
        // A larger file's last bytes are read, said to be cut; all else is answered alike.
        auto tail = readRegularFileTail((root / c.name).string(), 5, c.links);
        if (c.tail) {
            ASSERT_TRUE(tail.isRead()) << tail.why;
            EXPECT_EQ(tail.data.toString(), c.tail);
            EXPECT_EQ(tail.cut, std::string(c.name) == "large");
        } else {
            EXPECT_EQ(tail.outcome, c.outcome);
            EXPECT_NE(tail.why.find(c.why), std::string::npos) << tail.why;
        }
    }
}

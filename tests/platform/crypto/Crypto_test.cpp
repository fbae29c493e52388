// Digests, HMAC and AES checked against the openssl and md5sum command-line tools on
// the same inputs.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>

#include "platform/crypto/AES.h"
#include "platform/crypto/Digest.h"
#include "platform/crypto/FileDigest.h"
#include "platform/crypto/HMAC.h"
#include "platform/crypto/SecRandom.h"
#include "platform/crypto/WrittenFileDigests.h"
#include "tests/support/TempDir.h"

using namespace platform;
using namespace testing_support;

namespace {

std::string firstWord(const std::string& text) { return text.substr(0, text.find_first_of(" \n")); }

std::string tool(const std::string& command) {
    int status = -1;
    auto out = runCommand(command, &status);
    EXPECT_EQ(status, 0) << command;
    return firstWord(out);
}

// Inputs that cross block boundaries, plus the empty one.
std::vector<std::string> inputs() {
    std::string big;
    for (int i = 0; i < 70000; ++i) big += static_cast<char>(i * 31 % 251);
    return {"", "abc", std::string(64, 'a'), std::string(65, '\0') + "tail", big};
}

// Leaves for the file at `path`, as its writer would, the digest of `contents`.
void leaveDigestOf(const std::filesystem::path& path, const std::string& contents) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    auto running = std::make_shared<Insecure::MD5>();
    running->update(std::string_view(contents));
    rememberWrittenDigest(fd, DigestAlgorithm::md5, [running]() -> std::optional<Digest> { return running->clone(); });
    ::close(fd);
}

}  // namespace

TEST(DigestTest, MatchesOpenSSLAndMd5sum) {
    TempDir dir;
    const std::pair<DigestAlgorithm, const char*> algorithms[] = {
        {DigestAlgorithm::md5, "md5"},       {DigestAlgorithm::sha1, "sha1"},     {DigestAlgorithm::sha224, "sha224"},
        {DigestAlgorithm::sha256, "sha256"}, {DigestAlgorithm::sha384, "sha384"}, {DigestAlgorithm::sha512, "sha512"},
    };
    int n = 0;
    for (auto& input : inputs()) {
        auto file = dir / (std::string("input") += std::to_string(n++));
        writeFile(file, input);
        for (auto [algorithm, name] : algorithms) {
            auto expected = tool(std::string("openssl dgst -") + name + " -r '" + file.string() + "'");
            EXPECT_EQ(Digest::hash(algorithm, Data::fromString(input)).hexString(), expected) << name << " " << n;
            // Fed in uneven pieces, the incremental form agrees.
            Digest incremental(algorithm);
            for (std::size_t at = 0; at < input.size(); at += 1000 + at % 7)
                incremental.update(std::string_view(input).substr(at, 1000 + at % 7));
            EXPECT_EQ(incremental.finalize().hexString(), expected) << name << " " << n;
        }
        auto md5 = md5Hex(file.string());
        ASSERT_TRUE(md5.isSuccess());
        EXPECT_EQ(md5.value(), tool("md5sum '" + file.string() + "'"));
    }
    EXPECT_EQ(Insecure::MD5::hash(std::string_view("")).hexString(), "d41d8cd98f00b204e9800998ecf8427e");
    unsigned char md[CC_MD5_DIGEST_LENGTH];
    EXPECT_EQ(Data(CC_MD5("abc", 3, md), sizeof md).hexString(), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(DigestTest, FileThatCannotBeReadIsAnError) {
    TempDir dir;
    auto missing = md5Hex((dir / "absent").string());
    ASSERT_TRUE(missing.isFailure());
    EXPECT_EQ(missing.error()->code(), ENOENT);
    auto folder = md5Hex(dir.path().string());  // opens, but reading a folder fails
    ASSERT_TRUE(folder.isFailure());
    EXPECT_EQ(folder.error()->code(), EISDIR);
}

// A file's digest left by the code that wrote it answers for that file only while it is
// unchanged: written again, replaced or grown, the file is read and the answer is its own.
// (A rewrite at the same size within one tick of the file system's clock keeps the time;
// the table moves the time on as any later write does.)
TEST(DigestTest, DigestLeftByTheWriterAnswersOnlyForTheUnchangedFile) {
    TempDir dir;
    const auto file = dir / "package";
    const auto md5sum = [&] { return tool("md5sum '" + file.string() + "'"); };

    writeFile(file, "written once");
    leaveDigestOf(file, "written once");
    EXPECT_EQ(md5Hex(file.string()).value(), md5sum());
    const auto renamed = dir / "moved";
    struct stat before, info;
    ASSERT_EQ(::stat(file.c_str(), &before), 0);
    std::filesystem::rename(file, renamed);  // same file, another name: the change time moves
    ASSERT_EQ(::stat(renamed.c_str(), &info), 0);
    EXPECT_FALSE(writtenDigest(DigestAlgorithm::md5, info));
    followWrittenFileMove(before, info);  // moved by this process: the digest follows
    EXPECT_TRUE(writtenDigest(DigestAlgorithm::md5, info));
    EXPECT_FALSE(writtenDigest(DigestAlgorithm::sha256, info));
    std::filesystem::rename(renamed, file);

    const struct {
        const char* name;
        std::function<void()> change;
    } changes[] = {
        {"written again at the same size, later",
         [&] {
             writeFile(file, "WRITTEN ONCE");
             std::filesystem::last_write_time(file, std::filesystem::last_write_time(file) + std::chrono::seconds(1));
         }},
        {"grown", [&] { std::ofstream(file, std::ios::app) << "!"; }},
        {"replaced by another file",
         [&] {
             writeFile(dir / "other", "written twice");
             std::filesystem::rename(dir / "other", file);
         }},
    };
    for (const auto& c : changes) {
        SCOPED_TRACE(c.name);
        writeFile(file, "written once");
        leaveDigestOf(file, "a digest that no longer fits");
        c.change();
        EXPECT_EQ(md5Hex(file.string()).value(), md5sum());
    }
}

// A move this process makes takes the digest along, but not when the file is changed while
// it is moved, by this process or another: rewritten at the same size with its modification
// time put back, before the rename or after it, the file differs from the one the digest was
// kept for only in its change time, as after a rename alone.
TEST(DigestTest, DigestFollowsAMoveOnlyOfTheUnchangedFile) {
    TempDir dir;
    const auto file = dir / "package", moved = dir / "moved";
    const auto rewriteKeepingTheTime = [](const std::filesystem::path& path) {
        const auto modified = std::filesystem::last_write_time(path);
        writeFile(path, "WRITTEN ONCE");
        std::filesystem::last_write_time(path, modified);
    };
    const struct {
        const char* name;
        std::function<void()> move;
        bool follows;
    } moves[] = {
        {"renamed", [&] { std::filesystem::rename(file, moved); }, true},
        {"rewritten, then renamed",
         [&] {
             rewriteKeepingTheTime(file);
             std::filesystem::rename(file, moved);
         },
         false},
        {"renamed, then rewritten",
         [&] {
             std::filesystem::rename(file, moved);
             rewriteKeepingTheTime(moved);
         },
         false},
        // What the watch of a changed file was told never reaches the next file's watch.
        {"renamed after a changed file's move", [&] { std::filesystem::rename(file, moved); }, true},
    };
    for (const auto& c : moves) {
        SCOPED_TRACE(c.name);
        writeFile(file, "written once");
        leaveDigestOf(file, "written once");
        moveFollowingWrittenDigest(file.string(), moved.string(), c.move);
        struct stat info;
        ASSERT_EQ(::stat(moved.c_str(), &info), 0);
        EXPECT_EQ(writtenDigest(DigestAlgorithm::md5, info).has_value(), c.follows);
        EXPECT_EQ(md5Hex(moved.string()).value(), tool("md5sum '" + moved.string() + "'"));
        std::filesystem::remove(moved);
    }
}

namespace {

// The watches left on this process's inotify instances (each an "inotify wd:" line of its
// fdinfo).
int watchesLeft() {
    int left = 0;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (std::filesystem::read_symlink(fd.path(), error) != "anon_inode:inotify") continue;
        std::istringstream info(readFile("/proc/self/fdinfo/" + fd.path().filename().string()));
        for (std::string line; std::getline(info, line);) left += line.starts_with("inotify wd:");
    }
    return left;
}

}  // namespace

// A move that throws, before the rename (the destination cannot be made) or after it, leaves
// no watch behind, and the digest of a file it renamed is still right.
TEST(DigestTest, AMoveThatThrowsLeavesNoWatch) {
    TempDir dir;
    const struct {
        const char* name;
        bool renames;
    } moves[] = {{"the destination cannot be made", false}, {"renamed, then thrown", true}};
    for (const auto& c : moves) {
        SCOPED_TRACE(c.name);
        const auto files = dir / "files", moved = dir / "moved";
        std::filesystem::create_directories(files);
        std::filesystem::create_directories(moved);
        for (int i = 0; i < 300; ++i) {  // each its own file: a file watched again keeps its watch
            const auto file = files / std::to_string(i), to = moved / std::to_string(i);
            writeFile(file, "written once");
            leaveDigestOf(file, "written once");
            EXPECT_THROW(moveFollowingWrittenDigest(file.string(), to.string(),
                                                    [&] {
                                                        if (c.renames) std::filesystem::rename(file, to);
                                                        std::filesystem::rename(file, dir / "absent" / "to");
                                                    }),
                         std::filesystem::filesystem_error);
        }
        EXPECT_EQ(watchesLeft(), 0);
        const auto last = (c.renames ? moved : files) / "299";
        EXPECT_EQ(md5Hex(last.string()).value(), tool("md5sum '" + last.string() + "'"));
        std::filesystem::remove_all(files);
        std::filesystem::remove_all(moved);
    }
}

namespace {

// While this lives, the process can open no more descriptors: its limit is lowered to the
// descriptors open now.
class DescriptorsUsedUp {
public:
    DescriptorsUsedUp() {
        ::getrlimit(RLIMIT_NOFILE, &kept_);
        const int lowestFree = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        ::close(lowestFree);
        struct rlimit usedUp = kept_;
        usedUp.rlim_cur = static_cast<rlim_t>(lowestFree);
        ::setrlimit(RLIMIT_NOFILE, &usedUp);
    }
    DescriptorsUsedUp(const DescriptorsUsedUp&) = delete;
    DescriptorsUsedUp& operator=(const DescriptorsUsedUp&) = delete;
    ~DescriptorsUsedUp() { ::setrlimit(RLIMIT_NOFILE, &kept_); }

private:
    struct rlimit kept_;
};

// In a fresh process, whose inotify instance is made at its first move: a move while no
// descriptor is left, then moves after they are freed, at the times given on the watches'
// clock; answers which of them the digest followed.
std::string followedWhileInstancesRunOutThenAreFreed() {
    TempDir dir;
    const auto file = dir / "package", moved = dir / "moved";
    const auto start = std::chrono::steady_clock::now();
    auto now = start;
    setChangeWatchClock([&] { return now; });
    const struct {
        std::chrono::seconds after;
        bool descriptorsLeft;
    } moves[] = {{std::chrono::seconds(0), false}, {std::chrono::seconds(59), true}, {std::chrono::seconds(60), true}};
    std::string followed;
    for (const auto& m : moves) {
        writeFile(file, "written once");
        leaveDigestOf(file, "written once");
        std::optional<DescriptorsUsedUp> usedUp;
        if (!m.descriptorsLeft) usedUp.emplace();
        now = start + m.after;
        moveFollowingWrittenDigest(file.string(), moved.string(), [&] { std::filesystem::rename(file, moved); });
        usedUp.reset();
        struct stat info;
        ::stat(moved.c_str(), &info);
        followed += writtenDigest(DigestAlgorithm::md5, info) ? " yes" : " no";
        std::filesystem::remove(moved);
    }
    setChangeWatchClock(nullptr);
    return followed;
}

}  // namespace

// An inotify instance that could not be made is made at a later move, a minute after the
// last attempt; the moves from then on are followed without reading the file again.
TEST(DigestDeathTest, AnInstanceThatCouldNotBeMadeIsMadeALaterMinute) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            std::cerr << "followed:" << followedWhileInstancesRunOutThenAreFreed() << std::endl;
            std::exit(0);
        },
        testing::ExitedWithCode(0), "followed: no no yes");
}

TEST(HMACTest, MatchesOpenSSLForEveryAlgorithm) {
    TempDir dir;
    const std::pair<CCHmacAlgorithm, const char*> algorithms[] = {
        {CCHmacAlgorithm::SHA1, "sha1"},     {CCHmacAlgorithm::MD5, "md5"},       {CCHmacAlgorithm::SHA256, "sha256"},
        {CCHmacAlgorithm::SHA384, "sha384"}, {CCHmacAlgorithm::SHA512, "sha512"}, {CCHmacAlgorithm::SHA224, "sha224"},
    };
    const std::string key = "Hq4TmVbR8xKp2NcWz7LdYs3e";
    const std::string longKey(200, 'k');  // longer than a block: hashed first
    int n = 0;
    for (auto& input : inputs()) {
        auto file = dir / (std::string("m") += std::to_string(n++));
        writeFile(file, input);
        for (auto [algorithm, name] : algorithms) {
            for (auto& k : {key, longKey}) {
                std::string command = "openssl dgst -";
                command.append(name).append(" -hmac '").append(k).append("' -r '").append(file.string()).append("'");
                auto expected = tool(command);
                auto mac = hmac(algorithm, k, input);
                EXPECT_EQ(mac.count(), hmacLength(algorithm));
                EXPECT_EQ(mac.hexString(), expected) << name << " " << n;
            }
        }
    }
    EXPECT_EQ(static_cast<int>(CCHmacAlgorithm::SHA224), 5);
}

TEST(AESTest, KnownVectorFromOpenSSLAndRoundTrip) {
    TempDir dir;
    const std::string keyHex = "000102030405060708090a0b0c0d0e0f", ivHex = "f0e0d0c0b0a090807060504030201000";
    auto fromHex = [](const std::string& hex) {
        Data d;
        for (std::size_t i = 0; i < hex.size(); i += 2) {
            auto byte = static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16));
            d.append(&byte, 1);
        }
        return d;
    };
    Data key = fromHex(keyHex), iv = fromHex(ivHex);
    for (std::string plain :
         {std::string("sixteen bytes!!!"), std::string("x"), std::string(100, 'p'), std::string()}) {
        writeFile(dir / "plain", plain);
        int status = -1;
        runCommand("openssl enc -aes-128-cbc -K " + keyHex + " -iv " + ivHex + " -in '" + (dir / "plain").string() +
                       "' -out '" + (dir / "cipher").string() + "'",
                   &status);
        ASSERT_EQ(status, 0);
        auto expected = Data::fromString(readFile(dir / "cipher"));
        auto encrypted = AES128CBC::encrypt(key, iv, Data::fromString(plain));
        ASSERT_TRUE(encrypted.isSuccess());
        EXPECT_EQ(encrypted.value(), expected) << plain.size();
        EXPECT_EQ(encrypted.value().count(), (plain.size() / 16 + 1) * 16);  // always padded
        auto decrypted = AES128CBC::decrypt(key, iv, encrypted.value());
        ASSERT_TRUE(decrypted.isSuccess());
        EXPECT_EQ(decrypted.value().toString(), plain);
    }
}

TEST(AESTest, BadInputIsAnErrorValue) {
    Data key = Data::fromString("0123456789abcdef"), iv = Data::fromString("fedcba9876543210");
    auto good = AES128CBC::encrypt(key, iv, Data::fromString("secret")).value();
    Data tampered = good;
    tampered.mutableData()[tampered.count() - 1] ^= 0x55;  // last byte is padding
    struct Case {
        Result<Data> result;
        CCCryptorStatus status;
    };
    const Case cases[] = {
        {AES128CBC::decrypt(key, iv, tampered), CCCryptorStatus::decodeError},
        {AES128CBC::decrypt(key, iv, good.prefix(good.count() - 1)), CCCryptorStatus::alignmentError},
        {AES128CBC::decrypt(key, iv, Data()), CCCryptorStatus::decodeError},
        {AES128CBC::encrypt(Data::fromString("short"), iv, good), CCCryptorStatus::paramError},
        {AES128CBC::encrypt(key, Data::fromString("iv"), good), CCCryptorStatus::paramError},
    };
    for (auto& c : cases) {
        ASSERT_TRUE(c.result.isFailure());
        EXPECT_EQ(cryptorStatus(c.result.error()), c.status);
        EXPECT_EQ(c.result.error()->domain(), CryptorErrorDomain);
    }
}

TEST(SecRandomTest, FillsTheBuffer) {
    std::vector<unsigned char> a(64, 0), b(64, 0);
    EXPECT_EQ(SecRandomCopyBytes(a.size(), a.data()), errSecSuccess);
    EXPECT_EQ(SecRandomCopyBytes(b.size(), b.data()), errSecSuccess);
    EXPECT_NE(a, b);
    EXPECT_NE(a, std::vector<unsigned char>(64, 0));
}

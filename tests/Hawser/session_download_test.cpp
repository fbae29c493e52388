// The updater's package download end to end over a real local server: HW.download with
// a destination, progress and a file-URL handler on the main queue.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

#include "Hawser/DownloadResponseHandlers.h"
#include "Hawser/HW.h"
#include "platform/crypto/WrittenFileDigests.h"
#include "platform/runloop/Thread.h"
#include "session_support.h"
#include "tests/support/TempDir.h"

namespace {

using namespace session_test;
namespace fs = std::filesystem;
using testing_support::TempDir;

std::string pseudoRandomBytes(std::size_t size) {
    std::string bytes(size, '\0');
    std::uint32_t x = 2463534242u;
    for (auto& c : bytes) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        c = static_cast<char>(x);
    }
    return bytes;
}

std::string md5Of(const fs::path& file) {
    return testing_support::runCommand("md5sum < '" + file.string() + "' | cut -d' ' -f1");
}

class SessionDownloadTest : public ::testing::Test {
protected:
    void SetUp() override {
        payload = pseudoRandomBytes(5 * 1024 * 1024);
        testing_support::writeFile(temp / "served.zip", payload);
        server = std::make_unique<LocalServer>([this](const LocalServer::Received&) {
            return LocalServer::Reply{200, payload, {{"Content-Type", "application/zip"}}};
        });
        destination = platform::URL::fileURL((temp / "a" / "b" / "updater.zip").string(), false);
        testing_support::writeFile(temp / "a" / "b" / "updater.zip", "stale");
    }

    // The updater's call: GET, no parameters, URL encoding, no headers, its destination.
    DownloadRequestPtr startDownload(DownloadRequest::Options options) {
        auto to = destination;
        return HW->download(server->url("/updater.zip"), HTTPMethod::get, std::nullopt, URLEncoding::default_(),
                            std::nullopt, nullptr, nullptr,
                            [to, options](const platform::URL&, const platform::HTTPURLResponse&) {
                                return DownloadRequest::DestinationResult{to, options};
                            });
    }

    TempDir temp;
    std::unique_ptr<LocalServer> server;
    std::string payload;
    platform::URL destination = platform::URL::fileURL("/", true);
};

TEST_F(SessionDownloadTest, DownloadsIntoPlaceReplacingAStaleFileAndCompletesOnTheMainThread) {
    std::vector<double> fractions;
    std::optional<DownloadResponse<platform::URL, HWError>> received;
    bool onMainThread = false;

    auto request = startDownload(DownloadRequest::Options::createIntermediateDirectories |
                                 DownloadRequest::Options::removePreviousFile);
    request->downloadProgress(platform::DispatchQueue::main(), [&](const platform::ProgressPtr& progress) {
        fractions.push_back(progress->fractionCompleted());
    });
    responseURL(request, platform::DispatchQueue::main(), [&](const DownloadResponse<platform::URL, HWError>& r) {
        onMainThread = platform::Thread::isMainThread();
        received = r;
    });

    ASSERT_TRUE(waitUntil([&] { return received.has_value(); }, 30));
    ASSERT_TRUE(received->result.isSuccess()) << received->result.error().errorDescription();
    EXPECT_TRUE(onMainThread);
    EXPECT_EQ(received->value()->path(), destination.path());
    EXPECT_EQ(received->response->statusCode(), 200);
    const std::string served = md5Of(temp / "served.zip");
    ASSERT_EQ(served.size(), 33u);  // 32 hex digits and a newline
    EXPECT_EQ(md5Of(destination.path()), served);
    struct stat moved;  // the MD5 taken during the download follows the file into place
    ASSERT_EQ(::stat(destination.path().c_str(), &moved), 0);
    auto kept = platform::writtenDigest(platform::DigestAlgorithm::md5, moved);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->finalize().hexString() + "\n", served);
    ASSERT_FALSE(fractions.empty());
    EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
    // The last progress call may still be queued behind the completion.
    EXPECT_TRUE(waitUntil([&] { return fractions.back() == 1.0; }, 5));
}

TEST_F(SessionDownloadTest, AnExistingDestinationWithoutRemovePreviousFileFailsTheMoveAndIsKept) {
    std::optional<DownloadResponse<platform::URL, HWError>> received;
    auto request = startDownload(DownloadRequest::Options::createIntermediateDirectories);
    responseURL(request, platform::DispatchQueue::main(),
                [&](const DownloadResponse<platform::URL, HWError>& r) { received = r; });

    ASSERT_TRUE(waitUntil([&] { return received.has_value(); }, 30));
    ASSERT_TRUE(received->result.isFailure());
    const HWError& error = received->result.error();
    EXPECT_TRUE(error.isDownloadedFileMoveError());
    EXPECT_EQ(error.errorDescription().rfind("Moving downloaded file from: ", 0), 0u) << error.errorDescription();
    EXPECT_EQ(error.destinationURL()->path(), destination.path());
    EXPECT_EQ(testing_support::readFile(destination.path()), "stale");
}

// A destination closure that throws finishes the download with a move failure carrying its
// error (from and to the temporary file), and the temporary file is removed.
TEST_F(SessionDownloadTest, AThrowingDestinationFailsTheMoveAndRemovesTheTemporaryFile) {
    std::optional<DownloadResponse<platform::URL, HWError>> received;
    auto request = HW->download(
        server->url("/updater.zip"), HTTPMethod::get, std::nullopt, URLEncoding::default_(), std::nullopt, nullptr,
        nullptr, [](const platform::URL&, const platform::HTTPURLResponse&) -> DownloadRequest::DestinationResult {
            throw platform::ErrorException(platform::posixError(EACCES, "no place"));
        });
    responseURL(request, platform::DispatchQueue::main(),
                [&](const DownloadResponse<platform::URL, HWError>& r) { received = r; });

    ASSERT_TRUE(waitUntil([&] { return received.has_value(); }, 30));
    ASSERT_TRUE(received->result.isFailure());
    const HWError& error = received->result.error();
    ASSERT_TRUE(error.isDownloadedFileMoveError()) << error.errorDescription();
    ASSERT_TRUE(error.underlyingError());
    EXPECT_EQ(error.underlyingError()->code(), EACCES);
    ASSERT_TRUE(error.sourceURL() && error.destinationURL());
    EXPECT_EQ(error.sourceURL()->path(), error.destinationURL()->path());
    EXPECT_FALSE(fs::exists(error.sourceURL()->path())) << "the temporary file is removed";
    EXPECT_EQ(testing_support::readFile(destination.path()), "stale");
}

TEST_F(SessionDownloadTest, WithoutDestinationTheFileLandsBesideTheTemporaryFileInThePrivateTemporaryFolder) {
    std::optional<DownloadResponse<std::optional<platform::URL>, HWError>> received;
    auto request = HW->download(server->url("/updater.zip"));
    response(request, platform::DispatchQueue::main(),
             [&](const DownloadResponse<std::optional<platform::URL>, HWError>& r) { received = r; });

    ASSERT_TRUE(waitUntil([&] { return received.has_value(); }, 30));
    ASSERT_TRUE(received->result.isSuccess());
    auto file = received->value()->value();
    EXPECT_EQ(file.lastPathComponent().rfind("Hawser_", 0), 0u);
    EXPECT_EQ(file.deletingLastPathComponent().path(),
              platform::FileManager::defaultManager()->temporaryDirectory().path());
    EXPECT_EQ(fs::file_size(file.path()), payload.size());
    fs::remove(file.path());
}

}  // namespace

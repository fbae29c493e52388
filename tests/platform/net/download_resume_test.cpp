// Downloads that are paused and continued, and cancelled with resume data then resumed
// with Range and If-Range: the file at the end is byte for byte the server's, and the
// MD5 computed while it was written is the MD5 of that file.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <future>

#include "platform/crypto/WrittenFileDigests.h"

#include "platform/net/URLError.h"
#include "tests/platform/net/NetTestSupport.h"

using namespace platform;
using namespace nettest;
using testing_support::TempDir;

namespace {

constexpr std::size_t kSize = 6 * 1024 * 1024;
constexpr std::size_t kGate = 1024 * 1024;  // the first answer stops here until released

class DownloadResumeTest : public ::testing::Test {
protected:
    void SetUp() override {
        content.resize(kSize);
        for (std::size_t i = 0; i < kSize; ++i) content[i] = static_cast<char>((i * 31 + i / 7919) % 251);
        testing_support::writeFile(dir / "source.bin", content);
        server->Get("/file", [this](const httplib::Request& req, httplib::Response& res) {
            {
                std::lock_guard lock(mutex);
                ranges.push_back(req.get_header_value("Range") + "|" + req.get_header_value("If-Range"));
            }
            if (withValidator) res.set_header("ETag", "\"v1\"");
            res.set_content_provider(kSize, "application/octet-stream",
                                     [this](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                                         if (offset >= kGate) {
                                             std::unique_lock lock(mutex);
                                             released.wait(lock, [this] { return open; });
                                         }
                                         sink.write(content.data() + offset, std::min<std::size_t>(length, 64 * 1024));
                                         return true;
                                     });
        });
        server.start();
    }
    void TearDown() override { release(); }

    void release() {
        std::lock_guard lock(mutex);
        open = true;
        released.notify_all();
    }
    // The MD5 the download left for `file`, as a later check of the file finds it.
    static std::optional<std::string> md5LeftFor(const std::filesystem::path& file) {
        struct stat info;
        if (::stat(file.c_str(), &info) != 0) return std::nullopt;
        auto kept = writtenDigest(DigestAlgorithm::md5, info);
        if (!kept) return std::nullopt;
        return kept->finalize().hexString();
    }
    std::string contentMD5() const {
        return Digest::hash(DigestAlgorithm::md5, content.data(), content.size()).hexString();
    }
    bool sameAsSource(const std::filesystem::path& file) {
        int status = -1;
        testing_support::runCommand("cmp -s '" + (dir / "source.bin").string() + "' '" + file.string() + "'", &status);
        return status == 0;
    }

    TempDir dir;
    std::string content;
    LocalServer server;
    std::mutex mutex;
    std::condition_variable released;
    bool open = false;
    bool withValidator = true;
    std::vector<std::string> ranges;
};

TEST_F(DownloadResumeTest, SuspendedDownloadContinuesAndEndsIdentical) {
    auto delegate = std::make_shared<RecordingDelegate>();
    delegate->moveDownloadTo = (dir / "paused.bin").string();
    auto session = URLSession::create(URLSessionConfiguration::ephemeralSessionConfiguration(), delegate);
    auto task = session->downloadTask(server.url("/file"));
    task->resume();
    ASSERT_TRUE(delegate->waitForWritten(512 * 1024));
    task->suspend();
    EXPECT_EQ(task->state(), URLSessionTask::State::suspended);
    // The session's I/O thread takes commands in order: once a later cancel has come
    // back, the suspension is in force.
    std::promise<void> probed;
    session->dataTask(URLRequest(server.url("/file")), [&](auto, auto, auto) { probed.set_value(); })->cancel();
    probed.get_future().wait();
    release();
    EXPECT_FALSE(delegate->waitForCompletion(0.3));  // nothing finishes while suspended
    task->resume();
    ASSERT_TRUE(delegate->waitForCompletion());
    EXPECT_EQ(delegate->error, nullptr);
    EXPECT_TRUE(sameAsSource(dir / "paused.bin"));
    EXPECT_EQ(md5LeftFor(dir / "paused.bin"), contentMD5());
    EXPECT_EQ(ranges.size(), 1u);
}

TEST_F(DownloadResumeTest, CancelledWithResumeDataThenResumedEndsIdentical) {
    auto delegate = std::make_shared<RecordingDelegate>();
    auto session = URLSession::create(URLSessionConfiguration::ephemeralSessionConfiguration(), delegate);
    auto task = session->downloadTask(server.url("/file"));
    task->resume();
    ASSERT_TRUE(delegate->waitForWritten(kGate));
    std::promise<std::optional<Data>> produced;
    task->cancel([&](std::optional<Data> data) { produced.set_value(data); });
    auto resumeData = produced.get_future().get();
    ASSERT_TRUE(resumeData);
    ASSERT_TRUE(delegate->waitForCompletion());
    ASSERT_EQ(errorCode(delegate->error), NSURLErrorCancelled);
    auto urlError = std::dynamic_pointer_cast<const URLError>(delegate->error);
    ASSERT_TRUE(urlError);
    EXPECT_EQ(urlError->downloadTaskResumeData(), resumeData);

    release();
    auto second = std::make_shared<RecordingDelegate>();
    second->moveDownloadTo = (dir / "resumed.bin").string();
    auto session2 = URLSession::create(URLSessionConfiguration::ephemeralSessionConfiguration(), second);
    session2->downloadTask(*resumeData)->resume();
    ASSERT_TRUE(second->waitForCompletion());
    EXPECT_EQ(second->error, nullptr);
    auto events = second->events();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front(), "resumed " + std::to_string(kGate) + "/" + std::to_string(kSize));
    EXPECT_TRUE(sameAsSource(dir / "resumed.bin"));
    EXPECT_EQ(md5LeftFor(dir / "resumed.bin"), contentMD5());
    ASSERT_EQ(ranges.size(), 2u);
    EXPECT_EQ(ranges[1], "bytes=" + std::to_string(kGate) + "-|\"v1\"");
}

TEST_F(DownloadResumeTest, NoResumeDataWithoutAValidatorAndBadResumeDataFails) {
    withValidator = false;
    auto delegate = std::make_shared<RecordingDelegate>();
    auto session = URLSession::create(URLSessionConfiguration::ephemeralSessionConfiguration(), delegate);
    auto task = session->downloadTask(server.url("/file"));
    task->resume();
    ASSERT_TRUE(delegate->waitForWritten(64 * 1024));
    std::promise<std::optional<Data>> produced;
    task->cancel([&](std::optional<Data> data) { produced.set_value(data); });
    EXPECT_FALSE(produced.get_future().get());
    ASSERT_TRUE(delegate->waitForCompletion());

    auto other = std::make_shared<RecordingDelegate>();
    auto session2 = URLSession::create(URLSessionConfiguration::ephemeralSessionConfiguration(), other);
    session2->downloadTask(Data::fromString("not resume data"))->resume();
    ASSERT_TRUE(other->waitForCompletion());
    EXPECT_EQ(errorCode(other->error), static_cast<std::int64_t>(URLError::Code::cannotDecodeRawData));
}

}  // namespace

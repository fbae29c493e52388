// Multipart bodies: the exact byte layout, bodies read back by Python's e-mail parser
// (in memory, through the temporary file and uploaded to a local server), the append
// and write failures, and the upload's memory-or-file decision.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sys/resource.h>

#include "Hawser/MultipartFormData.h"
#include "Hawser/MultipartUpload.h"
#include "Hawser/Session.h"
#include "tests/Hawser/server_support.h"
#include "tests/support/TempDir.h"

using namespace Hawser;
using platform::Data;
using platform::URL;
namespace fs = std::filesystem;

namespace {

std::string text(const Data& d) { return d.toString(); }

URL fileURL(const fs::path& p) { return URL::fileURL(p.string()); }

// The failure reason of a multipart error thrown by `body`.
std::optional<MultipartEncodingFailureReason> reasonOf(const std::function<void()>& body) {
    try {
        body();
    } catch (const platform::ErrorException& e) {
        auto hw = asHWError(e.error());
        if (hw && hw->isMultipartEncodingError()) return hw->as<HWError::MultipartEncodingFailed>()->reason;
        ADD_FAILURE() << "other error: " << e.what();
        return std::nullopt;
    }
    ADD_FAILURE() << "no error";
    return std::nullopt;
}

// Runs Python's e-mail parser (HTTP policy) over a body and answers one line per part:
// name|filename|hex of the bytes.
std::string parseWithPython(const std::string& contentType, const std::string& body) {
    testing_support::TempDir dir;
    testing_support::writeFile(dir / "body", body);
    testing_support::writeFile(dir / "parse.py",
                               "import sys, email.parser, email.policy\n"
                               "body = open(sys.argv[1], 'rb').read()\n"
                               "head = ('Content-Type: ' + sys.argv[2] + '\\r\\n\\r\\n').encode()\n"
                               "msg = email.parser.BytesParser(policy=email.policy.HTTP).parsebytes(head + body)\n"
                               "assert msg.is_multipart(), 'not multipart'\n"
                               "assert not msg.defects, msg.defects\n"
                               "for part in msg.iter_parts():\n"
                               "    name = part.get_param('name', header='content-disposition')\n"
                               "    print(f\"{name}|{part.get_filename()}|{part.get_content_type()}|\"\n"
                               "          f\"{part.get_payload(decode=True).hex()}\")\n");
    int status = 0;
    std::string out = testing_support::runCommand("python3 " + (dir / "parse.py").string() + " " +
                                                      (dir / "body").string() + " '" + contentType + "' 2>&1",
                                                  &status);
    EXPECT_EQ(status, 0) << out;
    return out;
}

std::string hex(const std::string& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

// A form of every kind of part, and the parser's lines it must give.
struct Fixture {
    testing_support::TempDir dir;
    std::string fileBytes = std::string("\x00\x01\r\n--hawser.boundary.\r\nbinary\xff", 27);
    std::string streamBytes = "streamed";

    MultipartFormDataPtr form() {
        testing_support::writeFile(dir / "photo.png", fileBytes);
        auto form = std::make_shared<MultipartFormData>();
        form->append(Data::fromString("hello world"), "greeting");
        form->append(fileURL(dir / "photo.png"), "photo");
        form->append(Data::fromString("x"), "quote\"d", std::string("evil\"\r\nX-Injected: 1.txt"),
                     std::string("text/plain"));
        form->append(platform::InputStream::withData(Data::fromString(streamBytes)), streamBytes.size(), "s", "s.bin",
                     "application/octet-stream");
        return form;
    }
    std::string expected() const {
        return "greeting|None|text/plain|" + hex("hello world") + "\n" + "photo|photo.png|image/png|" + hex(fileBytes) +
               "\n" + "quote%22d|evil%22%0D%0AX-Injected: 1.txt|text/plain|" + hex("x") + "\n" +
               "s|s.bin|application/octet-stream|" + hex(streamBytes) + "\n";
    }
};

class MultipartUploadTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* old = std::getenv("TMPDIR")) oldTmp_ = old;
        ::setenv("TMPDIR", tmp_.path().c_str(), 1);
    }
    void TearDown() override {
        if (oldTmp_) ::setenv("TMPDIR", oldTmp_->c_str(), 1);
        else ::unsetenv("TMPDIR");
    }
    fs::path multipartFolder() const {
        return fs::path(platform::FileManager::defaultManager()->temporaryDirectory().path()) / "org.hawser.manager" /
               "multipart.form.data";
    }
    std::size_t filesLeft() const {
        if (!fs::exists(multipartFolder())) return 0;
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(multipartFolder()), fs::directory_iterator()));
    }
    testing_support::TempDir tmp_;
    std::optional<std::string> oldTmp_;
};

}  // namespace

TEST(MultipartFormData, ByteLayout) {
    MultipartFormData one(platform::FileManager::defaultManager(), std::string("B"));
    one.append(Data::fromString("v"), "a");
    EXPECT_EQ(text(one.encode()), "--B\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\nv\r\n--B--\r\n");

    MultipartFormData two(platform::FileManager::defaultManager(), std::string("B"));
    two.append(Data::fromString("1"), "a");
    two.append(Data::fromString("PNG"), "f", std::string("x.png"), std::string("image/png"));
    EXPECT_EQ(text(two.encode()), "--B\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\n1"
                                  "\r\n--B\r\nContent-Disposition: form-data; name=\"f\"; "
                                  "filename=\"x.png\"\r\nContent-Type: image/png\r\n\r\nPNG"
                                  "\r\n--B--\r\n");
    EXPECT_EQ(two.contentLength(), 4u);

    MultipartFormData empty;
    EXPECT_TRUE(empty.encode().isEmpty());
    EXPECT_TRUE(std::regex_match(empty.boundary, std::regex("hawser\\.boundary\\.[0-9a-f]{16}")));
    EXPECT_EQ(empty.contentType(), "multipart/form-data; boundary=" + empty.boundary);
    EXPECT_NE(MultipartFormData().boundary, empty.boundary);

    EXPECT_EQ(MultipartFormData::mimeType("jpeg"), "image/jpeg");
    EXPECT_EQ(MultipartFormData::mimeType("nosuchext"), "application/octet-stream");
}

TEST(MultipartFormData, PythonReadsBodiesFromMemoryAndFile) {
    Fixture fixture;
    auto inMemory = fixture.form();
    EXPECT_EQ(parseWithPython(inMemory->contentType(), text(inMemory->encode())), fixture.expected());

    auto toFile = fixture.form();
    auto out = fixture.dir / "body.out";
    toFile->writeEncodedData(fileURL(out));
    EXPECT_EQ(parseWithPython(toFile->contentType(), testing_support::readFile(out)), fixture.expected());
}

TEST(MultipartFormData, AppendFailuresAreKeptAndThrownFirstOneWins) {
    testing_support::TempDir dir;
    testing_support::writeFile(dir / "noext", "x");
    fs::create_directory(dir / "folder.d");
    struct Case {
        std::function<void(MultipartFormData&)> append;
        std::size_t reason;  // index of the failure case
    };
    const std::vector<Case> cases{
        {[&](MultipartFormData& f) { f.append(fileURL(dir / "noext"), "n"); }, 1},
        {[&](MultipartFormData& f) { f.append(*URL::parse("file:///"), "n"); }, 1},
        {[&](MultipartFormData& f) { f.append(*URL::parse("http://h/x.png"), "n", "x.png", "image/png"); }, 0},
        {[&](MultipartFormData& f) { f.append(fileURL(dir / "folder.d"), "n"); }, 4},
        {[&](MultipartFormData& f) { f.append(fileURL(dir / "missing.png"), "n"); }, 4},
    };
    for (const auto& c : cases) {
        MultipartFormData form;
        c.append(form);
        form.append(Data::fromString("fine"), "later");
        EXPECT_EQ(form.bodyParts.size(), 1u);
        auto reason = reasonOf([&] { form.encode(); });
        ASSERT_TRUE(reason);
        EXPECT_EQ(reason->index(), c.reason) << reason->message();
        EXPECT_FALSE(fs::exists(dir / "never"));
        reason = reasonOf([&] { form.writeEncodedData(fileURL(dir / "never")); });
        EXPECT_EQ(reason->index(), c.reason);
        EXPECT_FALSE(fs::exists(dir / "never"));
    }

    MultipartFormData twice;
    twice.append(fileURL(dir / "folder.d"), "a");
    twice.append(fileURL(dir / "noext"), "b");
    auto first = reasonOf([&] { twice.encode(); });
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->as<MultipartEncodingFailureReason::BodyPartFileIsDirectory>());
}

// In memory a part must be as long as declared; into a file each stream is written as it is.
TEST(MultipartFormData, LengthsAreCheckedInMemoryAndWrittenAsTheyAreIntoAFile) {
    testing_support::TempDir dir;
    auto expectLength = [](const std::optional<MultipartEncodingFailureReason>& reason, std::uint64_t expected,
                           std::uint64_t read) {
        ASSERT_TRUE(reason);
        auto* failed = reason->as<MultipartEncodingFailureReason::InputStreamReadFailed>();
        ASSERT_TRUE(failed);
        auto length = std::dynamic_pointer_cast<const UnexpectedInputStreamLength>(failed->error);
        ASSERT_TRUE(length);
        EXPECT_EQ(length->bytesExpected, expected);
        EXPECT_EQ(length->bytesRead, read);
    };
    auto shortForm = [] {
        auto form = std::make_shared<MultipartFormData>();
        form->append(platform::InputStream::withData(Data::fromString("abc")), 10, "s", "s.bin", "x/y");
        return form;
    };
    expectLength(reasonOf([&] { shortForm()->encode(); }), 10, 3);
    auto written = shortForm();
    EXPECT_NO_THROW(written->writeEncodedData(fileURL(dir / "short")));
    std::string body = testing_support::readFile(dir / "short");
    EXPECT_NE(body.find("\r\n\r\nabc\r\n--" + written->boundary + "--\r\n"), std::string::npos) << body;

    // A file that changed size after it was appended: refused in memory, written with its
    // real size (shrunk or grown) into a file.
    for (std::string now : {std::string("0123"), std::string("0123456789abcdef")}) {
        testing_support::writeFile(dir / "data.bin", "0123456789");
        MultipartFormData inMemory, changed;
        inMemory.append(fileURL(dir / "data.bin"), "f");
        changed.append(fileURL(dir / "data.bin"), "f");
        testing_support::writeFile(dir / "data.bin", now);
        expectLength(reasonOf([&] { inMemory.encode(); }), 10, now.size());
        fs::remove(dir / "out");
        EXPECT_NO_THROW(changed.writeEncodedData(fileURL(dir / "out")));
        body = testing_support::readFile(dir / "out");
        EXPECT_NE(body.find("\r\n\r\n" + now + "\r\n--" + changed.boundary + "--\r\n"), std::string::npos) << body;
    }

    // An unreadable stream is a read failure, not a short body.
    MultipartFormData unreadable;
    unreadable.append(platform::InputStream::withFileAtPath((dir / "gone").string()), 1, "g", "g.bin", "x/y");
    auto reason = reasonOf([&] { unreadable.encode(); });
    ASSERT_TRUE(reason);
    EXPECT_TRUE(reason->as<MultipartEncodingFailureReason::InputStreamReadFailed>());
}

TEST(MultipartFormData, WriteFailures) {
    testing_support::TempDir dir;
    testing_support::writeFile(dir / "existing", "keep");
    MultipartFormData form;
    form.append(Data::fromString("v"), "a");
    auto reason = reasonOf([&] { form.writeEncodedData(fileURL(dir / "existing")); });
    ASSERT_TRUE(reason);
    EXPECT_TRUE(reason->as<MultipartEncodingFailureReason::OutputStreamFileAlreadyExists>());
    EXPECT_EQ(testing_support::readFile(dir / "existing"), "keep");

    reason = reasonOf([&] { form.writeEncodedData(*URL::parse("http://h/out")); });
    EXPECT_TRUE(reason && reason->as<MultipartEncodingFailureReason::OutputStreamURLInvalid>());
    reason = reasonOf([&] { form.writeEncodedData(fileURL(dir / "no" / "such" / "folder")); });
    EXPECT_TRUE(reason && reason->as<MultipartEncodingFailureReason::OutputStreamCreationFailed>());

    MultipartFormData empty;
    empty.writeEncodedData(fileURL(dir / "empty"));
    EXPECT_EQ(fs::file_size(dir / "empty"), 0u);

    // A disk that fills up mid-body: the file size limit makes the write fail.
    MultipartFormData big;
    big.append(Data::fromString(std::string(64 * 1024, 'x')), "big");
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit limited = old;
    limited.rlim_cur = 4096;
    ::setrlimit(RLIMIT_FSIZE, &limited);
    reason = reasonOf([&] { big.writeEncodedData(fileURL(dir / "full")); });
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_TRUE(reason && reason->as<MultipartEncodingFailureReason::OutputStreamWriteFailed>());
    EXPECT_FALSE(fs::exists(dir / "full"));
}

TEST_F(MultipartUploadTest, UploadDecidesOnceBetweenMemoryAndFile) {
    auto request = std::make_shared<URLRequestValue>(platform::URLRequest(URL::parse("http://h/up")));
    auto formOf = [](std::size_t bytes) {
        auto form = std::make_shared<MultipartFormData>();
        form->append(Data::fromString(std::string(bytes, 'x')), "a");
        return form;
    };
    EXPECT_TRUE(MultipartUpload(11, request, formOf(10)).createUploadable().asData());
    MultipartUpload atThreshold(10, request, formOf(10));
    auto first = atThreshold.createUploadable();
    ASSERT_TRUE(first.asFile());
    EXPECT_TRUE(first.asFile()->shouldRemove);
    EXPECT_EQ(fs::path(first.asFile()->url.path()).parent_path(), multipartFolder());
    EXPECT_EQ(atThreshold.createUploadable().asFile()->url, first.asFile()->url);
    EXPECT_EQ(filesLeft(), 1u);

    // A stored failure comes back on every call; a failed write leaves no file.
    auto broken = std::make_shared<MultipartFormData>();
    broken->append(platform::InputStream::withFileAtPath((tmp_.path() / "gone").string()), 5, "s", "s", "x/y");
    MultipartUpload failing(0, request, broken);
    for (int i = 0; i < 2; ++i) {
        auto reason = reasonOf([&] { failing.createUploadable(); });
        EXPECT_TRUE(reason && reason->as<MultipartEncodingFailureReason::InputStreamReadFailed>());
    }
    EXPECT_EQ(filesLeft(), 1u);

    // The form's content type replaces any other, whatever the header's spelling.
    platform::URLRequest typed(URL::parse("http://h/up"));
    typed.setValue("text/plain", "content-type");
    auto form = formOf(1);
    MultipartUpload upload(MultipartFormData::encodingMemoryThreshold, std::make_shared<URLRequestValue>(typed), form);
    platform::URLRequest out = upload.asURLRequest();
    EXPECT_EQ(out.value("Content-Type"), form->contentType());
    EXPECT_EQ(out.headerFields().count(), 1u);
}

TEST_F(MultipartUploadTest, UploadsThroughTheTemporaryFileAndRemovesIt) {
    std::mutex mutex;
    std::string receivedType, receivedBody;
    server_support::LocalServer server([&](const server_support::HTTPExchange& exchange) {
        std::lock_guard lock(mutex);
        receivedType = exchange.headers.at("content-type");
        receivedBody = exchange.body;
        return server_support::HTTPReply{200, "", {{"Content-Type", "text/plain"}}, {"ok"}};
    });

    Fixture fixture;
    auto form = fixture.form();
    platform::URLRequest urlRequest(URL::parse(server.url("/upload")));
    urlRequest.setHTTPMethod("POST");
    auto upload = std::make_shared<MultipartUpload>(0, std::make_shared<URLRequestValue>(urlRequest), form);
    auto session = Session::create();
    auto request = session->upload(upload, nullptr, platform::FileManager::defaultManager());
    request->resume();
    ASSERT_TRUE(server_support::waitForFinish(request));
    EXPECT_FALSE(request->error()) << request->error()->errorDescription();
    std::lock_guard lock(mutex);
    EXPECT_EQ(receivedType, form->contentType());
    EXPECT_EQ(parseWithPython(receivedType, receivedBody), fixture.expected());
    EXPECT_EQ(filesLeft(), 0u);
}

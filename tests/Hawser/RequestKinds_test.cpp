// The response handlers written once for both request kinds, over a real local server:
// each handler reports its own kind's parse event with what the request read, and hands
// over the response fields of its kind; an upload counts as a data request. A request
// class without a set-up of its own stops the process.
#include <gtest/gtest.h>

#include <mutex>

#include "Hawser/DownloadResponseHandlers.h"
#include "session_support.h"
#include "tests/support/TempDir.h"

namespace {

using namespace session_test;
using platform::Data;
using platform::DispatchQueue;
using testing_support::TempDir;

std::string contents(const std::optional<platform::URL>& file) {
    return file ? testing_support::readFile(file->path()) : "none";
}

// Records each parse event with what it carried: the body or the file's contents for the
// unserialized events, the value's type for the others.
class ParseMonitor : public EventMonitor {
public:
    DispatchQueuePtr queue() const override { return queue_; }
    std::vector<std::string> seen() const {
        std::lock_guard lock(mutex_);
        return seen_;
    }

    void requestDidParseResponse(const DataRequestPtr&,
                                 const DataResponse<std::optional<Data>, HWError>& response) override {
        add("data response: " + (response.data ? response.data->toString() : "none"));
    }
    void requestDidParseResponseOfValue(const DataRequestPtr&, const AnyDataResponse& response) override {
        add("data response of " + response.value()->typeName());
    }
    void
    requestDidParseDownloadResponse(const DownloadRequestPtr&,
                                    const DownloadResponse<std::optional<platform::URL>, HWError>& response) override {
        add("download response: " + contents(response.fileURL));
    }
    void requestDidParseDownloadResponseOfValue(const DownloadRequestPtr&,
                                                const AnyDownloadResponse& response) override {
        add("download response of " + response.value()->typeName());
    }

private:
    void add(std::string line) {
        std::lock_guard lock(mutex_);
        seen_.push_back(std::move(line));
    }
    DispatchQueuePtr queue_ = DispatchQueue::create("test.parseMonitor");
    mutable std::mutex mutex_;
    std::vector<std::string> seen_;
};

// What a delivered response carries in its kind's own fields.
template <class Value>
std::string fieldsOf(const DataResponse<Value, HWError>& response) {
    return "data " + (response.data ? response.data->toString() : "none");
}
template <class Value>
std::string fieldsOf(const DownloadResponse<Value, HWError>& response) {
    return "file " + contents(response.fileURL) + ", resume data " + (response.resumeData ? "some" : "none");
}

// The delivered value as text (`valueText`), then the kind's fields.
using Deliver = std::function<void(std::string)>;
template <class Response>
std::function<void(const Response&)> delivering(Deliver deliver, std::string (*valueText)(const Response&)) {
    return [deliver = std::move(deliver), valueText](const Response& response) {
        deliver(valueText(response) + " | " + fieldsOf(response));
    };
}

using RawData = DataResponse<std::optional<Data>, HWError>;
using DataText = DataResponse<std::string, HWError>;
using RawFile = DownloadResponse<std::optional<platform::URL>, HWError>;
using FileText = DownloadResponse<std::string, HWError>;
using FileURL = DownloadResponse<platform::URL, HWError>;

std::string rawData(const RawData& r) { return r.value() && *r.value() ? (*r.value())->toString() : "?"; }
std::string rawFile(const RawFile& r) { return r.value() ? contents(*r.value()) : "?"; }
std::string fileAt(const FileURL& r) { return r.value() ? contents(*r.value()) : "?"; }
template <class R>
std::string text(const R& r) {
    return r.value().value_or("?");
}

struct Kit {
    SessionPtr session;
    std::string url;
    DownloadRequest::Destination destination;

    DownloadRequestPtr download() const {
        return session->download(url, HTTPMethod::get, std::nullopt, URLEncoding::default_(), std::nullopt, nullptr,
                                 nullptr, destination);
    }
};

// One handler on one request of one kind, the parse event it must report and what it
// must deliver.
struct HandlerCase {
    const char* name;
    std::function<void(const Kit&, Deliver)> attach;
    std::string parsed;
    std::string delivered;
};

const std::vector<HandlerCase>& handlerCases() {
    static const std::vector<HandlerCase> cases = {
        {"data, unserialized",
         [](const Kit& kit, Deliver d) {
             response(kit.session->request(kit.url), DispatchQueue::main(), delivering<RawData>(d, rawData));
         },
         "data response: served body", "served body | data served body"},
        {"data, string",
         [](const Kit& kit, Deliver d) {
             responseString(kit.session->request(kit.url), DispatchQueue::main(), delivering<DataText>(d, text));
         },
         "data response of String", "served body | data served body"},
        {"upload, string",
         [](const Kit& kit, Deliver d) {
             DataRequestPtr returned = responseString(kit.session->upload(Data::fromString("sent"), kit.url),
                                                      DispatchQueue::main(), delivering<DataText>(d, text));
             EXPECT_TRUE(returned);
         },
         "data response of String", "served body | data served body"},
        {"download, unserialized",
         [](const Kit& kit, Deliver d) {
             response(kit.download(), DispatchQueue::main(), delivering<RawFile>(d, rawFile));
         },
         "download response: served body", "served body | file served body, resume data none"},
        {"download, string",
         [](const Kit& kit, Deliver d) {
             responseString(kit.download(), DispatchQueue::main(), delivering<FileText>(d, text));
         },
         "download response of String", "served body | file served body, resume data none"},
        {"download, file URL",
         [](const Kit& kit, Deliver d) {
             responseURL(kit.download(), DispatchQueue::main(), delivering<FileURL>(d, fileAt));
         },
         "download response of URL", "served body | file served body, resume data none"},
    };
    return cases;
}

TEST(RequestKinds, EachHandlerReportsItsKindsParseEventAndDeliversItsKindsFields) {
    LocalServer server([](const LocalServer::Received&) {
        return LocalServer::Reply{200, "served body", {{"Content-Type", "text/plain"}}};
    });
    for (const auto& c : handlerCases()) {
        SCOPED_TRACE(c.name);
        TempDir temp;
        auto monitor = std::make_shared<ParseMonitor>();
        auto file = platform::URL::fileURL((temp / "downloaded").string(), false);
        Kit kit{Session::create(platform::URLSessionConfiguration::ephemeralSessionConfiguration(), nullptr, nullptr,
                                true, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, {monitor}),
                server.url("/file"), [file](const platform::URL&, const platform::HTTPURLResponse&) {
                    return DownloadRequest::DestinationResult{file, {}};
                }};
        std::optional<std::string> delivered;
        c.attach(kit, [&](std::string d) { delivered = std::move(d); });

        ASSERT_TRUE(waitUntil([&] { return delivered.has_value() && !monitor->seen().empty(); }));
        EXPECT_EQ(*delivered, c.delivered);
        EXPECT_EQ(monitor->seen(), std::vector<std::string>{c.parsed});
    }
}

// A request class the session has no set-up for.
class UnknownKindRequest : public Request {
public:
    explicit UnknownKindRequest(const SessionPtr& session)
        : Request(platform::UUID(), session->rootQueue, session->serializationQueue, nullptr, nullptr, session) {}
};

TEST(RequestKindsDeathTest, ARequestClassWithoutASetUpOfItsOwnIsFatal) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            auto session = Session::create(platform::URLSessionConfiguration::ephemeralSessionConfiguration());
            session->perform(std::make_shared<UnknownKindRequest>(session));
            drain(session->rootQueue);
            drain(session->requestQueue);
        },
        "Attempted to perform unsupported Request subclass: .*UnknownKindRequest");
}

}  // namespace

// The web-view stand-in: it records what it was asked to load and hands back a
// navigation for each load, without fetching or rendering anything. Its four load
// operations are runtime methods ("loadRequest:" …) and the C++ calls send them as
// messages, so code that exchanges those methods sees every load.
#pragma once
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/Data.h"
#include "platform/base/Protected.h"
#include "platform/foundation/URL.h"
#include "platform/net/URLRequest.h"
#include "platform/runtime/Class.h"
#include "platform/webkit/WKWebViewConfiguration.h"

namespace platform {

// What one load call returns; it identifies that navigation.
class WKNavigation final : public Object {
    PLATFORM_OBJECT(WKNavigation, Object)
};

// A URL request as it crosses the runtime's messages (messages carry objects, and a
// request is a value).
class URLRequestObject final : public Object {
    PLATFORM_OBJECT(URLRequestObject, Object)
public:
    explicit URLRequestObject(URLRequest request) : request(std::move(request)) {}
    URLRequest request;
};

class WKWebView : public Object {
    PLATFORM_OBJECT(WKWebView, Object)
public:
    // One recorded load: the message that asked for it and its arguments, as the runtime
    // carried them (URLs as their absolute text, a request as a URLRequestObject).
    struct Load {
        std::string selector;
        Arguments arguments;
    };

    // A view keeps the configuration it is given (a new one when none is).
    explicit WKWebView(std::shared_ptr<WKWebViewConfiguration> configuration = nullptr);
    static std::shared_ptr<WKWebView> create(std::shared_ptr<WKWebViewConfiguration> configuration = nullptr) {
        return std::make_shared<WKWebView>(std::move(configuration));
    }

    const std::shared_ptr<WKWebViewConfiguration>& configuration() const { return configuration_; }

    std::shared_ptr<WKNavigation> loadRequest(const URLRequest& request);
    std::shared_ptr<WKNavigation> loadHTMLString(const std::string& string, const std::optional<URL>& baseURL);
    std::shared_ptr<WKNavigation> loadFileURL(const URL& url, const URL& readAccessURL);
    std::shared_ptr<WKNavigation> loadData(const Data& data, const std::string& MIMEType,
                                           const std::string& characterEncodingName, const std::optional<URL>& baseURL);

    std::vector<Load> loads() const;
    // The URL of the most recent load that named one (the request's URL, the file URL or
    // the base URL).
    std::optional<URL> url() const;

    static void registerMethods(Class& cls);

private:
    std::shared_ptr<WKNavigation> send(const char* selector, Arguments arguments);
    Value record(const char* selector, const Arguments& arguments, const Value& url);

    std::shared_ptr<WKWebViewConfiguration> configuration_;
    struct History {
        std::vector<Load> loads;
        std::optional<URL> url;
    };
    Protected<History> history_;
};

}  // namespace platform

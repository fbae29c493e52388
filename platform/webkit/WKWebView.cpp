// The web-view stand-in's load operations: each C++ call is a message, each message's
// implementation records the load and answers a new navigation.
#include "platform/webkit/WKWebView.h"

#include "platform/base/NoDestructor.h"
#include "platform/runtime/Class.h"

namespace platform {

namespace {

Value urlArgument(const std::optional<URL>& url) { return url ? Value(url->absoluteString()) : Value(); }

const Value& argumentAt(const Arguments& arguments, std::size_t i) {
    static const NoDestructor<Value> null;
    return i < arguments.size() ? arguments[i] : *null;
}

}  // namespace

WKWebView::WKWebView(std::shared_ptr<WKWebViewConfiguration> configuration)
    : configuration_(configuration ? std::move(configuration) : WKWebViewConfiguration::create()) {}

std::shared_ptr<WKNavigation> WKWebView::send(const char* selector, Arguments arguments) {
    return perform(Selector(selector), arguments).asObject<WKNavigation>();
}

std::shared_ptr<WKNavigation> WKWebView::loadRequest(const URLRequest& request) {
    return send("loadRequest:", {Value(ObjectPtr(std::make_shared<URLRequestObject>(request)))});
}

std::shared_ptr<WKNavigation> WKWebView::loadHTMLString(const std::string& string, const std::optional<URL>& baseURL) {
    return send("loadHTMLString:baseURL:", {Value(string), urlArgument(baseURL)});
}

std::shared_ptr<WKNavigation> WKWebView::loadFileURL(const URL& url, const URL& readAccessURL) {
    return send("loadFileURL:allowingReadAccessToURL:",
                {Value(url.absoluteString()), Value(readAccessURL.absoluteString())});
}

std::shared_ptr<WKNavigation> WKWebView::loadData(const Data& data, const std::string& MIMEType,
                                                  const std::string& characterEncodingName,
                                                  const std::optional<URL>& baseURL) {
    return send("loadData:MIMEType:characterEncodingName:baseURL:",
                {Value(data), Value(MIMEType), Value(characterEncodingName), urlArgument(baseURL)});
}

Value WKWebView::record(const char* selector, const Arguments& arguments, const Value& url) {
    history_.write([&](History& history) {
        history.loads.push_back({selector, arguments});
        if (auto text = url.asString()) history.url = URL::parse(*text);
    });
    return Value(ObjectPtr(std::make_shared<WKNavigation>()));
}

std::vector<WKWebView::Load> WKWebView::loads() const { return history_.get(&History::loads); }

std::optional<URL> WKWebView::url() const { return history_.get(&History::url); }

// Each implementation takes the URL the load names from its own argument position.
void WKWebView::registerMethods(Class& cls) {
    struct Entry {
        const char* selector;
        const char* types;
        int urlArgument;  // -1: the request object's URL
    };
    static const Entry entries[] = {
        {"loadRequest:", "@@:@", -1},
        {"loadHTMLString:baseURL:", "@@:@@", 1},
        {"loadFileURL:allowingReadAccessToURL:", "@@:@@", 0},
        {"loadData:MIMEType:characterEncodingName:baseURL:", "@@:@@@@", 3},
    };
    for (const auto& entry : entries) {
        cls.addMethod(
            entry.selector,
            [entry](Object& self, const Arguments& arguments) -> Value {
                auto* view = dynamic_cast<WKWebView*>(&self);
                if (!view)
                    throw NSException(NSInvalidArgumentException,
                                      "-[" + self.className() + " " + entry.selector + "]: receiver is not a web view");
                Value url;
                if (entry.urlArgument >= 0) {
                    url = argumentAt(arguments, static_cast<std::size_t>(entry.urlArgument));
                } else if (auto request = argumentAt(arguments, 0).asObject<URLRequestObject>()) {
                    url = urlArgument(request->request.url());
                }
                return view->record(entry.selector, arguments, url);
            },
            entry.types);
    }
}

}  // namespace platform

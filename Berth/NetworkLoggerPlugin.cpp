// Log lines of requests and results, in the logger's entry format.
#include "Berth/NetworkLoggerPlugin.h"

#include <cstdio>
#include <sstream>

#include "platform/base/Date.h"
#include "platform/base/Fatal.h"
#include "platform/base/NoDestructor.h"
#include "platform/base/WeakCall.h"
#include "platform/foundation/TextForms.h"

namespace Berth {

using Options = NetworkLoggerPlugin::Configuration::LogOptions;

NetworkLoggerPlugin::Configuration::Formatter::Formatter(EntryFormatter entry, DataFormatter requestData,
                                                         DataFormatter responseData)
    : entry(entry ? std::move(entry) : EntryFormatter(defaultEntryFormatter)),
      requestData(requestData ? std::move(requestData) : DataFormatter(defaultDataFormatter)),
      responseData(responseData ? std::move(responseData) : DataFormatter(defaultDataFormatter)) {}

NetworkLoggerPlugin::Configuration::Configuration(Formatter formatter, OutputType output, LogOptions logOptions)
    : formatter(std::move(formatter)), output(output ? std::move(output) : OutputType(defaultOutput)),
      logOptions(logOptions) {}

void NetworkLoggerPlugin::Configuration::defaultOutput(const TargetType&, const std::vector<std::string>& items) {
    for (const auto& item : items) {
        // One write per line, so lines from several threads do not interleave.
        std::string line = item + "\n";
        std::fwrite(line.data(), 1, line.size(), stdout);
    }
    std::fflush(stdout);
}

const platform::DateFormatter& NetworkLoggerPlugin::defaultEntryDateFormatter() {
    // Never destroyed: a provider's queue may still log while the process exits.
    static const platform::NoDestructor<platform::DateFormatter> formatter([] {
        platform::DateFormatter f;
        f.setDateStyle(platform::DateFormatter::Style::shortStyle);
        f.setTimeStyle(platform::DateFormatter::Style::shortStyle);
        return f;
    }());
    return *formatter;
}

std::string NetworkLoggerPlugin::defaultEntryFormatter(const std::string& identifier, const std::string& message,
                                                       const TargetType&) {
    return "Berth_Logger: [" + defaultEntryDateFormatter().string(platform::Date::now()) + "] " + identifier + ": " +
           message;
}

std::string NetworkLoggerPlugin::defaultDataFormatter(const platform::Data& data) {
    return data.utf8String().value_or("## Cannot map data to String ##");
}

NetworkLoggerPlugin::Configuration NetworkLoggerPlugin::configuration() const { return configuration_.get(); }

void NetworkLoggerPlugin::setConfiguration(Configuration configuration) {
    configuration_.set(std::move(configuration));
}

namespace {
std::string address(const void* p) {
    std::ostringstream out;
    out << p;
    return out.str();
}

std::string responseText(const platform::HTTPURLResponse& r) {
    return "{ URL: " + (r.url() ? r.url()->absoluteString() : std::string("nil")) +
           " } { Status Code: " + std::to_string(r.statusCode()) + ", Headers " +
           platform::describing(r.allHeaderFields()) + " }";
}
}  // namespace

void NetworkLoggerPlugin::willSend(const RequestType& request, const TargetType& target) {
    Configuration config = configuration();
    if (config.logOptions.contains(Options::formatRequestAscURL)) {
        // The text arrives later, once the client has made the URL request.
        std::shared_ptr<const TargetType> keptTarget = target.weak_from_this().lock();
        platform::precondition(keptTarget != nullptr, "A target handed to plugins must be held by a shared pointer.");
        request.cURLDescription(
            platform::weakCall(weak_from_this(), [keptTarget](NetworkLoggerPlugin& self, const std::string& cURL) {
                Configuration current = self.configuration();
                current.output(*keptTarget, {current.formatter.entry("Request", cURL, *keptTarget)});
            }));
        return;
    }
    config.output(target, logNetworkRequest(request, target));
}

std::vector<std::string> NetworkLoggerPlugin::logNetworkRequest(const RequestType& request,
                                                                const TargetType& target) const {
    Configuration config = configuration();
    auto entry = [&](const std::string& identifier, const std::string& message) {
        return config.formatter.entry(identifier, message, target);
    };
    auto urlRequest = request.request();
    if (!urlRequest) return {entry("Request", "(invalid request)")};

    std::vector<std::string> lines{
        entry("Request", urlRequest->url() ? urlRequest->url()->absoluteString() : std::string("url: nil"))};
    if (config.logOptions.contains(Options::requestHeaders)) {
        auto merged = request.sessionHeaders();
        for (const auto& [name, value] :
             urlRequest->allHTTPHeaderFields().value_or(std::map<std::string, std::string>{}))
            merged[name] = value;
        lines.push_back(entry("Request Headers", platform::describing(merged)));
    }
    if (config.logOptions.contains(Options::requestBody)) {
        if (urlRequest->httpBodyStream())
            lines.push_back(
                entry("Request Body Stream", "<InputStream: " + address(urlRequest->httpBodyStream().get()) + ">"));
        if (urlRequest->httpBody())
            lines.push_back(entry("Request Body", config.formatter.requestData(*urlRequest->httpBody())));
    }
    // The method the request is sent with: GET when none was set.
    if (config.logOptions.contains(Options::requestMethod))
        lines.push_back(entry("HTTP Request Method", urlRequest->httpMethod()));
    return lines;
}

std::vector<std::string> NetworkLoggerPlugin::logNetworkResponse(const Response& response, const TargetType& target,
                                                                 bool isFromError) const {
    Configuration config = configuration();
    std::vector<std::string> lines;
    if (response.response)
        lines.push_back(config.formatter.entry("Response", responseText(*response.response), target));
    else
        lines.push_back(config.formatter.entry(
            "Response", "Received empty network response for " + target.description() + ".", target));
    if ((isFromError && config.logOptions.contains(Options::errorResponseBody)) ||
        config.logOptions.contains(Options::successResponseBody))
        lines.push_back(config.formatter.entry("Response Body", config.formatter.responseData(response.data), target));
    return lines;
}

std::vector<std::string> NetworkLoggerPlugin::logNetworkError(const BerthError& error, const TargetType& target) const {
    if (auto response = error.response()) return logNetworkResponse(*response, target, true);
    Configuration config = configuration();
    return {config.formatter.entry("Error", "Error calling " + target.description() + " : " + error.debugDescription(),
                                   target)};
}

void NetworkLoggerPlugin::didReceive(const BerthResult& result, const TargetType& target) {
    auto lines = result.isSuccess() ? logNetworkResponse(*result.value(), target, false)
                                    : logNetworkError(result.error(), target);
    configuration().output(target, lines);
}

}  // namespace Berth

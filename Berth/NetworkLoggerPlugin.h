// A plugin that turns each outgoing request and each result into log lines and hands
// them to an output closure; what is logged is an option set, and how lines and bodies
// look are replaceable closures.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Berth/Plugin.h"
#include "platform/base/OptionSet.h"
#include "platform/base/Protected.h"
#include "platform/foundation/DateFormatter.h"

namespace Berth {

class NetworkLoggerPlugin : public PluginType, public std::enable_shared_from_this<NetworkLoggerPlugin> {
public:
    struct Configuration {
        struct LogOptions : platform::OptionSet<LogOptions, std::int64_t> {
            using OptionSet::OptionSet;
            constexpr LogOptions(OptionSet o) : OptionSet(o) {}
            static const LogOptions requestMethod, requestBody, requestHeaders, formatRequestAscURL,
                successResponseBody, errorResponseBody, default_, verbose;
        };
        struct Formatter {
            using EntryFormatter = std::function<std::string(const std::string& identifier, const std::string& message,
                                                             const TargetType&)>;
            using DataFormatter = std::function<std::string(const platform::Data&)>;
            EntryFormatter entry;
            DataFormatter requestData;
            DataFormatter responseData;
            Formatter(EntryFormatter entry = nullptr, DataFormatter requestData = nullptr,
                      DataFormatter responseData = nullptr);
        };
        using OutputType = std::function<void(const TargetType& target, const std::vector<std::string>& items)>;

        Formatter formatter;
        OutputType output;
        LogOptions logOptions;

        Configuration(Formatter formatter = Formatter(), OutputType output = nullptr,
                      LogOptions logOptions = LogOptions::default_);
        // Each item on its own line of standard output.
        static void defaultOutput(const TargetType& target, const std::vector<std::string>& items);
    };

    // "Berth_Logger: [<short date and time>] <identifier>: <message>"
    static std::string defaultEntryFormatter(const std::string& identifier, const std::string& message,
                                             const TargetType& target);
    // One formatter for every logger, made on first use: short date and time styles.
    static const platform::DateFormatter& defaultEntryDateFormatter();
    // The bytes as UTF-8 text, or "## Cannot map data to String ##".
    static std::string defaultDataFormatter(const platform::Data& data);

    explicit NetworkLoggerPlugin(Configuration configuration = Configuration())
        : configuration_(std::move(configuration)) {}

    // Read and replaced as a whole; a lock keeps a replacement from tearing a read.
    Configuration configuration() const;
    void setConfiguration(Configuration configuration);

    void willSend(const RequestType& request, const TargetType& target) override;
    void didReceive(const BerthResult& result, const TargetType& target) override;

    // The lines of a request and of a response (exposed for their callers' tests).
    std::vector<std::string> logNetworkRequest(const RequestType& request, const TargetType& target) const;
    std::vector<std::string> logNetworkResponse(const Response& response, const TargetType& target,
                                                bool isFromError) const;
    std::vector<std::string> logNetworkError(const BerthError& error, const TargetType& target) const;

private:
    platform::Protected<Configuration> configuration_;
};

inline constexpr NetworkLoggerPlugin::Configuration::LogOptions
    NetworkLoggerPlugin::Configuration::LogOptions::requestMethod{1};
inline constexpr NetworkLoggerPlugin::Configuration::LogOptions
    NetworkLoggerPlugin::Configuration::LogOptions::requestBody{2};
inline constexpr NetworkLoggerPlugin::Configuration::LogOptions
    NetworkLoggerPlugin::Configuration::LogOptions::requestHeaders{4};
inline constexpr NetworkLoggerPlugin::Configuration::LogOptions
    NetworkLoggerPlugin::Configuration::LogOptions::formatRequestAscURL{8};
inline constexpr NetworkLoggerPlugin::Configuration::LogOptions
    NetworkLoggerPlugin::Configuration::LogOptions::successResponseBody{16};
inline constexpr NetworkLoggerPlugin::Configuration::LogOptions
    NetworkLoggerPlugin::Configuration::LogOptions::errorResponseBody{32};
inline constexpr NetworkLoggerPlugin::Configuration::LogOptions
    NetworkLoggerPlugin::Configuration::LogOptions::default_{5};
inline constexpr NetworkLoggerPlugin::Configuration::LogOptions NetworkLoggerPlugin::Configuration::LogOptions::verbose{
    55};

}  // namespace Berth

// Character-set names go through the system converter's table, aliases included.
#include "Pledge/String+URLResponse.h"

namespace Pledge {

platform::StringEncoding textEncoding(const platform::URLResponse* response) {
    if (response && response->textEncodingName()) {
        if (auto named = platform::StringEncoding::fromCharsetName(*response->textEncodingName())) return *named;
    }
    return platform::StringEncoding::utf8();
}

std::optional<std::string> stringWithData(const platform::Data& data, const platform::URLResponse& urlResponse) {
    return textEncoding(&urlResponse).decode(data);
}

}  // namespace Pledge

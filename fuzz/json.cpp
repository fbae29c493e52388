// Fuzz target: the JSON reader (server answers, stored JSON). What it reads is written
// back and read again, which must give the same value.
#include "fuzz/FuzzTarget.h"
#include "platform/foundation/JSONSerialization.h"

using namespace platform;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto read = JSONSerialization::jsonObject(fuzzText(data, size), JSONReadingOptions::fragmentsAllowed);
    if (!read.isSuccess()) return 0;
    const JSONWritingOptions compact = JSONWritingOptions::fragmentsAllowed;
    const JSONWritingOptions pretty = compact | JSONWritingOptions::prettyPrinted;
    for (JSONWritingOptions options : {compact, pretty}) {
        auto written = JSONSerialization::string(read.value(), options);
        fuzzCheck(written.isSuccess(), "what the reader gave cannot be written");
        auto again = JSONSerialization::jsonObject(written.value(), JSONReadingOptions::fragmentsAllowed);
        fuzzCheck(again.isSuccess() && fuzzSameValue(again.value(), read.value()), "the round trip changed the value");
    }
    return 0;
}

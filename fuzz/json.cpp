// Fuzz target: the JSON reader (server answers, stored JSON), and writing back what it read.
#include "fuzz/FuzzTarget.h"
#include "platform/foundation/JSONSerialization.h"

using namespace platform;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto read = JSONSerialization::jsonObject(fuzzText(data, size), JSONReadingOptions::fragmentsAllowed);
    if (read.isSuccess()) {
        (void)JSONSerialization::string(read.value(), JSONWritingOptions::fragmentsAllowed);
        (void)JSONSerialization::data(read.value(),
                                      JSONWritingOptions::prettyPrinted | JSONWritingOptions::fragmentsAllowed);
    }
    return 0;
}

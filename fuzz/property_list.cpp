// Fuzz target: the property-list reader (XML and binary) and the keyed-archive reader
// that the stores use. What each reads is written back in the form it came in and read
// again, which must give the same value.
#include "fuzz/FuzzTarget.h"
#include "platform/foundation/NSKeyedArchiver.h"
#include "platform/foundation/PlistPrescan.h"
#include "platform/foundation/PropertyListSerialization.h"

using namespace platform;

namespace {

// A binary list of a few hundred bytes may share its way to the two million values or the
// 32 MiB of values the reader takes, and an archive, whose references the list's own limits
// do not see, to the 20 MiB its reader takes; reading, writing and reading back so much takes
// seconds and hundreds of MB under the sanitizers, so such lists are left to the unit tests
// and only their refusal past the reader's limits is fuzzed here, and archives are read at
// these smaller limits. Every real list stays far below them.
constexpr PlistLimits kMostFuzzed{kMaxPlistNesting, 1u << 16, 4u << 20};

bool tooSlowToFuzz(std::string_view bytes) {
    return !plistExceedsLimits(bytes, PlistLimits{}) && plistExceedsLimits(bytes, kMostFuzzed);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (tooSlowToFuzz(fuzzText(data, size))) return 0;
    const Data bytes(data, size);
    PropertyListFormat format = PropertyListFormat::xml;
    auto read = PropertyListSerialization::propertyList(bytes, &format);
    if (read.isSuccess()) {
        auto written = PropertyListSerialization::data(read.value(), format);
        fuzzCheck(written.isSuccess(), "what the reader gave cannot be written");
        auto again = PropertyListSerialization::propertyList(written.value());
        fuzzCheck(again.isSuccess() && fuzzSameValue(again.value(), read.value()), "the round trip changed the value");
        (void)PropertyListSerialization::data(
            read.value(), format == PropertyListFormat::xml ? PropertyListFormat::binary : PropertyListFormat::xml);
    }
    auto unarchived = NSKeyedUnarchiver::unarchivedObject(bytes, kMostFuzzed);
    if (unarchived.isSuccess()) {
        auto archived = NSKeyedArchiver::archivedData(unarchived.value(), kMostFuzzed);
        if (archived.isSuccess()) {
            auto again = NSKeyedUnarchiver::unarchivedObject(archived.value(), kMostFuzzed);
            fuzzCheck(again.isSuccess() && fuzzSameValue(again.value(), unarchived.value()),
                      "the archive round trip changed the value");
        }
    }
    return 0;
}

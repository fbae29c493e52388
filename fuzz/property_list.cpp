// Fuzz target: the property-list reader (XML and binary) and the keyed-archive reader
// that the stores use, and writing back what was read.
#include "fuzz/FuzzTarget.h"
#include "platform/foundation/NSKeyedArchiver.h"
#include "platform/foundation/PropertyListSerialization.h"

using namespace platform;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Data bytes(data, size);
    auto read = PropertyListSerialization::propertyList(bytes);
    if (read.isSuccess()) {
        (void)PropertyListSerialization::data(read.value(), PropertyListFormat::xml);
        (void)PropertyListSerialization::data(read.value(), PropertyListFormat::binary);
    }
    auto unarchived = NSKeyedUnarchiver::unarchivedObject(bytes);
    if (unarchived.isSuccess()) (void)NSKeyedArchiver::archivedData(unarchived.value());
    return 0;
}

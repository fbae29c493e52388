// Keyed archives: Python's plistlib reads the object graph we write, values round-trip,
// and damaged or foreign archives are clear errors.
#include <gtest/gtest.h>

#include "platform/foundation/NSKeyedArchiver.h"
#include "platform/foundation/PropertyListSerialization.h"
#include "tests/support/TempDir.h"

using namespace platform;
using testing_support::TempDir;

namespace {

Value archiveSample() {
    Value::Set set;
    set.insert(Value("b"));
    set.insert(Value("a"));
    return Value(Value::Dictionary{
        {"int", Value(-5)},
        {"real", Value(2.5)},
        {"yes", Value(true)},
        {"text", Value("zh \xE4\xB8\xAD")},
        {"none", Value()},
        {"data", Value(Data::fromString(std::string("\x00\x01\xFF", 3)))},
        {"when", Value(Date{721692800.25})},
        {"list", Value(Value::Array{Value(1), Value("two"), Value(Value::Array{})})},
        {"set", Value(set)},
    });
}

// Resolves the archive's references in Python and prints the graph as sorted JSON.
std::string pythonResolves(const std::filesystem::path& file) {
    int status = -1;
    std::string out = testing_support::runCommand(
        "python3 -c \"import plistlib,sys,json\n"
        "a = plistlib.load(open(sys.argv[1], 'rb'))\n"
        "assert a['\\$archiver'] == 'NSKeyedArchiver' and a['\\$version'] == 100000\n"
        "objs = a['\\$objects']\n"
        "assert objs[0] == '\\$null'\n"
        "def r(u):\n"
        "    assert isinstance(u, plistlib.UID)\n"
        "    if u.data == 0: return None\n"
        "    o = objs[u.data]\n"
        "    if isinstance(o, bytes): return 'data:' + o.hex()\n"
        "    if not isinstance(o, dict): return o\n"
        "    c = objs[o['\\$class'].data]\n"
        "    assert c['\\$classes'][-1] == 'NSObject'\n"
        "    n = c['\\$classname']\n"
        "    if n == 'NSDictionary': return {r(k): r(v) for k, v in zip(o['NS.keys'], o['NS.objects'])}\n"
        "    if n == 'NSArray': return [r(x) for x in o['NS.objects']]\n"
        "    if n == 'NSSet': return {'set': sorted(r(x) for x in o['NS.objects'])}\n"
        "    if n == 'NSDate': return {'time': o['NS.time']}\n"
        "    raise Exception(n)\n"
        "print(json.dumps(r(a['\\$top']['root']), sort_keys=True))\" " +
            file.string(),
        &status);
    EXPECT_EQ(status, 0) << out;
    return out;
}

}  // namespace

TEST(NSKeyedArchiverTest, PythonReadsTheObjectGraphAndValuesRoundTrip) {
    TempDir dir;
    auto data = NSKeyedArchiver::archivedData(archiveSample()).value();
    ASSERT_EQ(data.toString().substr(0, 8), "bplist00");
    testing_support::writeFile(dir / "a.archive", data.toString());
    EXPECT_EQ(pythonResolves(dir / "a.archive"),
              "{\"data\": \"data:0001ff\", \"int\": -5, \"list\": [1, \"two\", []], \"none\": null, \"real\": 2.5, "
              "\"set\": {\"set\": [\"a\", \"b\"]}, \"text\": \"zh \\u4e2d\", \"when\": {\"time\": 721692800.25}, "
              "\"yes\": true}\n");
    EXPECT_EQ(NSKeyedUnarchiver::unarchivedObject(data).value(), archiveSample());
    for (const Value& scalar : {Value("just text"), Value(7), Value(), Value(Date{1.5})})
        EXPECT_EQ(NSKeyedUnarchiver::unarchivedObject(NSKeyedArchiver::archivedData(scalar).value()).value(), scalar);
}

TEST(NSKeyedArchiverTest, RefusesWhatItCannotHoldAndReadsDamagedArchivesAsErrors) {
    auto object = NSKeyedArchiver::archivedData(Value(Value::Array{Value(18446744073709551615ULL)}));
    ASSERT_FALSE(object.isSuccess());
    EXPECT_EQ(object.error()->code(), NSCoderInvalidValueError);

    auto plist = [](const Value& v) { return PropertyListSerialization::data(v, PropertyListFormat::binary).value(); };
    Value::Dictionary foreignClass{{"$class", Value("not a reference")}};
    const Data damaged[] = {
        Data(),
        Data::fromString("bplist00 and then nothing"),
        plist(Value(Value::Array{Value(1)})),                                  // not a dictionary
        plist(Value(Value::Dictionary{{"$objects", Value(Value::Array{})}})),  // no $top
        plist(Value(Value::Dictionary{{"$top", Value(Value::Dictionary{{"root", Value(1)}})},
                                      {"$objects", Value(Value::Array{Value("$null"), Value(foreignClass)})}})),
    };
    for (const auto& data : damaged) {
        auto read = NSKeyedUnarchiver::unarchivedObject(data);
        ASSERT_FALSE(read.isSuccess());
        EXPECT_EQ(read.error()->code(), NSCoderReadCorruptError);
    }
}

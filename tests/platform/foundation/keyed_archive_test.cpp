// Keyed archives: Python's plistlib reads the object graph we write, values round-trip,
// and damaged or foreign archives are clear errors.
#include <gtest/gtest.h>

#include "platform/foundation/NSKeyedArchiver.h"
#include "platform/foundation/PropertyListSerialization.h"
#include "tests/support/BinaryPlists.h"
#include "tests/support/PlistLookups.h"
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

// A keyed archive written byte by byte, so that tests can give readers archives no writer
// of ours makes. "$objects" holds "$null", the class NSArray, then what `objects` adds.
class ArchiveBytes {
public:
    // `classPadding` keys stand in NSArray's class description before its name.
    explicit ArchiveBytes(std::uint32_t classPadding = 0)
        : objects_(1), classKey_(text("$class")), arrayClass_(uid(1)), members_(text("NS.objects")) {
        auto description = padding(classPadding);
        description.emplace_back(text("$classname"), text("NSArray"));
        archived_ = {text("$null"), add(dict(description))};
    }
    std::uint32_t add(std::string object) {
        objects_.push_back(std::move(object));
        return static_cast<std::uint32_t>(objects_.size() - 1);
    }
    std::uint32_t text(const std::string& s) { return add(static_cast<char>(0x50 + s.size()) + s); }  // under 15
    std::uint32_t uid(std::uint32_t n) { return add("\x83" + testing_support::bigEndian(n, 4)); }
    void set(std::uint32_t at, std::string object) { objects_[at] = std::move(object); }
    // Puts the object `at` into "$objects"; its UID.
    std::uint32_t archive(std::uint32_t at) {
        archived_.push_back(at);
        return static_cast<std::uint32_t>(archived_.size() - 1);
    }
    // Puts an NSArray whose members are the list object `list` into "$objects"; its UID.
    // `objectPadding` keys stand before its members and class.
    std::uint32_t archiveArray(std::uint32_t list, std::uint32_t objectPadding = 0) {
        auto entries = padding(objectPadding);
        entries.emplace_back(members_, list);
        entries.emplace_back(classKey_, arrayClass_);
        return archive(add(dict(entries)));
    }
    // The list, with "$objects"[2] as the root and `padded` under a key of its own.
    std::string bytes(std::uint32_t padded) {
        const std::uint32_t top = add(dict({{text("root"), uid(2)}}));
        const std::uint32_t archived = add(testing_support::binaryArrayOf(archived_));
        objects_[0] = dict({{text("$top"), top}, {text("$objects"), archived}, {text("padding"), padded}});
        return testing_support::binaryPlist(objects_);
    }

private:
    using Entries = std::vector<std::pair<std::uint32_t, std::uint32_t>>;
    // `count` entries of keys no class reads ("pad0", "pad1" …), all holding one Boolean.
    Entries padding(std::uint32_t count) {
        Entries entries;
        if (count == 0) return entries;
        const std::uint32_t value = add("\x09");
        for (std::uint32_t i = 0; i < count; ++i) entries.emplace_back(text("pad" + std::to_string(i)), value);
        return entries;
    }
    static std::string dict(const Entries& entries) {
        std::string object = entries.size() < 15 ? std::string(1, static_cast<char>(0xD0 + entries.size()))
                                                 : "\xDF\x13" + testing_support::bigEndian(entries.size(), 8);
        for (const auto& entry : entries) object += testing_support::bigEndian(entry.first, 4);
        for (const auto& entry : entries) object += testing_support::bigEndian(entry.second, 4);
        return object;
    }
    std::vector<std::string> objects_;  // the first, the top, is set last
    std::vector<std::uint32_t> archived_;
    std::uint32_t classKey_, arrayClass_, members_;
};

// An archive whose root is an NSArray holding `fan` references to the next NSArray, `levels`
// deep (the deepest empty): fan^levels values in a few hundred bytes. Beside "$top" and
// "$objects" it holds 1 + 1,000 * `padding` more values: an array referring `padding` times
// to one array of 999 Booleans.
std::string sharingArchive(int levels, int fan, std::uint64_t padding) {
    using testing_support::binaryArray;
    ArchiveBytes archive;
    for (int level = 0; level < levels; ++level)
        archive.archiveArray(
            archive.add(level + 1 < levels ? binaryArray(fan, archive.uid(3 + level)) : binaryArray(0, 0)));
    return archive.bytes(archive.add(binaryArray(padding, archive.add(binaryArray(999, archive.add("\x09"))))));
}

// An archive whose root is an NSArray of `count` strings, each its own object.
std::string longArchive(std::uint32_t count) {
    ArchiveBytes archive;
    const std::uint32_t list = archive.add("");  // set once the strings are in
    std::vector<std::uint32_t> references;
    archive.archiveArray(list);
    for (std::uint32_t i = 0; i < count; ++i)
        references.push_back(archive.uid(archive.archive(archive.text(std::to_string(i)))));
    archive.set(list, testing_support::binaryArrayOf(references));
    return archive.bytes(archive.add(testing_support::binaryArray(0, 0)));
}

// The limits of a reader of archives far larger than the analytics store's.
constexpr PlistLimits kLargeArchives{kMaxPlistNesting, 1u << 18, 64u << 20};

// An archive whose root is an NSArray referring `refs` times to one string of `bytes` bytes.
std::string sharedStringArchive(std::uint32_t refs, std::uint64_t bytes) {
    ArchiveBytes archive;
    const std::uint32_t list = archive.add("");  // set once the string is in
    archive.archiveArray(list);
    const std::uint32_t text = archive.archive(archive.add(testing_support::binaryBlob(0x50, bytes)));
    archive.set(list, testing_support::binaryArray(refs, archive.uid(text)));
    return archive.bytes(archive.add(testing_support::binaryArray(0, 0)));
}

// An archive whose root is an NSArray referring `refs` times to one empty NSArray, which
// holds `padding` keys before its members and class.
std::string sharedPaddedObjectArchive(std::uint32_t refs, std::uint32_t padding) {
    ArchiveBytes archive;
    const std::uint32_t list = archive.add("");  // set once the shared object is in
    archive.archiveArray(list);
    const std::uint32_t shared = archive.archiveArray(archive.add(testing_support::binaryArray(0, 0)), padding);
    archive.set(list, testing_support::binaryArray(refs, archive.uid(shared)));
    return archive.bytes(archive.add(testing_support::binaryArray(0, 0)));
}

// An archive whose root is an NSArray of `count` empty NSArrays, their class description
// holding `padding` keys before its name.
std::string paddedClassArchive(std::uint32_t count, std::uint32_t padding) {
    ArchiveBytes archive(padding);
    const std::uint32_t list = archive.add("");  // set once the members are in
    archive.archiveArray(list);
    const std::uint32_t empty = archive.add(testing_support::binaryArray(0, 0));
    std::vector<std::uint32_t> members;
    for (std::uint32_t i = 0; i < count; ++i) members.push_back(archive.uid(archive.archiveArray(empty)));
    archive.set(list, testing_support::binaryArrayOf(members));
    return archive.bytes(archive.add(testing_support::binaryArray(0, 0)));
}

// What the analytics store's earlier reader took: 262,144 property-list objects and 20 MiB.
constexpr PlistLimits kEarlierReader{kMaxPlistNesting, 1u << 18, 20u << 20};

// A dictionary of `count` entries "key<n>": n.
Value numberedDictionary(std::uint32_t count) {
    Value::Dictionary entries;
    for (std::uint32_t i = 0; i < count; ++i) entries["key" + std::to_string(i)] = Value(i);
    return Value(std::move(entries));
}

Value datedDictionary(std::uint32_t count) {
    Value::Dictionary entries;
    for (std::uint32_t i = 0; i < count; ++i) entries["key" + std::to_string(i)] = Value(Date{1.5 * i});
    return Value(std::move(entries));
}

Value numbers(std::uint32_t count) {
    Value::Array members;
    for (std::uint32_t i = 0; i < count; ++i) members.emplace_back(i);
    return Value(std::move(members));
}

// A dictionary of `count` entries holding one string of 1 MiB, which the binary writer
// stores once.
Value sharedStringDictionary(std::uint32_t count) {
    Value::Dictionary entries;
    for (std::uint32_t i = 0; i < count; ++i) entries["key" + std::to_string(i)] = Value(std::string(1u << 20, 's'));
    return Value(std::move(entries));
}

// The longest string that an archive referring `refs` times to it may hold within the
// reader's budget (the root array and each reference count besides).
std::uint64_t longestSharedString(std::uint32_t refs) {
    return (kMaxArchivedBytes - kPlistValueBytes) / refs - kPlistValueBytes;
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
    // Each is refused by the check that names it; the value and byte budgets are counted as
    // values are made and refuse at the crossing, so no read copies what the list stands for
    // (the peak below).
    const std::pair<Data, std::string> damaged[] = {
        {Data(), "not a binary property list"},
        {Data::fromString("bplist00 and then nothing"), "damaged, nested too deeply or too large"},
        {plist(Value(Value::Array{Value(1)})), "not a property list dictionary"},
        {plist(Value(Value::Dictionary{{"$objects", Value(Value::Array{})}})), "not a keyed archive"},
        {plist(Value(Value::Dictionary{{"$top", Value(Value::Dictionary{{"root", Value(1)}})},
                                       {"$objects", Value(Value::Array{Value("$null"), Value(foreignClass)})}})),
         "a member is not a reference"},
        // More values than the reader's cap of 131,072, in a few KB: the graph, whose arrays
        // each refer twice to the next, stands for 2 million (30 levels would stand for 2
        // billion); the list itself holds 300,000 objects under a key of its own.
        {Data::fromString(sharingArchive(20, 2, 0)), "more than 131072 values"},
        {Data::fromString(sharingArchive(1, 1, 300)), "damaged, nested too deeply or too large"},
        // Values of more bytes than the reader's 20 MiB budget: one string, referred to in the
        // graph at each use, was copied each time (1.8 MB: a 1 MiB string 200,000 times stands
        // for 200 GB, and ended the reading process; 20,000 times, within the value cap, 20 GB).
        {Data::fromString(sharedStringArchive(200000, 1u << 20)), "values of more than 21037056 bytes"},
        {Data::fromString(sharedStringArchive(20000, 1u << 20)), "values of more than 21037056 bytes"},
        {Data::fromString(sharedStringArchive(16, longestSharedString(16) + 1)), "values of more than 21037056 bytes"},
    };
    for (const auto& [data, why] : damaged) {
        SCOPED_TRACE(why);
        auto read = NSKeyedUnarchiver::unarchivedObject(data);
        ASSERT_FALSE(read.isSuccess());
        EXPECT_EQ(read.error()->code(), NSCoderReadCorruptError);
        EXPECT_EQ(read.error()->userInfo().at(NSDebugDescriptionErrorKey), Value(why));
    }
    EXPECT_LT(testing_support::peakResidentBytes(), 1u << 30);
    // Within the limits the same shapes are read: 2,047 arrays and 200,001 values beside them
    // by a reader that takes 262,144, and 16 references to a string at the budget.
    auto read = NSKeyedUnarchiver::unarchivedObject(Data::fromString(sharingArchive(11, 2, 200)), kLargeArchives);
    ASSERT_TRUE(read.isSuccess()) << read.error()->debugDescription();
    EXPECT_EQ(read.value().asArray()->size(), 2u);
    read = NSKeyedUnarchiver::unarchivedObject(Data::fromString(sharedStringArchive(16, longestSharedString(16))));
    ASSERT_TRUE(read.isSuccess()) << read.error()->debugDescription();
    EXPECT_EQ(read.value(), Value(Value::Array(16, Value(std::string(longestSharedString(16), 'x')))));
}

TEST(NSKeyedArchiverTest, ALongArchiveIsReadInLinearTime) {
    // "$objects" was reached by index in the library, which steps from the first item each
    // time, so reading took time in the square of the archive's length (120,000 strings:
    // 40 s, some 14 billion of the library's steps). Each array is walked once and each
    // object decoded once.
    const Data large = Data::fromString(longArchive(120000));
    const std::uint64_t stepsBefore = testing_support::plistItemsSteppedByIndex();
    auto read = NSKeyedUnarchiver::unarchivedObject(large, kLargeArchives);
    ASSERT_TRUE(read.isSuccess()) << read.error()->debugDescription();
    EXPECT_LE(testing_support::plistItemsSteppedByIndex() - stepsBefore, 2u * 120000);
    EXPECT_EQ(detail::archiveObjectsDecodedByLastRead(), 120000u + 2);  // the strings, the root and its class
    ASSERT_EQ(read.value().asArray()->size(), 120000u);
    EXPECT_EQ(read.value().asArray()->back(), Value("119999"));
}

TEST(NSKeyedArchiverTest, EachObjectIsDecodedOnceHoweverOftenItIsReferredTo) {
    // Each reference decoded its object again, looking its class and members up among
    // thousands of keys that no class reads: such an archive within the limits took 4.7 s.
    struct Case {
        const char* name;
        std::string archive;
        std::uint64_t objects;  // in "$objects", reached from the root
    } cases[] = {
        {"an object of 3,000 keys referred to 2,000 times", sharedPaddedObjectArchive(2000, 3000), 3},
        {"2,000 objects of a class of 3,000 keys", paddedClassArchive(2000, 3000), 2002},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto read = NSKeyedUnarchiver::unarchivedObject(Data::fromString(c.archive));
        ASSERT_TRUE(read.isSuccess()) << read.error()->debugDescription();
        EXPECT_EQ(read.value(), Value(Value::Array(2000, Value(Value::Array{}))));
        EXPECT_EQ(detail::archiveObjectsDecodedByLastRead(), c.objects);
    }
    // An object that holds itself is still refused, whatever was decoded before it.
    ArchiveBytes cycle;
    const std::uint32_t list = cycle.add("");
    cycle.archiveArray(list);
    cycle.set(list, testing_support::binaryArray(3, cycle.uid(2)));
    auto read = NSKeyedUnarchiver::unarchivedObject(
        Data::fromString(cycle.bytes(cycle.add(testing_support::binaryArray(0, 0)))));
    ASSERT_FALSE(read.isSuccess());
    EXPECT_EQ(read.error()->userInfo().at(NSDebugDescriptionErrorKey), Value("the object graph has a cycle"));
}

TEST(NSKeyedArchiverTest, WhatTheEarlierReaderTookIsReadAndTheWriterWritesOnlyWhatItsReaderTakes) {
    // The earlier reader counted 262,144 property-list objects, about four a dictionary
    // entry; its successor counted 65,536 of them, so a stored dictionary of 16,383 entries
    // read as no archive and the next write replaced it. The limit counts stored values now,
    // and the writer refuses what its reader would.
    struct Case {
        const char* name;
        Value value;
        bool earlierRead;  // by the earlier reader, as the writer wrote it then
        bool read;         // now; written only then
    };
    const Case cases[] = {
        {"a dictionary of 16,383 entries", numberedDictionary(16383), true, true},
        {"a dictionary of 65,536 entries", numberedDictionary(65536), false, true},
        {"an array of 131,000 numbers", numbers(131000), true, true},
        {"19 entries holding one string of 1 MiB", sharedStringDictionary(19), true, true},
        {"a dictionary of 33,000 dates", datedDictionary(33000), false, false},  // 8 list objects an entry
        {"an array of 131,072 numbers", numbers(131072), false, false},
        {"21 entries holding one string of 1 MiB", sharedStringDictionary(21), false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto written = NSKeyedArchiver::archivedData(c.value, kLargeArchives);
        ASSERT_TRUE(written.isSuccess());
        const std::string_view bytes(reinterpret_cast<const char*>(written.value().data()), written.value().count());
        EXPECT_EQ(!plistExceedsLimits(bytes, kEarlierReader), c.earlierRead);
        auto read = NSKeyedUnarchiver::unarchivedObject(written.value());
        ASSERT_EQ(read.isSuccess(), c.read);
        if (c.read) {
            EXPECT_EQ(read.value(), c.value);
            continue;
        }
        auto refused = NSKeyedArchiver::archivedData(c.value);
        ASSERT_FALSE(refused.isSuccess());
        EXPECT_EQ(refused.error()->code(), NSCoderInvalidValueError);
    }
    EXPECT_LT(testing_support::peakResidentBytes(), 1u << 30);
}

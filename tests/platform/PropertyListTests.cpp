#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>

#include "RunTool.h"
#include "platform/BinaryPropertyListBuilder.h"
#include "platform/BinaryPropertyListReader.h"
#include "platform/CocoaError.h"
#include "platform/PropertyList.h"
#include "support/TempRoot.h"

using namespace vozi::platform;
using vozi::test::TempRoot;

namespace {

constexpr std::uint64_t kHugeSize = 18446744073709551000ull;  // above INT64_MAX

Value sampleDocument() {
  Value::Dictionary inner{
      {"size", Value(kHugeSize)},
      {"smallUnsigned", Value(std::uint64_t{42})},
      {"offset", Value(std::int64_t{-9223372036854775807LL - 1})},
      {"max", Value(std::numeric_limits<std::int64_t>::max())},
      {"ratio", Value(0.1)},
      {"whole", Value(5.0)},
      {"flag", Value(false)},
      {"blob", Value(Data{0x00, 0xFF, 0x10, 0x3C})},
      {"empty", Value(Data{})},
      {"when", Value(Date(700000000.0))},
      {"name", Value("Caches <&> \"quoted\" — naïve ✓")},
      {"blank", Value("")},
  };
  return Value(Value::Dictionary{
      {"inner", Value(inner)},
      {"list", Value(Value::Array{Value(1), Value("two"), Value(Value::Array{}), Value(Value::Dictionary{}),
                                  Value(Value::Array{Value(true), Value(-3.25)})})},
      {"ref", Value::uid(7)},
  });
}

// Builds a binary property list from raw object encodings.
std::string bplist(const std::vector<std::string>& objects, std::uint8_t refSize = 1, std::uint64_t top = 0,
                   std::uint64_t declaredCount = 0) {
  std::string out = "bplist00";
  std::vector<std::uint64_t> offsets;
  for (const auto& o : objects) {
    offsets.push_back(out.size());
    out += o;
  }
  const std::uint64_t table = out.size();
  for (auto off : offsets) {
    out.push_back(static_cast<char>(off >> 24));
    out.push_back(static_cast<char>(off >> 16));
    out.push_back(static_cast<char>(off >> 8));
    out.push_back(static_cast<char>(off));
  }
  std::string trailer(32, '\0');
  trailer[6] = 4;
  trailer[7] = static_cast<char>(refSize);
  const std::uint64_t count = declaredCount ? declaredCount : objects.size();
  for (int i = 0; i < 8; ++i) {
    trailer[8 + i] = static_cast<char>(count >> (8 * (7 - i)));
    trailer[16 + i] = static_cast<char>(top >> (8 * (7 - i)));
    trailer[24 + i] = static_cast<char>(table >> (8 * (7 - i)));
  }
  return out + trailer;
}

// An array object (marker 0xA0 + count) holding the given references.
std::string arrayObject(const std::vector<std::uint64_t>& refs, std::uint8_t refSize) {
  std::string out(1, static_cast<char>(0xA0 + refs.size()));
  for (auto r : refs)
    for (int i = refSize - 1; i >= 0; --i) out.push_back(static_cast<char>(r >> (8 * i)));
  return out;
}

std::string nestedXML(std::size_t levels) {
  std::string text = "<?xml version=\"1.0\"?><plist version=\"1.0\">";
  for (std::size_t i = 0; i < levels; ++i) text += "<array>";
  for (std::size_t i = 0; i < levels; ++i) text += "</array>";
  return text + "</plist>";
}

// A chain of `levels` arrays, each holding the next.
std::string nestedBinary(std::size_t levels) {
  std::vector<std::string> objects;
  for (std::size_t i = 0; i < levels; ++i)
    objects.push_back(i + 1 < levels ? arrayObject({i + 1}, 4) : arrayObject({}, 4));
  return bplist(objects, 4);
}

std::string xmlDocument(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">" + body + "</plist>";
}

}  // namespace

TEST(Value, ComparesIntegersByValueAcrossSignedness) {
  EXPECT_EQ(Value(std::uint64_t{5}), Value(std::int64_t{5}));
  EXPECT_NE(Value(std::uint64_t{18446744073709551615ull}), Value(std::int64_t{-1}));
  EXPECT_NE(Value(5), Value(5.0));
  EXPECT_NE(Value(1), Value(true));
  EXPECT_EQ(Value::uid(3).asUID(), 3u);
  EXPECT_FALSE(Value(Value::Dictionary{{"CF$UID", Value("3")}}).asUID());
}

TEST(PropertyList, NestedDocumentRoundTripsThroughBothFormatsKeepingTypes) {
  const Value original = sampleDocument();
  for (auto format : {PropertyList::Format::xml, PropertyList::Format::binary}) {
    SCOPED_TRACE(format == PropertyList::Format::xml ? "xml" : "binary");
    auto bytes = PropertyList::serialize(original, format);
    ASSERT_TRUE(bytes) << bytes.error().localizedDescription();
    PropertyList::Format detected{};
    auto back = PropertyList::fromAny(*bytes, &detected);
    ASSERT_TRUE(back) << back.error().localizedDescription();
    EXPECT_EQ(detected, format);
    EXPECT_EQ(*back, original);
    const Value& inner = *back->find("inner");
    EXPECT_TRUE(inner.find("size")->isUnsigned());
    EXPECT_EQ(inner.find("size")->asUInt64(), kHugeSize);
    EXPECT_EQ(inner.find("offset")->asInt64(), std::numeric_limits<std::int64_t>::min());
    EXPECT_TRUE(inner.find("whole")->isReal());
    EXPECT_TRUE(inner.find("when")->isDate());
    EXPECT_TRUE(inner.find("blob")->isData());
    EXPECT_TRUE(inner.find("empty")->isData());
    EXPECT_EQ(back->find("ref")->asUID(), 7u);
  }
}

TEST(PropertyList, BinaryDatesKeepTheFullDoubleAndXmlDatesWholeSeconds) {
  const double seconds[] = {0.0,           -0.5,    1e-6, 123456789.123456789, 700000000.000001,
                            -63114076800.0, // 0001-01-01, far outside 32-bit seconds
                            63113904000.0,   4102444800.25};
  for (double s : seconds) {
    SCOPED_TRACE(s);
    const Value original(Value::Array{Value(Date(s))});
    auto binary = PropertyList::toBinary(original);
    ASSERT_TRUE(binary);
    auto fromBinary = PropertyList::fromBinary(*binary);
    ASSERT_TRUE(fromBinary) << fromBinary.error().localizedDescription();
    EXPECT_EQ(fromBinary->asArray()->at(0).asDate()->timeIntervalSinceReferenceDate(), s);

    auto xml = PropertyList::toXML(original);
    ASSERT_TRUE(xml);
    auto fromXML = PropertyList::fromXML(*xml);
    ASSERT_TRUE(fromXML) << fromXML.error().localizedDescription() << *xml;
    EXPECT_EQ(fromXML->asArray()->at(0).asDate()->timeIntervalSinceReferenceDate(), std::trunc(s));
  }
}

TEST(PropertyList, RealsAndIntegerEdgesSurvive) {
  const Value original(Value::Array{Value(std::numeric_limits<double>::min()), Value(4.9e-324), Value(1e308),
                                    Value(-2.5), Value(std::numeric_limits<double>::infinity()),
                                    Value(std::uint64_t{std::numeric_limits<std::uint64_t>::max()}),
                                    Value(std::uint64_t{9223372036854775808ull}), Value(std::int64_t{-1}),
                                    Value(0)});
  for (auto format : {PropertyList::Format::xml, PropertyList::Format::binary}) {
    auto bytes = PropertyList::serialize(original, format);
    ASSERT_TRUE(bytes);
    auto back = PropertyList::fromAny(*bytes);
    ASSERT_TRUE(back) << back.error().localizedDescription();
    EXPECT_EQ(*back, original);
    EXPECT_TRUE(back->asArray()->at(6).isUnsigned());
    EXPECT_FALSE(back->asArray()->at(7).isUnsigned());
  }
  auto nan = PropertyList::toBinary(Value(Value::Array{Value(std::nan(""))}));
  ASSERT_TRUE(nan);
  EXPECT_TRUE(std::isnan(*PropertyList::fromBinary(*nan)->asArray()->at(0).asDouble()));
}

TEST(PropertyList, PlistutilReadsTheBinaryWeWrite) {
  TempRoot root;
  const std::string path = root / "/sample.plist";
  ASSERT_TRUE(PropertyList::writeFile(path, sampleDocument(), PropertyList::Format::binary));
  auto xml = vozi::test::runTool({"/usr/bin/plistutil", "-i", path, "-f", "xml"});
  ASSERT_TRUE(xml.has_value());
  EXPECT_NE(xml->find("<integer>18446744073709551000</integer>"), std::string::npos) << *xml;
  EXPECT_NE(xml->find("<integer>-9223372036854775808</integer>"), std::string::npos);
  EXPECT_NE(xml->find("<key>name</key>"), std::string::npos);
  EXPECT_NE(xml->find("Caches &lt;&amp;&gt;"), std::string::npos);
  EXPECT_NE(xml->find("<real>0.10000000000000001</real>"), std::string::npos);
  EXPECT_NE(xml->find("<date>2023-03-08T20:26:40Z</date>"), std::string::npos);
  EXPECT_NE(xml->find("<data>"), std::string::npos);
  // And its XML reads back as the same document.
  auto back = PropertyList::fromXML(*xml);
  ASSERT_TRUE(back) << back.error().localizedDescription();
  EXPECT_EQ(*back, sampleDocument());
}

TEST(PropertyList, MalformedInputFailsCleanly) {
  const std::string goodBinary = bplist({"\xA2\x01\x02", "\x10\x05", "\x55hello"});
  ASSERT_TRUE(PropertyList::fromBinary(goodBinary));

  // 40 arrays, each holding the next one twice: 2^40 nodes once expanded.
  std::vector<std::string> bomb;
  for (std::uint64_t i = 0; i < 40; ++i) bomb.push_back(i < 39 ? arrayObject({i + 1, i + 1}, 1) : arrayObject({}, 1));

  struct Case {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"empty", ""},
      {"garbage", "not a property list at all"},
      {"truncated binary", goodBinary.substr(0, goodBinary.size() - 5)},
      {"binary header only", "bplist00"},
      {"reference out of range", bplist({"\xA1\x07"})},
      {"top object out of range", bplist({"\x10\x01"}, 1, 3)},
      {"count past the end", bplist({std::string("\xAF\x13\x7F\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 10)})},
      {"declared object count too large", bplist({"\x10\x01"}, 1, 0, 1ull << 40)},
      {"string past the end", bplist({"\x5Fhi"})},
      {"self cycle", bplist({"\xA1\x00"})},
      {"two-object cycle", bplist({"\xA1\x01", "\xA1\x00"})},
      {"non-string key", bplist({"\xD1\x01\x01", "\x10\x01"})},
      {"shared expansion bomb", bplist(bomb)},
      {"deep binary", nestedBinary(100000)},
      {"deep XML", nestedXML(100000)},
      {"unterminated XML", "<?xml version=\"1.0\"?><plist><dict><key>a</key>"},
      {"integer garbage", xmlDocument("<integer>abc</integer>")},
      {"octal-looking integer", xmlDocument("<integer>010</integer>")},
      {"integer overflow", xmlDocument("<integer>18446744073709551616</integer>")},
      {"real garbage", xmlDocument("<real>abc</real>")},
      {"date garbage", xmlDocument("<date>yesterday</date>")},
      {"date with fraction", xmlDocument("<date>2020-01-01T00:00:00.5Z</date>")},
      {"data garbage", xmlDocument("<data>!!!</data>")},
      {"invalid UTF-8 string", xmlDocument("<string>\xFF\xFE</string>")},
      {"mismatched tags", xmlDocument("<array></dict>")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto result = PropertyList::fromAny(c.bytes);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().domain, "NSCocoaErrorDomain");
    EXPECT_EQ(result.error().code, CocoaError::propertyListReadCorrupt);
  }
}

namespace {

// Bytes written out one by one, for objects holding NUL or high bytes.
std::string raw(std::initializer_list<int> bytes) {
  std::string out;
  for (int b : bytes) out.push_back(static_cast<char>(b));
  return out;
}

}  // namespace

// Text must come out exactly as stored or not at all: a NUL, an unpaired
// surrogate or a high byte in an ASCII object would otherwise make two keys
// one, or a value another than a plain reader sees.
TEST(PropertyList, BinaryTextKeysAndReferencesAreReadExactlyOrRefused) {
  const std::string one = "\x10\x01";
  const std::string two = "\x10\x02";
  struct Case {
    const char* name;
    std::string bytes;
    const char* reason;
  } cases[] = {
      {"UTF-16 key holding U+0000", bplist({"\xD1\x01\x02", raw({0x62, 0x00, 'a', 0x00, 0x00}), one}), "NUL"},
      {"ASCII key \"name\\0\" beside \"name\"",
       bplist({"\xD2\x01\x02\x03\x04", "\x54name", raw({0x55, 'n', 'a', 'm', 'e', 0x00}), one, two}), "NUL"},
      {"ASCII key \"$class\\0\"", bplist({"\xD1\x01\x02", raw({0x57, '$', 'c', 'l', 'a', 's', 's', 0x00}), one}), "NUL"},
      {"UTF-16 string holding U+0000", bplist({raw({0x62, 0x00, 'x', 0x00, 0x00})}), "NUL"},
      {"unpaired high surrogate in a group name",
       bplist({raw({0x64, 0x00, '.', 0xD8, 0x00, 0x00, '.', 0x00, '/'})}), "surrogate"},
      {"unpaired low surrogate", bplist({raw({0x61, 0xDC, 0x00})}), "surrogate"},
      {"high surrogate at the end", bplist({raw({0x62, 0x00, 'A', 0xD8, 0x00})}), "surrogate"},
      {"keys \"A\\uD800\" and \"A\"",
       bplist({"\xD2\x01\x02\x03\x04", raw({0x62, 0x00, 'A', 0xD8, 0x00}), "\x51" "A", one, two}), "surrogate"},
      {"ASCII object with a byte above 0x7F", bplist({"\x51\xE9"}), "0x7F"},
      {"one key twice", bplist({"\xD2\x01\x02\x03\x04", "\x51k", "\x51k", one, two}), "twice"},
      {"one key object used twice", bplist({"\xD2\x01\x01\x02\x03", "\x51k", one, two}), "twice"},
      {"integer used as a key after being read as a value", bplist({"\xA2\x01\x02", one, "\xD1\x01\x01"}),
       "not a string"},
      {"reference above 2^32-1", bplist({raw({0x84, 0x01, 0x00, 0x00, 0x00, 0x00})}), "2^32-1"},
      {"integer wider than 64 bits",
       bplist({raw({0x14, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 5})}), "64 bits"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto result = PropertyList::fromBinary(c.bytes);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().code, CocoaError::propertyListReadCorrupt);
    EXPECT_NE(result.error().localizedDescription().find(c.reason), std::string::npos)
        << result.error().localizedDescription();
  }

  // What is read back is the text stored: pairs become one code point, and
  // references up to 2^32-1 round-trip.
  auto pair = PropertyList::fromBinary(bplist({raw({0x63, 0x00, 'a', 0xD8, 0x3D, 0xDE, 0x00})}));
  ASSERT_TRUE(pair) << pair.error().localizedDescription();
  EXPECT_EQ(*pair, Value("a\xF0\x9F\x98\x80"));
  const Value largest(Value::Array{Value::uid(0xFFFFFFFFull)});
  auto back = PropertyList::fromBinary(*PropertyList::toBinary(largest));
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, largest);
  EXPECT_FALSE(PropertyList::toBinary(Value(Value::Array{Value::uid(0x100000000ull)})));
}

// One long string referred to from many places is one object in the file
// but a copy at each place in the value: the reader measures the value it
// would build and refuses before building it when that is beyond the budget.
TEST(PropertyList, SharedObjectsAreMeasuredAsBuiltBeforeAnythingIsBuilt) {
  constexpr std::size_t kLength = 4000;
  auto sharedString = [&](std::uint32_t references) {
    BinaryPropertyListBuilder builder;
    const auto text = builder.string(std::string(kLength, 'x'));
    return builder.finish(builder.array(std::vector<BinaryPropertyListBuilder::Index>(references, text)));
  };
  const std::uint64_t perReference = BinaryPropertyListReader::kNodeCost + kLength;

  // 400 references: about 1.6 MB as built, within the budget of a 4.5 KB
  // input.
  const Data fits = sharedString(400);
  auto reader = BinaryPropertyListReader::open(std::string_view(reinterpret_cast<const char*>(fits.data()), fits.size()),
                                               PropertyList::kMaxDepth);
  ASSERT_TRUE(reader);
  const std::uint64_t budget = BinaryPropertyListReader::budgetFor(fits.size());
  std::uint64_t left = budget;
  auto value = reader->value(reader->topObject(), left);
  ASSERT_TRUE(value) << value.error().localizedDescription();
  EXPECT_EQ(value->asArray()->size(), 400u);
  EXPECT_EQ(budget - left, BinaryPropertyListReader::kNodeCost + 400 * perReference);

  // 20,000 references: about 81 MB from a 24 KB input. Refused, with the
  // budget untouched: nothing was built.
  const Data bomb = sharedString(20000);
  ASSERT_LT(bomb.size(), 25000u);
  reader = BinaryPropertyListReader::open(std::string_view(reinterpret_cast<const char*>(bomb.data()), bomb.size()),
                                          PropertyList::kMaxDepth);
  ASSERT_TRUE(reader);
  left = BinaryPropertyListReader::budgetFor(bomb.size());
  ASSERT_LT(left, 20000 * perReference);
  auto refused = reader->value(reader->topObject(), left);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().code, CocoaError::propertyListReadCorrupt);
  EXPECT_NE(refused.error().localizedDescription().find("more work and memory"), std::string::npos);
  EXPECT_EQ(left, BinaryPropertyListReader::budgetFor(bomb.size()));
  EXPECT_FALSE(PropertyList::fromBinary(bomb));
}

// Reading one level of a dictionary: a key held twice is refused whether
// the keys are few or many, and a cap on the entries is checked before any
// key is read.
TEST(PropertyList, DictionaryEntriesRefuseAKeyHeldTwiceAndMoreEntriesThanAsked) {
  using Index = BinaryPropertyListBuilder::Index;
  auto dictionary = [](std::size_t count, std::optional<std::pair<std::size_t, std::size_t>> same) {
    BinaryPropertyListBuilder builder;
    std::vector<Index> keys, values;
    for (std::size_t i = 0; i < count; ++i) {
      const std::size_t name = same && i == same->second ? same->first : i;
      keys.push_back(builder.string("k" + std::to_string(name)));
      values.push_back(builder.integer(static_cast<std::int64_t>(i)));
    }
    return builder.finish(builder.dictionary(keys.data(), values.data(), count));
  };
  struct Case {
    std::size_t count;
    std::optional<std::pair<std::size_t, std::size_t>> same;  // the second key repeats the first
    std::uint64_t maxEntries;
    const char* refusal;  // null: read
  } cases[] = {
      {3, std::nullopt, 3, nullptr},
      {3, std::pair<std::size_t, std::size_t>{0, 2}, 3, "\"k0\" twice"},
      {20, std::pair<std::size_t, std::size_t>{3, 15}, 20, "\"k3\" twice"},
      {20, std::nullopt, 20, nullptr},
      {3, std::nullopt, 2, "more than 2 entries"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.count) + " entries, at most " + std::to_string(c.maxEntries));
    const Data bytes = dictionary(c.count, c.same);
    auto reader = BinaryPropertyListReader::open(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), PropertyList::kMaxDepth);
    ASSERT_TRUE(reader);
    auto entries = reader->dictionaryEntries(reader->topObject(), c.maxEntries);
    if (!c.refusal) {
      ASSERT_TRUE(entries) << entries.error().localizedDescription();
      ASSERT_EQ(entries->size(), c.count);
      EXPECT_EQ(entries->back().first, "k" + std::to_string(c.count - 1));
      continue;
    }
    ASSERT_FALSE(entries);
    EXPECT_EQ(entries.error().code, CocoaError::propertyListReadCorrupt);
    EXPECT_NE(entries.error().localizedDescription().find(c.refusal), std::string::npos)
        << entries.error().localizedDescription();
  }
}

TEST(PropertyList, NestingUpToTheCapIsAccepted) {
  EXPECT_TRUE(PropertyList::fromXML(nestedXML(PropertyList::kMaxDepth)));
  EXPECT_FALSE(PropertyList::fromXML(nestedXML(PropertyList::kMaxDepth + 1)));
  EXPECT_TRUE(PropertyList::fromBinary(nestedBinary(PropertyList::kMaxDepth)));
  EXPECT_FALSE(PropertyList::fromBinary(nestedBinary(PropertyList::kMaxDepth + 1)));
  // Shared scalars (as every writer produces) and a shared container within limits are fine.
  auto shared = PropertyList::fromBinary(bplist({"\xA3\x01\x01\x02", "\x51x", "\xA2\x01\x01"}));
  ASSERT_TRUE(shared);
  EXPECT_EQ(*shared, Value(Value::Array{Value("x"), Value("x"), Value(Value::Array{Value("x"), Value("x")})}));
  // A shared container reached from deep down counts at its full depth.
  std::vector<std::string> objects;
  for (std::uint64_t i = 0; i < 300; ++i) objects.push_back(arrayObject({i + 1, 300}, 4));
  for (std::uint64_t i = 300; i < 600; ++i) objects.push_back(i + 1 < 600 ? arrayObject({i + 1}, 4) : arrayObject({}, 4));
  EXPECT_FALSE(PropertyList::fromBinary(bplist(objects, 4)));
}

TEST(PropertyList, XmlFormsWrittenByOthersAreRead) {
  auto parsed = PropertyList::fromXML(xmlDocument(
      "<!-- a comment --><dict><key>hex</key><integer>0x1F</integer><key>neg</key><integer> -12 </integer>"
      "<key>inf</key><real>-infinity</real><key>exp</key><real>1e3</real><key>d</key><data>AAE=\n  AgM=</data>"
      "<key>t</key><true/><key>s</key><string><![CDATA[<raw>]]></string><key>e</key><array/></dict>"));
  ASSERT_TRUE(parsed) << parsed.error().localizedDescription();
  EXPECT_EQ(parsed->find("hex")->asInt64(), 31);
  EXPECT_EQ(parsed->find("neg")->asInt64(), -12);
  EXPECT_EQ(parsed->find("inf")->asDouble(), -std::numeric_limits<double>::infinity());
  EXPECT_EQ(parsed->find("exp")->asDouble(), 1000.0);
  EXPECT_EQ(*parsed->find("d")->asData(), (Data{0, 1, 2, 3}));
  EXPECT_EQ(*parsed->find("s")->asString(), "<raw>");
  EXPECT_EQ(*parsed->find("e"), Value(Value::Array{}));
}

TEST(PropertyList, UnwritableValuesAreErrors) {
  const Value cases[] = {
      Value(),
      Value(Value::Array{Value()}),
      Value(std::string("nul\0inside", 10)),
      Value("\xC3\x28"),
      Value(Value::Dictionary{{"\xFF", Value(1)}}),
  };
  for (const auto& v : cases) {
    auto binary = PropertyList::toBinary(v);
    ASSERT_FALSE(binary);
    EXPECT_EQ(binary.error().code, CocoaError::propertyListWriteInvalid);
    EXPECT_FALSE(PropertyList::toXML(v));
  }
  EXPECT_FALSE(PropertyList::toBinary(Value(Value::Array{Value::uid(4294967296ull)})));
  Value deep(Value::Array{});
  for (std::size_t i = 0; i < PropertyList::kMaxDepth; ++i) deep = Value(Value::Array{std::move(deep)});
  EXPECT_FALSE(PropertyList::toBinary(deep));
}

TEST(PropertyList, WritesFilesAtomicallyWithTheGivenMode) {
  TempRoot root;
  const std::string folder = root.makeDirectory("/Library/Preferences");
  const std::string path = folder + "/settings.plist";
  const Value first(Value::Dictionary{{"a", Value(1)}});
  const Value second(Value::Dictionary{{"a", Value(2)}});

  ASSERT_TRUE(PropertyList::writeFile(path, first, PropertyList::Format::xml, 0600));
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  PropertyList::Format format{};
  EXPECT_EQ(*PropertyList::readFile(path, &format), first);
  EXPECT_EQ(format, PropertyList::Format::xml);

  ASSERT_TRUE(PropertyList::writeFile(path, second));
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0644u);
  EXPECT_EQ(*PropertyList::readFile(path, &format), second);
  EXPECT_EQ(format, PropertyList::Format::binary);
  std::size_t entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(folder)) ++entries;
  EXPECT_EQ(entries, 1u);  // no temporary file left behind

  // A symbolic link at the destination is replaced, not written through.
  const std::string outside = root.writeFile("/outside.txt", "keep");
  const std::string link = folder + "/link.plist";
  ASSERT_EQ(::symlink(outside.c_str(), link.c_str()), 0);
  ASSERT_TRUE(PropertyList::writeFile(link, first));
  std::ifstream kept(outside);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "keep");
  EXPECT_EQ(*PropertyList::readFile(link), first);

  // Failures are errors naming the file; an unwritable value leaves the old file.
  auto missing = PropertyList::readFile(folder + "/missing.plist");
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error().code, CocoaError::fileReadNoSuchFile);
  EXPECT_EQ(*missing.error().userInfo.at("NSFilePath").asString(), folder + "/missing.plist");
  EXPECT_FALSE(PropertyList::writeFile(root / "/no/such/folder/x.plist", first));
  EXPECT_FALSE(PropertyList::writeFile(path, Value()));
  EXPECT_EQ(*PropertyList::readFile(path), second);
  EXPECT_FALSE(PropertyList::readFile(folder));
}

TEST(PropertyList, BinaryWriterPicksWidthsAndEncodesUnicode) {
  // More than 65,536 objects (4-byte references), offsets beyond 64 KiB,
  // counts that need an extra integer, and strings needing UTF-16 with
  // surrogate pairs.
  Value::Array many;
  for (std::int64_t i = 0; i < 70000; ++i) many.emplace_back(i * 1000003);
  Value::Dictionary doc{
      {"many", Value(std::move(many))},
      {"blob", Value(Data(70000, 0xAB))},
      {"long", Value(std::string(300, 'x'))},
      {"emoji", Value("smile 😀 and é and 中文")},
      {"keys with ünïcode", Value(1)},
      {"widths", Value(Value::Array{Value(255), Value(256), Value(65535), Value(65536), Value(4294967295LL),
                                    Value(4294967296LL), Value(-1), Value(std::numeric_limits<std::int64_t>::max())})},
      {"uids", Value(Value::Array{Value::uid(0), Value::uid(255), Value::uid(256), Value::uid(70000),
                                  Value::uid(4294967295ull)})},
  };
  const Value original(std::move(doc));
  auto bytes = PropertyList::toBinary(original);
  ASSERT_TRUE(bytes);
  auto back = PropertyList::fromBinary(*bytes);
  ASSERT_TRUE(back) << back.error().localizedDescription();
  EXPECT_EQ(*back, original);

  TempRoot root;
  const std::string path = root / "/wide.plist";
  ASSERT_TRUE(PropertyList::writeFileAtomically(path, std::string_view(reinterpret_cast<const char*>(bytes->data()),
                                                                        bytes->size())));
  auto xml = vozi::test::runTool({"/usr/bin/plistutil", "-i", path, "-f", "xml"});
  ASSERT_TRUE(xml.has_value());
  EXPECT_NE(xml->find("smile 😀 and é and 中文"), std::string::npos);
  EXPECT_NE(xml->find("<integer>69999209997</integer>"), std::string::npos);
}

TEST(PropertyList, ReadingAPipeInPlaceOfAFileFailsAtOnce) {
  // With nobody writing to it, opening a pipe for reading would wait
  // forever and hold up the daemon.
  TempRoot root;
  const std::string pipe = root.makeDirectory("/Library/Preferences") + "/planted.plist";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
  EXPECT_FALSE(PropertyList::readFile(pipe));
  EXPECT_FALSE(PropertyList::readRegularFile(pipe, 1024));
}

TEST(PropertyList, ReadsARegularFileOnlyWhenItIsNoLinkAndSmallEnough) {
  TempRoot root;
  const Value stored(Value::Dictionary{{"CFBundleIdentifier", Value("com.example.app")}});
  const std::string folder = root.makeDirectory("/Applications/App.app/Contents");
  const std::string path = folder + "/Info.plist";
  ASSERT_TRUE(PropertyList::writeFile(path, stored, PropertyList::Format::xml));
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  const auto size = static_cast<std::uint64_t>(info.st_size);

  auto read = PropertyList::readRegularFile(path, size);
  ASSERT_TRUE(read) << read.error().localizedDescription();
  EXPECT_EQ(*read, stored);

  auto tooLarge = PropertyList::readRegularFile(path, size - 1);
  ASSERT_FALSE(tooLarge);
  EXPECT_EQ(tooLarge.error().code, CocoaError::fileReadTooLarge);

  // A link is refused, wherever it points.
  const std::string link = folder + "/Linked.plist";
  ASSERT_EQ(::symlink(path.c_str(), link.c_str()), 0);
  EXPECT_FALSE(PropertyList::readRegularFile(link, size));
  EXPECT_FALSE(PropertyList::readRegularFile(folder, size));
}

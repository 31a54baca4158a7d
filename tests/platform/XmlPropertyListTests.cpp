#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <string>

#include "RunTool.h"
#include "platform/CocoaError.h"
#include "platform/PropertyList.h"
#include "platform/XmlPropertyListReader.h"
#include "support/TempRoot.h"

using namespace vozi::platform;
using vozi::test::TempRoot;
using Strictness = PropertyList::Strictness;

namespace {

constexpr std::string_view kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
constexpr std::string_view kDoctype =
    "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n";

std::string plist(const std::string& body) {
  return std::string(kDeclaration) + std::string(kDoctype) + "<plist version=\"1.0\">" + body + "</plist>";
}

std::string repeated(std::string_view piece, std::size_t times) {
  std::string out;
  out.reserve(piece.size() * times);
  for (std::size_t i = 0; i < times; ++i) out += piece;
  return out;
}

std::string readWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

// Each input is malformed for the mode(s) that refuse it: an error, never a
// value (in particular never 0, 1970 or a truncated string).
TEST(XmlPropertyList, RefusesMalformedInput) {
  const std::string billionLaughs =
      std::string(kDeclaration) +
      "<!DOCTYPE plist [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
      "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\"><!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\">"
      "<!ENTITY e \"&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;\"><!ENTITY f \"&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;\">"
      "<!ENTITY g \"&f;&f;&f;&f;&f;&f;&f;&f;&f;&f;\"><!ENTITY h \"&g;&g;&g;&g;&g;&g;&g;&g;&g;&g;\">]>"
      "<plist version=\"1.0\"><string>&h;</string></plist>";
  struct Case {
    const char* name;
    std::string text;
    bool strictRefuses;
    bool tolerantRefuses;
  } cases[] = {
      // A tag whose quoted attribute holds ">" and "<!--" hides nothing.
      {"comment opened inside an attribute",
       plist("<array><true a=\">\" b=\"<!--\"/><integer>junk</integer><!-- --></array>"), true, true},
      {"nesting far beyond the limit", plist(repeated("<array>", 175000) + repeated("</array>", 175000)), true, true},
      {"nesting beyond the limit behind an attribute",
       plist("<array><true a=\">\" b=\"<!--\"/>" + repeated("<array>", 5000) + repeated("</array>", 5000) +
             "</array>"),
       true, true},
      {"integer junk", plist("<integer>junk</integer>"), true, true},
      {"empty integer", plist("<integer/>"), true, true},
      {"integer with a leading zero", plist("<integer>007</integer>"), true, true},
      {"integer below -2^63", plist("<integer>-9223372036854775809</integer>"), true, true},
      {"integer above 2^64-1", plist("<integer>18446744073709551616</integer>"), true, true},
      {"integer with inner space", plist("<integer>1 2</integer>"), true, true},
      {"real junk", plist("<real>x</real>"), true, true},
      {"real overflow", plist("<real>1e999</real>"), true, true},
      {"date garbage", plist("<date>garbage</date>"), true, true},
      {"day 31 of February", plist("<date>2023-02-31T00:00:00Z</date>"), true, true},
      {"day 29 of February outside a leap year", plist("<date>2023-02-29T00:00:00Z</date>"), true, true},
      {"hour 24", plist("<date>2023-01-01T24:00:00Z</date>"), true, true},
      {"second 60", plist("<date>2023-01-01T00:00:60Z</date>"), true, true},
      {"date without its zone", plist("<date>2023-01-01T00:00:00</date>"), true, true},
      {"base64 symbol after padding", plist("<data>AB=C</data>"), true, true},
      {"base64 incomplete group", plist("<data>ABC</data>"), true, true},
      {"text in true", plist("<true>x</true>"), true, true},
      {"raw NUL in a string", plist(std::string("<string>ab\0cd</string>", 22)), true, true},
      {"unpaired high surrogate by reference", plist("<string>a&#xD800;b</string>"), true, true},
      {"unpaired low surrogate by reference", plist("<string>&#56320;</string>"), true, true},
      {"surrogate encoded in UTF-8", plist("<string>\xED\xA0\x80</string>"), true, true},
      {"invalid UTF-8", plist("<string>\xFF\xFE</string>"), true, true},
      {"second top-level value", plist("<string>a</string><string>b</string>"), true, true},
      {"text after </plist>", plist("<true/>") + "junk", true, true},
      {"element after </plist>", plist("<true/>") + "<true/>", true, true},
      {"missing </plist>", std::string(kDeclaration) + "<plist version=\"1.0\"><true/>", true, true},
      {"empty <plist>", plist(""), true, true},
      {"top element other than <plist>", std::string(kDeclaration) + "<dict/>", true, true},
      {"key without value", plist("<dict><key>a</key></dict>"), true, true},
      {"key after key", plist("<dict><key>a</key><key>b</key><true/></dict>"), true, true},
      {"value without key", plist("<dict><string>x</string></dict>"), true, true},
      {"key outside a dictionary", plist("<array><key>a</key><true/></array>"), true, true},
      {"text between values", plist("<array>x<true/></array>"), true, true},
      {"element inside a string", plist("<string>a<true/>b</string>"), true, true},
      {"unknown element", plist("<array><set/></array>"), true, true},
      {"entity declared in the document",
       std::string(kDeclaration) + "<!DOCTYPE plist [<!ENTITY e \"x\">]><plist><string>&e;</string></plist>", true,
       true},
      {"entity never declared", plist("<string>&e;</string>"), true, true},
      {"entity expansion bomb", billionLaughs, true, true},
      {"mismatched tags", plist("<array></dict>"), true, true},
      {"unterminated document", std::string(kDeclaration) + "<plist><dict><key>a</key>", true, true},
      {"duplicate key", plist("<dict><key>a</key><integer>1</integer><key>a</key><integer>2</integer></dict>"), true,
       false},
      // Tolerant reading carries control characters as these; one already
      // in the text, raw or as a reference, would come back altered.
      {"reserved private-use character", plist("<string>\xF4\x8F\xBC\x81</string>"), false, true},
      {"reserved private-use character by reference", plist("<string>&#x10FF01;</string>"), false, true},
  };
  for (const auto& c : cases) {
    for (const auto strictness : {Strictness::strict, Strictness::tolerant}) {
      const bool refuses = strictness == Strictness::strict ? c.strictRefuses : c.tolerantRefuses;
      SCOPED_TRACE(std::string(c.name) + (strictness == Strictness::strict ? " (strict)" : " (tolerant)"));
      auto result = PropertyList::fromXML(c.text, strictness);
      if (!refuses) {
        EXPECT_TRUE(result) << result.error().localizedDescription();
        continue;
      }
      ASSERT_FALSE(result) << "read as a value";
      EXPECT_EQ(result.error().domain, "NSCocoaErrorDomain");
      EXPECT_EQ(result.error().code, CocoaError::propertyListReadCorrupt);
    }
  }
}

// What other programs leave in property lists on disk and the platform's
// reader takes. Strict reading refuses the ones that are not well-formed
// XML or repeat a key, and reads the rest the same way.
TEST(XmlPropertyList, TolerantReadingTakesWhatOtherProgramsWrite) {
  using Dict = Value::Dictionary;
  struct Case {
    const char* name;
    std::string text;
    Value expected;
    bool strictReads;
  } cases[] = {
      {"raw control characters in a string", plist(std::string("<string>a\x01" "b\x1F" "c\x0B\x0C" "d\x7F</string>")),
       Value(std::string("a\x01" "b\x1F" "c\x0B\x0C" "d\x7F")), false},
      {"raw control character in a key", plist("<dict><key>k\x02</key><true/></dict>"),
       Value(Dict{{"k\x02", Value(true)}}), false},
      {"control character beside multi-byte text", plist("<string>\xC3\xA9\x1B[0m\xE2\x9C\x93</string>"),
       Value("\xC3\xA9\x1B[0m\xE2\x9C\x93"), false},
      {"\"--\" inside a comment", plist("<!-- old -- value ---><array><!----><true/></array>"),
       Value(Value::Array{Value(true)}), false},
      {"comment-like text in CDATA stays as written", plist("<string><![CDATA[<!-- a--b\x01 -->]]></string>"),
       Value("<!-- a--b\x01 -->"), false},
      {"hyphens outside comments stay", "<?pi a--b?><plist version=\"1--0\"><string>a--b -- c</string></plist>",
       Value("a--b -- c"), true},
      {"quotes in the document type's internal subset",
       std::string(kDeclaration) + "<!DOCTYPE plist [<?note don't?><!-- it's -->]><plist>"
       "<string><![CDATA[<!-- a--b -->]]></string></plist>",
       Value("<!-- a--b -->"), true},
      {"empty string element", plist("<dict><key>name</key><string/></dict>"), Value(Dict{{"name", Value("")}}), true},
      {"empty key", plist("<dict><key></key><integer>1</integer></dict>"), Value(Dict{{"", Value(1)}}), true},
      {"no XML declaration", "<plist version=\"1.0\"><string>x</string></plist>", Value("x"), true},
      {"year 0001", plist("<date>0001-01-01T00:00:00Z</date>"), Value(Date(-63113904000.0)), true},
      {"year 4001", plist("<date>4001-01-01T00:00:00Z</date>"), Value(Date(63113904000.0)), true},
      {"29 February of a leap year", plist("<date>2024-02-29T12:00:00Z</date>"), Value(Date(730900800.0)), true},
      {"a key given twice: the last wins",
       plist("<dict><key>a</key><integer>1</integer><key>b</key><true/><key>a</key><string>2</string></dict>"),
       Value(Dict{{"a", Value("2")}, {"b", Value(true)}}), false},
      {"control characters in a comment and an attribute",
       "<plist version=\"1.0\x01\"><!-- \x02 --><integer>7</integer></plist>", Value(7), false},
      {"empty booleans in both forms", plist("<array><true></true><false/></array>"),
       Value(Value::Array{Value(true), Value(false)}), true},
      {"character references", plist("<string>&#x1F600;&#233;&amp;&lt;</string>"),
       Value("\xF0\x9F\x98\x80\xC3\xA9&<"), true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto tolerant = PropertyList::fromXML(c.text, Strictness::tolerant);
    ASSERT_TRUE(tolerant) << tolerant.error().localizedDescription();
    EXPECT_EQ(*tolerant, c.expected);
    auto strict = PropertyList::fromXML(c.text);
    EXPECT_EQ(static_cast<bool>(strict), c.strictReads);
    if (strict) {
      EXPECT_EQ(*strict, c.expected);
    }
  }
}

TEST(XmlPropertyList, ReadsIntegersRealsAndDatesExactly) {
  struct Case {
    const char* text;
    Value expected;
  } cases[] = {
      {"<integer>0</integer>", Value(0)},
      {"<integer>-0</integer>", Value(0)},
      {"<integer>+17</integer>", Value(17)},
      {"<integer>\n\t42 </integer>", Value(42)},
      {"<integer>0xff</integer>", Value(255)},
      {"<integer>-0x10</integer>", Value(-16)},
      {"<integer>-9223372036854775808</integer>", Value(std::numeric_limits<std::int64_t>::min())},
      {"<integer>9223372036854775807</integer>", Value(std::numeric_limits<std::int64_t>::max())},
      {"<integer>18446744073709551615</integer>", Value(std::numeric_limits<std::uint64_t>::max())},
      {"<real>-2.5e-3</real>", Value(-0.0025)},
      {"<real>.5</real>", Value(0.5)},
      {"<real>+7</real>", Value(7.0)},
      {"<real>-Infinity</real>", Value(-std::numeric_limits<double>::infinity())},
      {"<real>inf</real>", Value(std::numeric_limits<double>::infinity())},
      {"<date>2001-01-01T00:00:00Z</date>", Value(Date(0.0))},
      {"<date> 1970-01-01T00:00:00Z\n</date>", Value(Date(-978307200.0))},
      {"<date>9999-12-31T23:59:59Z</date>", Value(Date(252423993599.0))},
      {"<data>\n\tAAEC\n\tAw==\n</data>", Value(Data{0, 1, 2, 3})},
      {"<data></data>", Value(Data{})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    auto read = PropertyList::fromXML(plist(c.text));
    ASSERT_TRUE(read) << read.error().localizedDescription();
    EXPECT_EQ(*read, c.expected);
    EXPECT_EQ(read->isUnsigned(), c.expected.isUnsigned());
  }
  auto nan = PropertyList::fromXML(plist("<real>NaN</real>"));
  ASSERT_TRUE(nan);
  EXPECT_TRUE(std::isnan(*nan->asDouble()));
}

// The layout is the customary one (plistutil's own XML of the same
// document is the reference) and plistutil reads what we write back to the
// same document.
TEST(XmlPropertyList, WritesTheCustomaryLayoutThatPlistutilReads) {
  Data bytes;
  for (int i = 0; i < 200; ++i) bytes.push_back(static_cast<std::uint8_t>(i));
  Value deep(bytes);  // data lines stop moving right after eight tabs
  for (int i = 0; i < 10; ++i) deep = Value(Value::Array{std::move(deep)});
  const Value document(Value::Dictionary{
      {"blob", Value(bytes)},
      {"empty", Value(Data{})},
      {"nested", Value(Value::Dictionary{{"list", Value(Value::Array{Value(bytes), Value(Value::Array{}),
                                                                     Value(Value::Dictionary{})})}})},
      {"huge", Value(std::uint64_t{18446744073709551000ull})},
      {"negative", Value(-5)},
      {"when", Value(Date(700000000.0))},
      {"text", Value("Caches <&> \"quoted\" \xE2\x80\x94 na\xC3\xAFve")},
      {"blank", Value("")},
      {"yes", Value(true)},
      {"no", Value(false)},
      {"ratio", Value(0.1)},
      {"ref", Value::uid(7)},
      {"deep", deep},
  });
  auto xml = PropertyList::toXML(document);
  ASSERT_TRUE(xml) << xml.error().localizedDescription();

  TempRoot root;
  const std::string binaryPath = root / "/document.bplist";
  ASSERT_TRUE(PropertyList::writeFile(binaryPath, document, PropertyList::Format::binary));
  auto reference = vozi::test::runTool({"/usr/bin/plistutil", "-i", binaryPath, "-f", "xml"});
  ASSERT_TRUE(reference.has_value());
  EXPECT_EQ(*xml, *reference);

  const std::string xmlPath = root / "/document.plist";
  const std::string convertedPath = root / "/converted.bplist";
  ASSERT_TRUE(PropertyList::writeFileAtomically(xmlPath, *xml));
  ASSERT_TRUE(vozi::test::runTool({"/usr/bin/plistutil", "-i", xmlPath, "-o", convertedPath, "-f", "bin"}));
  auto converted = PropertyList::fromBinary(readWhole(convertedPath));
  ASSERT_TRUE(converted) << converted.error().localizedDescription();
  EXPECT_EQ(*converted, document);
}

TEST(XmlPropertyList, WrittenTextReadsBackExactly) {
  const Value document(Value::Array{
      Value("line\r\nbreak\rand\ttab"), Value(" spaced  "), Value("]]> <!-- --> &amp;"),
      Value(Value::Dictionary{{"key\r", Value("\xF0\x9F\x98\x80")}}), Value(Date(-63113904000.0)),
      Value(Date(-0.75)), Value(-0.0), Value(std::numeric_limits<double>::denorm_min()),
      Value(-std::numeric_limits<double>::infinity())});
  auto xml = PropertyList::toXML(document);
  ASSERT_TRUE(xml) << xml.error().localizedDescription();
  auto back = PropertyList::fromXML(*xml);
  ASSERT_TRUE(back) << back.error().localizedDescription() << *xml;
  const Value expected(Value::Array{
      Value("line\r\nbreak\rand\ttab"), Value(" spaced  "), Value("]]> <!-- --> &amp;"),
      Value(Value::Dictionary{{"key\r", Value("\xF0\x9F\x98\x80")}}), Value(Date(-63113904000.0)),
      Value(Date(0.0)),  // whole seconds, towards zero
      Value(-0.0), Value(std::numeric_limits<double>::denorm_min()),
      Value(-std::numeric_limits<double>::infinity())});
  EXPECT_EQ(*back, expected);
}

// Values XML cannot carry are refused on writing rather than written in a
// form that reads back differently or not at all.
TEST(XmlPropertyList, RefusesToWriteWhatXmlCannotCarry) {
  const Value cases[] = {
      Value("bell\x07"),
      Value(Value::Dictionary{{"escape\x1B", Value(1)}}),
      Value("\xEF\xBF\xBF"),
      Value(Date(1e300)),
      Value(Date(std::numeric_limits<double>::quiet_NaN())),
      Value(Date(-63145526401.0)),
  };
  for (const auto& value : cases) {
    auto xml = PropertyList::toXML(value);
    ASSERT_FALSE(xml);
    EXPECT_EQ(xml.error().code, CocoaError::propertyListWriteInvalid);
  }
  EXPECT_TRUE(PropertyList::toXML(Value(Date(-63145526400.0))));  // 0000-01-01T00:00:00Z
}

// One element's text is bounded on reading (libxml2 without huge-input
// mode); the writer refuses what the reader would then refuse.
TEST(XmlPropertyList, TextLengthIsBoundedTheSameOnBothSides) {
  const std::size_t limit = XmlPropertyListReader::kMaxTextLength;
  const Value cases[] = {Value(std::string(limit, 'x')), Value(std::string(limit + 1, 'x')),
                         Value(Data(limit / 4 * 3 - 300000, 1)), Value(Data(limit / 4 * 3, 1))};
  for (const auto& value : cases) {
    auto xml = PropertyList::toXML(value);
    if (!xml) {
      EXPECT_EQ(xml.error().code, CocoaError::propertyListWriteInvalid);
      continue;
    }
    auto back = PropertyList::fromXML(*xml);
    ASSERT_TRUE(back) << back.error().localizedDescription();
    EXPECT_EQ(*back, value);
  }
  EXPECT_TRUE(PropertyList::toXML(cases[0]));
  EXPECT_FALSE(PropertyList::toXML(cases[1]));
  EXPECT_TRUE(PropertyList::toXML(cases[2]));
  EXPECT_FALSE(PropertyList::toXML(cases[3]));
}

TEST(XmlPropertyList, FileReadersTakeTheModeGiven) {
  TempRoot root;
  const std::string path = root.writeFile("/Info.plist", plist("<dict><key>a</key><string>x\x01</string></dict>"));
  const Value expected(Value::Dictionary{{"a", Value("x\x01")}});
  EXPECT_FALSE(PropertyList::readFile(path));
  EXPECT_FALSE(PropertyList::readRegularFile(path, 4096));
  auto tolerant = PropertyList::readFile(path, nullptr, Strictness::tolerant);
  ASSERT_TRUE(tolerant) << tolerant.error().localizedDescription();
  EXPECT_EQ(*tolerant, expected);
  auto regular = PropertyList::readRegularFile(path, 4096, nullptr, Strictness::tolerant);
  ASSERT_TRUE(regular) << regular.error().localizedDescription();
  EXPECT_EQ(*regular, expected);
}

#include "platform/XmlPropertyListReader.h"

#include <libxml/parser.h>
#include <libxml/xmlreader.h>

#include <charconv>
#include <chrono>
#include <climits>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/Base64.h"
#include "platform/CocoaError.h"
#include "platform/Utf8.h"

namespace vozi::platform {

namespace {

using Strictness = PropertyList::Strictness;

// ---------------------------------------------------------------------------
// The tolerant pre-pass.

// A control character other than tab, LF and CR travels through libxml2 as
// U+10FF00 plus its value, encoded F4 8F BC (80 + value).
constexpr unsigned char kCarrierLead[] = {0xF4, 0x8F, 0xBC};
constexpr char32_t kCarrierFirst = 0x10FF00;
constexpr char32_t kCarrierLast = 0x10FF1F;

bool isRawControl(unsigned char c) { return c < 0x20 && c != '\t' && c != '\n' && c != '\r'; }

bool isCarrierAt(std::string_view s, std::size_t i) {
  return s.size() - i >= 4 && static_cast<unsigned char>(s[i]) == kCarrierLead[0] &&
         static_cast<unsigned char>(s[i + 1]) == kCarrierLead[1] &&
         static_cast<unsigned char>(s[i + 2]) == kCarrierLead[2] && static_cast<unsigned char>(s[i + 3]) >= 0x80 &&
         static_cast<unsigned char>(s[i + 3]) <= 0x9F;
}

// The code point of a character reference "&#...;" at i, if there is one.
std::optional<std::uint64_t> characterReferenceAt(std::string_view s, std::size_t i) {
  if (s.substr(i, 2) != "&#") return std::nullopt;
  std::size_t start = i + 2;
  int base = 10;
  if (start < s.size() && s[start] == 'x') {
    base = 16;
    ++start;
  }
  const auto end = s.find(';', start);
  if (end == std::string_view::npos) return std::nullopt;
  std::uint64_t value = 0;
  auto [stop, ec] = std::from_chars(s.data() + start, s.data() + end, value, base);
  if (ec == std::errc::result_out_of_range) return std::numeric_limits<std::uint64_t>::max();
  if (ec != std::errc() || stop != s.data() + end) return std::nullopt;
  return value;
}

// Copies s[from, to) to out, control characters replaced by their carriers.
// A carrier already in the text, raw or as a character reference, could not
// be told apart from a rewritten control character: refused.
std::optional<std::string> copyCarrying(std::string_view s, std::size_t from, std::size_t to, std::string& out) {
  for (std::size_t i = from; i < to; ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (isRawControl(c)) {
      out.append(reinterpret_cast<const char*>(kCarrierLead), sizeof kCarrierLead);
      out.push_back(static_cast<char>(0x80 + c));
      continue;
    }
    if (isCarrierAt(s, i)) return "a private-use character reserved for control characters";
    if (c == '&') {
      const auto reference = characterReferenceAt(s, i);
      if (reference && *reference >= kCarrierFirst && *reference <= kCarrierLast)
        return "a private-use character reserved for control characters";
    }
    out.push_back(static_cast<char>(c));
  }
  return std::nullopt;
}

// Where the markup starting with "<" at i ends (one past its ">"), reading
// quoted literals whole; a document type also skips its internal subset
// with the comments and processing instructions in it. The end of the text
// when unterminated.
std::size_t markupEnd(std::string_view s, std::size_t i) {
  char quote = 0;
  int brackets = 0;
  for (std::size_t j = i + 1; j < s.size(); ++j) {
    const char c = s[j];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (brackets > 0 && (s.substr(j, 4) == "<!--" || s.substr(j, 2) == "<?")) {
      const std::string_view terminator = s[j + 1] == '!' ? "-->" : "?>";
      const auto close = s.find(terminator, j + 2);
      if (close == std::string_view::npos) return s.size();
      j = close + terminator.size() - 1;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '[') {
      ++brackets;
    } else if (c == ']') {
      --brackets;
    } else if (c == '>' && brackets <= 0) {
      return j + 1;
    }
  }
  return s.size();
}

// Where the construct ending with `terminator` ends, or the end of the text.
std::size_t endAfter(std::string_view s, std::size_t from, std::string_view terminator) {
  const auto at = s.find(terminator, from);
  return at == std::string_view::npos ? s.size() : at + terminator.size();
}

// Rewrites the two things other writers leave in property lists that XML
// forbids, and nothing else: whatever it misjudges, libxml2 still checks.
std::optional<std::string> tolerantPrePass(std::string_view s, std::string& out) {
  out.reserve(s.size() + s.size() / 16);
  std::size_t i = 0;
  while (i < s.size()) {
    if (s.substr(i, 4) == "<!--") {
      // Comments are dropped, so their text may change freely.
      const auto close = s.find("-->", i + 4);
      const std::size_t bodyEnd = close == std::string_view::npos ? s.size() : close;
      out.append("<!--");
      for (std::size_t j = i + 4; j < bodyEnd; ++j)
        out.push_back(s[j] == '-' || isRawControl(static_cast<unsigned char>(s[j])) ? ' ' : s[j]);
      if (close == std::string_view::npos) return std::nullopt;
      out.append("-->");
      i = close + 3;
      continue;
    }
    std::size_t end;
    if (s[i] != '<')
      end = std::min(s.size(), s.find('<', i));
    else if (s.substr(i, 9) == "<![CDATA[")
      end = endAfter(s, i + 9, "]]>");
    else if (s.substr(i, 2) == "<?")
      end = endAfter(s, i + 2, "?>");
    else
      end = markupEnd(s, i);
    if (auto fault = copyCarrying(s, i, end, out)) return fault;
    i = end;
  }
  return std::nullopt;
}

// Turns carriers back into the control characters they stand for.
void restoreControls(std::string& text) {
  if (text.find(static_cast<char>(kCarrierLead[0])) == std::string::npos) return;
  std::size_t write = 0;
  for (std::size_t read = 0; read < text.size(); ++write) {
    if (isCarrierAt(text, read)) {
      text[write] = static_cast<char>(static_cast<unsigned char>(text[read + 3]) - 0x80);
      read += 4;
    } else {
      text[write] = text[read++];
    }
  }
  text.resize(write);
}

// ---------------------------------------------------------------------------
// Scalar values.

std::string_view trimmed(std::string_view s) {
  constexpr const char* kSpaces = " \t\r\n";
  const auto first = s.find_first_not_of(kSpaces);
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(kSpaces) - first + 1);
}

bool isDigits(std::string_view s, int base) {
  if (s.empty()) return false;
  for (char c : s) {
    const bool decimal = c >= '0' && c <= '9';
    const bool hex = (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    if (!decimal && !(base == 16 && hex)) return false;
  }
  return true;
}

std::optional<Value> parseInteger(std::string_view s) {
  bool negative = false;
  if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  int base = 10;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  } else if (s.size() > 1 && s[0] == '0') {
    return std::nullopt;  // a leading zero reads as octal elsewhere: ambiguous
  }
  if (!isDigits(s, base)) return std::nullopt;
  std::uint64_t magnitude = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), magnitude, base);
  if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  constexpr std::uint64_t kInt64Max = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  if (negative) {
    if (magnitude > kInt64Max + 1) return std::nullopt;
    return Value(static_cast<std::int64_t>(0 - magnitude));
  }
  if (magnitude > kInt64Max) return Value(magnitude);
  return Value(static_cast<std::int64_t>(magnitude));
}

std::optional<double> parseReal(std::string_view s) {
  std::string lower(s);
  for (auto& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  std::string_view word = lower;
  const bool negative = !word.empty() && word[0] == '-';
  if (!word.empty() && (word[0] == '-' || word[0] == '+')) word.remove_prefix(1);
  if (word == "nan") return std::numeric_limits<double>::quiet_NaN();
  if (word == "inf" || word == "infinity")
    return negative ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
  // Digits, a point, an exponent: what from_chars takes, once the sign is off.
  if (word.empty() || !((word[0] >= '0' && word[0] <= '9') || word[0] == '.')) return std::nullopt;
  double value = 0;
  auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
  if (ec != std::errc() || end != word.data() + word.size()) return std::nullopt;
  return negative ? -value : value;
}

std::optional<Date> parseDate(std::string_view s) {
  // YYYY-MM-DDTHH:MM:SSZ
  if (s.size() != 20 || s[4] != '-' || s[7] != '-' || s[10] != 'T' || s[13] != ':' || s[16] != ':' || s[19] != 'Z')
    return std::nullopt;
  auto field = [&](std::size_t at, std::size_t length) -> std::optional<int> {
    const std::string_view digits = s.substr(at, length);
    if (!isDigits(digits, 10)) return std::nullopt;
    int v = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), v);
    return v;
  };
  const auto year = field(0, 4), month = field(5, 2), day = field(8, 2);
  const auto hour = field(11, 2), minute = field(14, 2), second = field(17, 2);
  if (!year || !month || !day || !hour || !minute || !second) return std::nullopt;
  using namespace std::chrono;
  const year_month_day date{std::chrono::year(*year), std::chrono::month(static_cast<unsigned>(*month)),
                            std::chrono::day(static_cast<unsigned>(*day))};
  if (!date.ok() || *hour > 23 || *minute > 59 || *second > 59) return std::nullopt;
  const auto since1970 = sys_days(date).time_since_epoch() + hours(*hour) + minutes(*minute) + seconds(*second);
  return Date::fromTimeIntervalSince1970(static_cast<double>(duration_cast<seconds>(since1970).count()));
}

// ---------------------------------------------------------------------------
// The document.

enum class Element { plist, array, dict, key, string, integer, real, date, data, yes, no, unknown };

Element elementNamed(std::string_view name) {
  static constexpr std::pair<std::string_view, Element> kNames[] = {
      {"plist", Element::plist},   {"array", Element::array}, {"dict", Element::dict},
      {"key", Element::key},       {"string", Element::string}, {"integer", Element::integer},
      {"real", Element::real},     {"date", Element::date},   {"data", Element::data},
      {"true", Element::yes},      {"false", Element::no},
  };
  for (const auto& [text, element] : kNames)
    if (text == name) return element;
  return Element::unknown;
}

struct ReaderFree {
  void operator()(xmlTextReaderPtr reader) const { xmlFreeTextReader(reader); }
};

// The first message libxml2 reports, instead of its default of printing.
void keepFirstError(void* context, xmlErrorPtr error) {
  auto* message = static_cast<std::string*>(context);
  if (!message->empty() || !error || !error->message || error->level == XML_ERR_WARNING) return;
  *message = error->message;
  while (!message->empty() && (message->back() == '\n' || message->back() == ' ')) message->pop_back();
  if (error->line > 0) *message += " (line " + std::to_string(error->line) + ")";
}

bool isXmlSpace(std::string_view s) { return s.find_first_not_of(" \t\r\n") == std::string_view::npos; }

std::string_view nodeText(xmlTextReaderPtr reader) {
  const xmlChar* value = xmlTextReaderConstValue(reader);
  return value ? std::string_view(reinterpret_cast<const char*>(value)) : std::string_view();
}

class DocumentReader {
 public:
  DocumentReader(xmlTextReaderPtr reader, Strictness strictness, std::size_t maxDepth, const std::string& xmlError)
      : reader_(reader), strictness_(strictness), maxDepth_(maxDepth), xmlError_(xmlError) {}

  Result<Value> run() {
    bool inPlist = false;
    bool plistDone = false;
    for (;;) {
      const int step = xmlTextReaderRead(reader_);
      if (step < 0) return malformed();
      if (step == 0) break;
      const int type = xmlTextReaderNodeType(reader_);
      switch (type) {
        case XML_READER_TYPE_ELEMENT: {
          const Element element = elementNamed(name());
          const bool empty = xmlTextReaderIsEmptyElement(reader_) == 1;
          if (!inPlist) {
            if (plistDone || element != Element::plist) return fail("the top element is not <plist>");
            if (empty) return fail("<plist> holds no value");
            inPlist = true;
          } else if (auto fault = startElement(element, empty)) {
            return fail(*fault);
          }
          break;
        }
        case XML_READER_TYPE_END_ELEMENT:
          if (stack_.empty()) {  // </plist>: XML pairs the tags
            if (!root_) return fail("<plist> holds no value");
            inPlist = false;
            plistDone = true;
          } else if (auto fault = closeContainer()) {
            return fail(*fault);
          }
          break;
        case XML_READER_TYPE_TEXT:
        case XML_READER_TYPE_CDATA:
          if (!isXmlSpace(nodeText(reader_))) return fail("text outside a value");
          break;
        case XML_READER_TYPE_WHITESPACE:
        case XML_READER_TYPE_SIGNIFICANT_WHITESPACE:
        case XML_READER_TYPE_COMMENT:
        case XML_READER_TYPE_PROCESSING_INSTRUCTION:
        case XML_READER_TYPE_DOCUMENT_TYPE:
        case XML_READER_TYPE_XML_DECLARATION:
          break;
        case XML_READER_TYPE_ENTITY_REFERENCE:
          return fail("a reference to an entity");
        default:
          return fail("unexpected XML node");
      }
    }
    if (!plistDone) return fail("no <plist> element");
    return std::move(*root_);
  }

 private:
  struct Container {
    Value value;
    bool dictionary;
    std::optional<std::string> key;  // read, its value not yet
  };

  std::string_view name() const {
    const xmlChar* n = xmlTextReaderConstName(reader_);
    return n ? std::string_view(reinterpret_cast<const char*>(n)) : std::string_view();
  }

  Error fail(const std::string& why) const { return CocoaError::propertyListCorrupt(why); }
  Error malformed() const { return fail(malformedText()); }

  std::optional<std::string> startElement(Element element, bool empty) {
    switch (element) {
      case Element::array:
      case Element::dict: {
        if (auto fault = checkValueAllowed()) return fault;
        if (stack_.size() >= maxDepth_) return "containers nested too deep";
        Value container = element == Element::array ? Value(Value::Array{}) : Value(Value::Dictionary{});
        if (empty) return place(std::move(container));
        stack_.push_back(Container{std::move(container), element == Element::dict, std::nullopt});
        return std::nullopt;
      }
      case Element::key: {
        if (stack_.empty() || !stack_.back().dictionary) return "<key> outside a dictionary";
        if (stack_.back().key) return "<key> without a value";
        std::string key;
        if (auto fault = readText(empty, key)) return fault;
        if (strictness_ == Strictness::strict && stack_.back().value.asDictionary()->contains(key))
          return "the key \"" + key.substr(0, 40) + "\" appears twice";
        stack_.back().key = std::move(key);
        return std::nullopt;
      }
      case Element::unknown:
        return "unknown element <" + std::string(name().substr(0, 40)) + ">";
      case Element::plist:
        return "<plist> inside <plist>";
      default:
        break;
    }
    if (auto fault = checkValueAllowed()) return fault;
    const std::string elementName(name());
    std::string text;
    if (auto fault = readText(empty, text)) return fault;
    std::optional<Value> value;
    switch (element) {
      case Element::string:
        value = Value(std::move(text));
        break;
      case Element::integer:
        value = parseInteger(trimmed(text));
        break;
      case Element::real:
        if (auto real = parseReal(trimmed(text))) value = Value(*real);
        break;
      case Element::date:
        if (auto date = parseDate(trimmed(text))) value = Value(*date);
        break;
      case Element::data:
        if (auto bytes = Base64::decode(text)) value = Value(std::move(*bytes));
        break;
      case Element::yes:
      case Element::no:
        if (text.empty()) value = Value(element == Element::yes);
        break;
      default:
        break;
    }
    if (!value) return "invalid <" + elementName + "> value '" + std::string(trimmed(text).substr(0, 40)) + "'";
    return place(std::move(*value));
  }

  // A value may start here: inside <plist> before any other value, in an
  // array, or in a dictionary after its key.
  std::optional<std::string> checkValueAllowed() const {
    if (stack_.empty()) return root_ ? std::optional<std::string>("a second value inside <plist>") : std::nullopt;
    if (stack_.back().dictionary && !stack_.back().key) return "a dictionary value without a <key>";
    return std::nullopt;
  }

  std::optional<std::string> place(Value value) {
    if (stack_.empty()) {
      root_ = std::move(value);
      return std::nullopt;
    }
    Container& top = stack_.back();
    if (top.dictionary) {
      top.value.asDictionary()->insert_or_assign(std::move(*top.key), std::move(value));
      top.key.reset();
    } else {
      top.value.asArray()->push_back(std::move(value));
    }
    return std::nullopt;
  }

  std::optional<std::string> closeContainer() {
    Container done = std::move(stack_.back());
    stack_.pop_back();
    if (done.key) return "<key> without a value";
    return place(std::move(done.value));
  }

  // The character data of the leaf element just opened, up to its end tag.
  std::optional<std::string> readText(bool empty, std::string& text) {
    if (!empty) {
      for (;;) {
        const int step = xmlTextReaderRead(reader_);
        if (step < 0) return malformedText();
        if (step == 0) return "unterminated element";
        const int type = xmlTextReaderNodeType(reader_);
        if (type == XML_READER_TYPE_END_ELEMENT) break;
        switch (type) {
          case XML_READER_TYPE_TEXT:
          case XML_READER_TYPE_CDATA:
          case XML_READER_TYPE_WHITESPACE:
          case XML_READER_TYPE_SIGNIFICANT_WHITESPACE:
            text += nodeText(reader_);
            break;
          case XML_READER_TYPE_COMMENT:
          case XML_READER_TYPE_PROCESSING_INSTRUCTION:
            break;
          case XML_READER_TYPE_ENTITY_REFERENCE:
            return "a reference to an entity";
          default:
            return "markup inside a value";
        }
      }
    }
    if (strictness_ == Strictness::tolerant) restoreControls(text);
    if (!Utf8::isValid(text)) return "text is not valid UTF-8";
    return std::nullopt;
  }

  std::string malformedText() const { return xmlError_.empty() ? "malformed XML" : "malformed XML: " + xmlError_; }

  xmlTextReaderPtr reader_;
  Strictness strictness_;
  std::size_t maxDepth_;
  const std::string& xmlError_;
  std::vector<Container> stack_;
  std::optional<Value> root_;
};

}  // namespace

Result<Value> XmlPropertyListReader::read(std::string_view text, Strictness strictness, std::size_t maxDepth) {
  static std::once_flag initialized;
  std::call_once(initialized, [] { xmlInitParser(); });

  if (text.find('\0') != std::string_view::npos) return CocoaError::propertyListCorrupt("a NUL character");
  std::string rewritten;
  if (strictness == Strictness::tolerant) {
    if (auto fault = tolerantPrePass(text, rewritten)) return CocoaError::propertyListCorrupt(*fault);
    text = rewritten;
  }
  if (text.size() > static_cast<std::size_t>(INT_MAX))
    return CocoaError::propertyListCorrupt("XML input larger than 2 GiB");

  // No network, DTD loading, entity substitution, default attributes,
  // recovery or huge-input mode; the text is UTF-8 whatever it declares.
  const int options = XML_PARSE_NONET | XML_PARSE_IGNORE_ENC;
  std::unique_ptr<xmlTextReader, ReaderFree> reader(
      xmlReaderForMemory(text.data(), static_cast<int>(text.size()), nullptr, "UTF-8", options));
  if (!reader) return CocoaError::propertyListCorrupt("the XML reader could not start");
  std::string xmlError;
  xmlTextReaderSetStructuredErrorHandler(reader.get(), keepFirstError, &xmlError);
  return DocumentReader(reader.get(), strictness, maxDepth, xmlError).run();
}

}  // namespace vozi::platform

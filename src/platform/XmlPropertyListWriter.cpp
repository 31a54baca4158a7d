#include "platform/XmlPropertyListWriter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>

#include "platform/Base64.h"
#include "platform/CocoaError.h"
#include "platform/Utf8.h"
#include "platform/XmlPropertyListReader.h"

namespace vozi::platform {

namespace {

constexpr std::string_view kHeader =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
    "<plist version=\"1.0\">\n";
// Base64 lines are indented like their element, by at most eight tabs,
// and fill 76 columns counting a tab as eight.
constexpr std::size_t kBase64MaxIndent = 8;
constexpr std::size_t kBase64Columns = 76;

class DocumentWriter {
 public:
  explicit DocumentWriter(std::size_t maxDepth) : maxDepth_(maxDepth) {}

  std::optional<std::string> write(const Value& value, std::size_t depth) {
    switch (value.type()) {
      case Value::Type::null:
        return "null is not a property-list value";
      case Value::Type::boolean:
        line(depth, *value.asBool() ? "<true/>" : "<false/>");
        return std::nullopt;
      case Value::Type::integer: {
        const std::string digits = value.isUnsigned() ? std::to_string(*value.asUInt64())
                                                      : std::to_string(*value.asInt64());
        line(depth, "<integer>" + digits + "</integer>");
        return std::nullopt;
      }
      case Value::Type::real:
        line(depth, "<real>" + realText(*value.asDouble()) + "</real>");
        return std::nullopt;
      case Value::Type::string:
        return textElement(depth, "string", *value.asString());
      case Value::Type::data:
        return data(depth, *value.asData());
      case Value::Type::date: {
        auto text = dateText(*value.asDate());
        if (!text) return "a date outside the years 0000 to 9999";
        line(depth, "<date>" + *text + "</date>");
        return std::nullopt;
      }
      case Value::Type::array: {
        if (depth >= maxDepth_) return "containers nested too deep";
        const auto& array = *value.asArray();
        if (array.empty()) {
          line(depth, "<array/>");
          return std::nullopt;
        }
        line(depth, "<array>");
        for (const Value& item : array)
          if (auto fault = write(item, depth + 1)) return fault;
        line(depth, "</array>");
        return std::nullopt;
      }
      case Value::Type::dictionary: {
        if (depth >= maxDepth_) return "containers nested too deep";
        const auto& dictionary = *value.asDictionary();
        if (dictionary.empty()) {
          line(depth, "<dict/>");
          return std::nullopt;
        }
        line(depth, "<dict>");
        for (const auto& [key, item] : dictionary) {
          if (auto fault = textElement(depth + 1, "key", key)) return fault;
          if (auto fault = write(item, depth + 1)) return fault;
        }
        line(depth, "</dict>");
        return std::nullopt;
      }
    }
    return "unknown value type";
  }

  std::string& text() { return out_; }

 private:
  void indent(std::size_t depth) { out_.append(depth, '\t'); }

  void line(std::size_t depth, std::string_view element) {
    indent(depth);
    out_ += element;
    out_ += '\n';
  }

  std::optional<std::string> textElement(std::size_t depth, std::string_view tag, const std::string& text) {
    if (!Utf8::isValid(text)) return std::string(tag) + " text is not valid UTF-8";
    if (text.size() > XmlPropertyListReader::kMaxTextLength) return std::string(tag) + " text too long for XML";
    indent(depth);
    out_ += '<';
    out_ += tag;
    out_ += '>';
    for (std::size_t i = 0; i < text.size(); ++i) {
      const auto c = static_cast<unsigned char>(text[i]);
      if (c < 0x20 && c != '\t' && c != '\n' && c != '\r')
        return std::string(tag) + " text holds a control character XML cannot carry";
      // U+FFFE and U+FFFF are no XML characters either.
      if (c == 0xEF && text.size() - i >= 3 && static_cast<unsigned char>(text[i + 1]) == 0xBF &&
          (static_cast<unsigned char>(text[i + 2]) & 0xFE) == 0xBE)
        return std::string(tag) + " text holds U+FFFE or U+FFFF";
      switch (c) {
        case '&': out_ += "&amp;"; break;
        case '<': out_ += "&lt;"; break;
        case '>': out_ += "&gt;"; break;
        case '\r': out_ += "&#13;"; break;
        default: out_ += static_cast<char>(c);
      }
    }
    out_ += "</";
    out_ += tag;
    out_ += ">\n";
    return std::nullopt;
  }

  std::optional<std::string> data(std::size_t depth, const Data& bytes) {
    line(depth, "<data>");
    const std::size_t textStart = out_.size() - 1;  // the element's text starts at the line feed
    const std::string encoded = Base64::encode(bytes);
    const std::size_t indent = std::min(depth, kBase64MaxIndent);
    const std::size_t length = kBase64Columns - 8 * indent;
    for (std::size_t at = 0; at < encoded.size(); at += length)
      line(indent, std::string_view(encoded).substr(at, length));
    this->indent(depth);
    if (out_.size() - textStart > XmlPropertyListReader::kMaxTextLength) return "data too large for one XML element";
    out_ += "</data>\n";
    return std::nullopt;
  }

  static std::string realText(double d) {
    if (std::isnan(d)) return "nan";
    if (std::isinf(d)) return d > 0 ? "+infinity" : "-infinity";
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.17g", d);
    return buffer;
  }

  static std::optional<std::string> dateText(const Date& date) {
    // 0000-01-01T00:00:00Z to 9999-12-31T23:59:59Z, in seconds since 2001.
    const double whole = std::trunc(date.timeIntervalSinceReferenceDate());
    if (!(whole >= -63145526400.0 && whole <= 252423993599.0)) return std::nullopt;
    // "yyyy-MM-dd HH:mm:ss +0000" into "yyyy-MM-ddTHH:mm:ssZ".
    std::string text = Date(whole).description().substr(0, 19);
    text[10] = 'T';
    return text + "Z";
  }

  std::size_t maxDepth_;
  std::string out_;
};

}  // namespace

Result<std::string> XmlPropertyListWriter::write(const Value& value, std::size_t maxDepth) {
  DocumentWriter writer(maxDepth);
  writer.text() = kHeader;
  if (auto fault = writer.write(value, 0)) return CocoaError::propertyListInvalid(*fault);
  writer.text() += "</plist>\n";
  return std::move(writer.text());
}

}  // namespace vozi::platform

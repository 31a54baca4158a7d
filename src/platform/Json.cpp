#include "platform/Json.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <vector>

#include "platform/Base64.h"
#include "platform/CocoaError.h"
#include "platform/Hex.h"
#include "platform/Utf8.h"

namespace vozi::platform {

namespace {

Error readError(const std::string& why) {
  return CocoaError::make(CocoaError::propertyListReadCorrupt, "The data couldn't be read because it isn't valid JSON: " + why);
}

Error writeError(const std::string& why) {
  return CocoaError::make(CocoaError::propertyListWriteInvalid, "Invalid value for JSON: " + why);
}

// Builds the Value straight from parser events; containers live on an
// explicit stack, so nesting costs no recursion and is capped.
class ValueBuilder {
 public:
  using json = nlohmann::json;

  bool null() { return add(Value()); }
  bool boolean(bool v) { return add(Value(v)); }
  bool number_integer(json::number_integer_t v) { return add(Value(static_cast<std::int64_t>(v))); }
  bool number_unsigned(json::number_unsigned_t v) {
    if (v <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
      return add(Value(static_cast<std::int64_t>(v)));
    return add(Value(static_cast<std::uint64_t>(v)));
  }
  bool number_float(json::number_float_t v, const std::string&) { return add(Value(static_cast<double>(v))); }
  bool string(std::string& v) { return add(Value(std::move(v))); }
  bool binary(json::binary_t&) {
    error_ = "binary values are not JSON";
    return false;
  }
  bool start_object(std::size_t) { return open(Value(Value::Dictionary{})); }
  bool key(std::string& k) {
    stack_.back().key = std::move(k);
    return true;
  }
  bool end_object() { return close(); }
  bool start_array(std::size_t) { return open(Value(Value::Array{})); }
  bool end_array() { return close(); }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& e) {
    error_ = e.what();
    return false;
  }

  Value& root() { return root_; }
  const std::string& error() const { return error_; }

 private:
  struct Frame {
    Value value;
    std::string key;
  };

  bool add(Value v) {
    if (stack_.empty()) {
      root_ = std::move(v);
      return true;
    }
    Frame& top = stack_.back();
    if (auto array = top.value.asArray()) {
      array->push_back(std::move(v));
    } else {
      top.value.asDictionary()->insert_or_assign(std::move(top.key), std::move(v));
      top.key.clear();
    }
    return true;
  }
  bool open(Value container) {
    if (stack_.size() >= Json::kMaxDepth) {
      error_ = "containers nested too deep";
      return false;
    }
    stack_.push_back(Frame{std::move(container), {}});
    return true;
  }
  bool close() {
    Value done = std::move(stack_.back().value);
    stack_.pop_back();
    return add(std::move(done));
  }

  std::vector<Frame> stack_;
  Value root_;
  std::string error_;
};

void appendString(std::string& out, std::string_view text) {
  out.push_back('"');
  std::size_t plain = 0;  // start of the run not yet copied
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c != '"' && c != '\\' && static_cast<unsigned char>(c) >= 0x20) continue;
    out.append(text.substr(plain, i - plain));
    plain = i + 1;
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        out += "\\u00";
        Hex::appendByte(out, static_cast<std::uint8_t>(c));
    }
  }
  out.append(text.substr(plain));
  out.push_back('"');
}

std::optional<std::string> appendReal(std::string& out, double d) {
  if (!std::isfinite(d)) return "NaN and infinity cannot be written";
  char buffer[64];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, d);  // shortest form that reads back exactly
  if (ec != std::errc()) return "unprintable number";
  const std::string_view text(buffer, static_cast<std::size_t>(end - buffer));
  out += text;
  // Keep it a real on the way back: 5.0 rather than 5.
  if (text.find_first_of(".eEn") == std::string_view::npos) out += ".0";
  return std::nullopt;
}

std::optional<std::string> write(std::string& out, const Value& value, const Json::WriteOptions& options,
                                 std::size_t depth) {
  switch (value.type()) {
    case Value::Type::null: out += "null"; return std::nullopt;
    case Value::Type::boolean: out += *value.asBool() ? "true" : "false"; return std::nullopt;
    case Value::Type::integer:
      out += value.isUnsigned() ? std::to_string(*value.asUInt64()) : std::to_string(*value.asInt64());
      return std::nullopt;
    case Value::Type::real: return appendReal(out, *value.asDouble());
    case Value::Type::string:
      if (!Utf8::isValid(*value.asString())) return "a string is not valid UTF-8";
      appendString(out, *value.asString());
      return std::nullopt;
    case Value::Type::data:
      if (!options.dataAsBase64) return "data has no JSON form";
      appendString(out, Base64::encode(*value.asData()));
      return std::nullopt;
    case Value::Type::date:
      if (!options.datesAsSecondsSince2001) return "a date has no JSON form";
      return appendReal(out, value.asDate()->timeIntervalSinceReferenceDate());
    case Value::Type::array: {
      if (depth >= Json::kMaxDepth) return "containers nested too deep";
      out.push_back('[');
      bool first = true;
      for (const Value& item : *value.asArray()) {
        if (!first) out.push_back(',');
        first = false;
        if (auto fault = write(out, item, options, depth + 1)) return fault;
      }
      out.push_back(']');
      return std::nullopt;
    }
    case Value::Type::dictionary: {
      if (depth >= Json::kMaxDepth) return "containers nested too deep";
      out.push_back('{');
      bool first = true;
      for (const auto& [key, item] : *value.asDictionary()) {
        if (!Utf8::isValid(key)) return "a key is not valid UTF-8";
        if (!first) out.push_back(',');
        first = false;
        appendString(out, key);
        out.push_back(':');
        if (auto fault = write(out, item, options, depth + 1)) return fault;
      }
      out.push_back('}');
      return std::nullopt;
    }
  }
  return "unknown value type";
}

}  // namespace

Result<Value> Json::parse(std::string_view text, bool allowFragments) {
  // JSON has no place for a raw NUL byte, but the parser underneath takes one
  // for the end of the text and would accept "{...}\0<anything>".
  if (text.find('\0') != std::string_view::npos) return readError("the text holds a NUL byte");
  ValueBuilder builder;
  bool ok = false;
  try {
    ok = nlohmann::json::sax_parse(text, &builder);
  } catch (const std::exception& e) {
    return readError(e.what());
  }
  if (!ok) return readError(builder.error().empty() ? "malformed input" : builder.error());
  Value& root = builder.root();
  if (!allowFragments && !root.isArray() && !root.isDictionary())
    return readError("the top level is not an object or an array");
  return std::move(root);
}

bool Json::appendString(std::string& out, std::string_view text) {
  if (!Utf8::isValid(text)) return false;
  vozi::platform::appendString(out, text);
  return true;
}

Result<std::string> Json::serialize(const Value& value, const WriteOptions& options) {
  if (!options.allowFragments && !value.isArray() && !value.isDictionary())
    return writeError("the top level is not an object or an array");
  std::string out;
  if (auto fault = write(out, value, options, 0)) return writeError(*fault);
  return out;
}

}  // namespace vozi::platform

#include "common/ZOLEvent.h"

#include <nlohmann/json.hpp>

#include "common/MacroConstantsProvider.h"

namespace vozi {

namespace {

using nlohmann::json;

std::string base64(const platform::Data& bytes) {
  static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  std::size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const unsigned v = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
    for (int shift : {18, 12, 6, 0}) out += alphabet[(v >> shift) & 63];
  }
  if (i < bytes.size()) {
    unsigned v = bytes[i] << 16;
    if (i + 1 < bytes.size()) v |= bytes[i + 1] << 8;
    out += alphabet[(v >> 18) & 63];
    out += alphabet[(v >> 12) & 63];
    out += i + 1 < bytes.size() ? alphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

json toJson(const platform::Value& value) {
  switch (value.type()) {
    case platform::Value::Type::null: return nullptr;
    case platform::Value::Type::boolean: return *value.asBool();
    case platform::Value::Type::integer:
      if (value.isUnsigned()) return *value.asUInt64();
      return *value.asInt64();
    case platform::Value::Type::real: return *value.asDouble();
    case platform::Value::Type::string: return *value.asString();
    case platform::Value::Type::data: return base64(*value.asData());
    case platform::Value::Type::date: return value.asDate()->timeIntervalSince1970();
    case platform::Value::Type::array: {
      json out = json::array();
      for (const auto& v : *value.asArray()) out.push_back(toJson(v));
      return out;
    }
    case platform::Value::Type::dictionary: {
      json out = json::object();
      for (const auto& [k, v] : *value.asDictionary()) out[k] = toJson(v);
      return out;
    }
  }
  return nullptr;
}

platform::Value fromJson(const json& j) {
  if (j.is_null()) return {};
  if (j.is_boolean()) return j.get<bool>();
  if (j.is_number_unsigned()) {
    const auto u = j.get<std::uint64_t>();
    if (u <= static_cast<std::uint64_t>(INT64_MAX)) return static_cast<std::int64_t>(u);
    return platform::Value(static_cast<unsigned long long>(u));
  }
  if (j.is_number_integer()) return j.get<std::int64_t>();
  if (j.is_number_float()) return j.get<double>();
  if (j.is_string()) return j.get<std::string>();
  if (j.is_array()) {
    platform::Value::Array out;
    for (const auto& e : j) out.push_back(fromJson(e));
    return out;
  }
  platform::Value::Dictionary out;
  for (const auto& [k, v] : j.items()) out[k] = fromJson(v);
  return out;
}

}  // namespace

ZOLEvent ZOLEvent::buttonClickedEvent(platform::Date date, [[maybe_unused]] const ZOLApplicationState& app, std::string category,
                                      std::string action, std::string name, std::string value) {
  const auto version = MacroConstantsProvider::zolVersionString();
  platform::Value::Dictionary body{
      {"date", platform::Value(date.description())},
      {"uuid", platform::Value(std::string())},
      // The state record of this system carries no mode: the key stays, empty.
      {"app_state", platform::Value(std::string())},
      {"app_build_version", version ? platform::Value(*version) : platform::Value()},
      {"category", platform::Value(std::move(category))},
      {"action", platform::Value(std::move(action))},
      {"name", platform::Value(std::move(name))},
      {"value", platform::Value(std::move(value))},
  };
  return ZOLEvent(date, ZOLEventType::userEvent, std::move(body));
}

ZOLEvent ZOLEvent::cleanEvent(std::string tab, std::string scanGroup, std::string cleanedSize, platform::Date date) {
  platform::Value::Dictionary body{
      {"tab", platform::Value(std::move(tab))},
      {"module", platform::Value(std::move(scanGroup))},
      {"cleaned_size", platform::Value(std::move(cleanedSize))},
  };
  return ZOLEvent(date, ZOLEventType::cleanResults, std::move(body));
}

platform::Data ZOLEvent::backendJsonRepresentationData() const {
  const std::string text = toJson(platform::Value(body_)).dump();
  return platform::Data(text.begin(), text.end());
}

std::optional<ZOLEvent> ZOLEvent::fromStoredFields(const std::optional<platform::Date>& date,
                                                   const std::optional<std::string>& eventType,
                                                   const std::optional<platform::Data>& body) {
  if (!date || !eventType || !body) return std::nullopt;
  auto type = fromRawValue<ZOLEventType>(*eventType);
  if (!type) return std::nullopt;
  json parsed = json::parse(body->begin(), body->end(), nullptr, false);
  if (parsed.is_discarded() || !parsed.is_object()) return std::nullopt;
  platform::Value value = fromJson(parsed);
  return ZOLEvent(*date, *type, std::move(*value.asDictionary()));
}

}  // namespace vozi

#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Date.h"
#include "platform/URL.h"

// Pieces of the debug descriptions that the records write into log lines.
namespace vozi::recorddescription {

// An object's address as "%p" prints it.
inline std::string address(const void* object) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%p", object);
  return buffer;
}

// "<ClassName: 0x...>"
inline std::string header(std::string_view className, const void* object) {
  return "<" + std::string(className) + ": " + address(object) + ">";
}

// An absent value prints as "(null)".
inline std::string text(const std::optional<std::string>& value) { return value ? *value : "(null)"; }
inline std::string text(const std::optional<platform::Date>& value) {
  return value ? value->description() : "(null)";
}
inline std::string text(const std::optional<platform::URL>& value) {
  return value ? value->absoluteString() : "(null)";
}

// A list as "(\n    a,\n    b\n)", "()" when empty.
inline std::string list(const std::vector<std::string>& items) {
  if (items.empty()) return "()";
  std::string out = "(\n";
  for (std::size_t i = 0; i < items.size(); ++i) {
    out += "    \"" + items[i] + "\"";
    out += i + 1 < items.size() ? ",\n" : "\n";
  }
  return out + ")";
}

inline std::string list(const std::optional<std::vector<platform::URL>>& urls) {
  if (!urls) return "(null)";
  std::vector<std::string> texts;
  for (const auto& url : *urls) texts.push_back(url.absoluteString());
  return list(texts);
}

}  // namespace vozi::recorddescription

#include "common/UserDefaultsMigration.h"

#include <cctype>
#include <cstdio>

#include "common/MLog.h"
#include "common/Process.h"
#include "platform/Hex.h"

namespace vozi {

namespace {

bool isPlainWord(const std::string& text) {
  if (text.empty()) return false;
  for (unsigned char c : text)
    if (!std::isalnum(c) && c != '.' && c != '_' && c != '-') return false;
  return true;
}

std::string quoted(const std::string& text) {
  if (isPlainWord(text)) return text;
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

}  // namespace

std::string UserDefaultsMigration::description(const platform::Value& value) {
  using Type = platform::Value::Type;
  switch (value.type()) {
    case Type::null:
      return "<null>";
    case Type::boolean:
      return *value.asBool() ? "1" : "0";
    case Type::integer:
      return value.isUnsigned() ? std::to_string(*value.asUInt64()) : std::to_string(*value.asInt64());
    case Type::real: {
      char buffer[64];
      std::snprintf(buffer, sizeof buffer, "%.17g", *value.asDouble());
      return buffer;
    }
    case Type::string:
      return quoted(*value.asString());
    case Type::data: {
      return "{length = " + std::to_string(value.asData()->size()) +
             ", bytes = 0x" + platform::Hex::encode(*value.asData()) + "}";
    }
    case Type::date:
      return value.asDate()->description();
    case Type::array: {
      std::string out = "(";
      bool first = true;
      for (const auto& element : *value.asArray()) {
        if (!first) out += ", ";
        first = false;
        out += description(element);
      }
      return out + ")";
    }
    case Type::dictionary: {
      std::string out = "{";
      bool first = true;
      for (const auto& [key, element] : *value.asDictionary()) {
        if (!first) out += " ";
        first = false;
        out += quoted(key) + " = " + description(element) + ";";
      }
      return out + "}";
    }
  }
  return {};
}

void UserDefaultsMigration::migrateSuitName(platform::UserDefaults& receiver, const std::string& suiteName) {
  const auto suite = platform::UserDefaults::suite(suiteName, receiver.preferencesFolder());
  if (!suite) return;
  if (suite->domainName() == receiver.domainName()) {
    // Deleting the "old" suite would delete the receiver's own settings.
    MLog("can not migrate settings of " + suiteName + " into itself");
    return;
  }
  if (const auto error = suite->loadError()) {
    // What could not be read must not be deleted.
    MLog("can not read settings to migrate from " + suiteName + ": " + error->localizedDescription());
    return;
  }

  const platform::Value::Dictionary settings = suite->persistentDomain();
  if (settings.empty()) {
    MLog("no settings to migrate");
  } else {
    receiver.registerDefaults(settings);
    const platform::Value::Dictionary own = receiver.persistentDomain();
    for (const auto& [key, value] : settings)
      if (!own.contains(key)) receiver.set(value, key);
    const platform::Result<void> saved = receiver.synchronize();
    if (!saved) {
      // Keep the old suite: it is still the only place these settings live.
      MLog("can not keep migrated settings: " + saved.error().localizedDescription());
      return;
    }
    MLog("migrated settings: " + description(platform::Value(settings)));
  }

  const Process::Output result = Process::execute(
      BashCommand::defaults, std::vector<std::string>{std::string(rawValue(BashCommandDefaults::delete_)), suiteName});
  if (result.errorDescription) MLog(*result.errorDescription);
}

}  // namespace vozi

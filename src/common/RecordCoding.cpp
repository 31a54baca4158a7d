#include "common/RecordCoding.h"

#include "platform/CocoaError.h"

namespace vozi::recordcoding {

namespace {

void refuse(platform::KeyedUnarchiver& unarchiver, std::string_view key, const std::string& problem) {
  unarchiver.failWithError(platform::CocoaError::make(
      platform::CocoaError::coderReadCorrupt, "The data couldn't be read because it isn't in the correct format: the "
                                              "value for key '" + std::string(key) + "' " + problem + "."));
}

std::optional<platform::URL> urlFromArchive(std::string&& text) {
  // A scheme starts with a letter, so text that starts with "/" is a path.
  if (text.starts_with("/"))
    return text.find('\0') == std::string::npos ? std::optional(platform::URL::fileURLWithPath(text)) : std::nullopt;
  return platform::URL::fromString(std::move(text));
}

}  // namespace

void encodeUInt64(platform::KeyedArchiver& archiver, std::string_view key, std::uint64_t value) {
  archiver.encodePropertyList(key, platform::Value(value));
}

std::uint64_t decodeUInt64(platform::KeyedUnarchiver& unarchiver, std::string_view key) {
  if (!unarchiver.containsValueForKey(key)) return 0;
  const auto number = unarchiver.decodePropertyListForKey(key);
  if (!number || number->isNull()) return 0;
  if (number->isInteger()) {
    if (auto value = number->asUInt64()) return *value;
    if (auto value = number->asInt64()) return static_cast<std::uint64_t>(*value);
  }
  refuse(unarchiver, key, "is not a whole number");
  return 0;
}

std::string decodeRequiredString(platform::KeyedUnarchiver& unarchiver, std::string_view key) {
  auto text = unarchiver.decodeStringForKey(key);
  if (text) return std::move(*text);
  if (!unarchiver.error()) refuse(unarchiver, key, "is missing");
  return {};
}

void encodeURL(platform::KeyedArchiver& archiver, std::string_view key, const std::optional<platform::URL>& url) {
  if (url) {
    archiver.encodeURL(key, url->absoluteString());
  } else {
    archiver.encodeNull(key);
  }
}

std::optional<platform::URL> decodeURL(platform::KeyedUnarchiver& unarchiver, std::string_view key) {
  auto text = unarchiver.decodeURLForKey(key);
  if (!text) return std::nullopt;
  auto url = urlFromArchive(std::move(*text));
  if (!url) refuse(unarchiver, key, "is not an absolute URL");
  return url;
}

std::optional<platform::URL> decodeFileURL(platform::KeyedUnarchiver& unarchiver, std::string_view key) {
  auto url = decodeURL(unarchiver, key);
  if (!url || url->isFileURL()) return url;
  refuse(unarchiver, key, "is not a file URL");
  return std::nullopt;
}

platform::URL decodeRequiredFileURL(platform::KeyedUnarchiver& unarchiver, std::string_view key) {
  if (auto url = decodeFileURL(unarchiver, key)) return std::move(*url);
  if (!unarchiver.error()) refuse(unarchiver, key, "is missing");
  return platform::URL::fileURLWithPath("/");
}

void encodeURLs(platform::KeyedArchiver& archiver, std::string_view key,
                const std::optional<std::vector<platform::URL>>& urls) {
  if (!urls) {
    archiver.encodeNull(key);
    return;
  }
  std::vector<std::string> texts;
  texts.reserve(urls->size());
  for (const auto& url : *urls) texts.push_back(url.absoluteString());
  archiver.encodeURLArray(key, texts);
}

std::optional<std::vector<platform::URL>> decodeURLs(platform::KeyedUnarchiver& unarchiver, std::string_view key) {
  auto texts = unarchiver.decodeURLArrayForKey(key);
  if (!texts) return std::nullopt;
  std::vector<platform::URL> urls;
  urls.reserve(texts->size());
  for (auto& text : *texts) {
    auto url = urlFromArchive(std::move(text));
    if (!url) {
      refuse(unarchiver, key, "holds text that is not an absolute URL");
      return std::nullopt;
    }
    urls.push_back(std::move(*url));
  }
  return urls;
}

}  // namespace vozi::recordcoding

#include "common/URLExtensions.h"

#include <algorithm>
#include <cstring>

#include "platform/ResourceValues.h"
#include "platform/Unicode.h"

namespace vozi {

namespace {

std::optional<platform::Date> dateAttribute(const platform::Value::Dictionary& attributes, const char* key) {
  const auto it = attributes.find(key);
  if (it == attributes.end()) return std::nullopt;
  return it->second.asDate();
}

bool isASCII(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

char foldASCII(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }

// `fragment` is not empty.
bool containsFoldingASCII(std::string_view text, std::string_view fragment) {
  if (fragment.size() > text.size()) return false;
  // Candidates are found by the first letter in either case (memchr is
  // vectorised), then checked whole.
  const char lower = foldASCII(fragment.front());
  const char upper = lower >= 'a' && lower <= 'z' ? static_cast<char>(lower - ('a' - 'A')) : lower;
  const char* const end = text.data() + (text.size() - fragment.size()) + 1;  // past the last start
  const auto find = [end](const char* from, char c) {
    return from < end ? static_cast<const char*>(std::memchr(from, c, static_cast<std::size_t>(end - from))) : nullptr;
  };
  // The next place of each case; a case not found again is not looked for again.
  const char* nextLower = find(text.data(), lower);
  const char* nextUpper = upper == lower ? nullptr : find(text.data(), upper);
  while (nextLower || nextUpper) {
    const bool takeLower = nextLower && (!nextUpper || nextLower < nextUpper);
    const char* candidate = takeLower ? nextLower : nextUpper;
    std::size_t i = 1;
    while (i < fragment.size() && foldASCII(candidate[i]) == foldASCII(fragment[i])) ++i;
    if (i == fragment.size()) return true;
    if (takeLower)
      nextLower = find(candidate + 1, lower);
    else
      nextUpper = find(candidate + 1, upper);
  }
  return false;
}

}  // namespace

bool URLExtensions::caseInsensitiveContains(std::string_view path, const std::vector<std::string>& fragments) {
  if (fragments.empty()) return false;
  // Every path the walks see goes through here: an ASCII path and fragment
  // are compared in place. Other text is lowercased first (a non-ASCII
  // letter may lowercase to an ASCII one).
  const bool asciiPath = isASCII(path);
  std::optional<std::string> lowered;
  for (const auto& fragment : fragments) {
    if (fragment.empty()) continue;
    if (asciiPath && isASCII(fragment)) {
      if (containsFoldingASCII(path, fragment)) return true;
      continue;
    }
    if (!lowered) lowered = platform::Unicode::lowercased(path);
    if (lowered->find(platform::Unicode::lowercased(fragment)) != std::string::npos) return true;
  }
  return false;
}

std::optional<URLExtensions::ResourceDates> URLExtensions::resourceDates(const std::string& path) {
  using platform::ResourceKeys;
  const auto values = platform::ResourceValues::readInTree(path, ResourceKeys::ContentAccessDate | ResourceKeys::CreationDate);
  if (!values) return std::nullopt;
  ResourceDates dates;
  dates.contentAccessDate = values->contentAccessDate;
  dates.creationDate = values->creationDate;
  return dates;
}

std::optional<platform::Date> URLExtensions::lastAccessDate(const std::optional<ResourceDates>& values) {
  if (!values) return std::nullopt;
  if (values->contentAccessDate) return values->contentAccessDate;
  const auto& added = values->addedToDirectoryDate;
  const auto& created = values->creationDate;
  if (added && created) return *added > *created ? added : created;
  return added ? added : created;
}

std::optional<platform::Date> URLExtensions::lastAccessDateFromIndex(const std::string&) {
  return lastAccessDateFromMetadata({});
}

std::optional<platform::Date> URLExtensions::lastAccessDateFromMetadata(const platform::Value::Dictionary& attributes) {
  if (auto lastUsed = dateAttribute(attributes, kLastUsedDate)) return lastUsed;
  const auto added = dateAttribute(attributes, kDateAdded);
  const auto modified = dateAttribute(attributes, kContentModificationDate);
  if (added && modified)
    return added->timeIntervalSince1970() > modified->timeIntervalSince1970() ? added : modified;
  return added ? added : modified;
}

}  // namespace vozi

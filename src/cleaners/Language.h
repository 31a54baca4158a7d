#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "platform/URL.h"
#include "platform/Value.h"

namespace vozi {

// One localisation language found on disk: its two-letter code, its name
// as the code table spells it, the ".lproj" folders that hold it and their
// total size. The class-level table and lookups serve every localisation
// scan.
class Language {
 public:
  static constexpr std::string_view kLanguageExtension = ".lproj";

  // The 111 (code, name) rows, codes and names each unique.
  static const std::vector<std::pair<std::string_view, std::string_view>>& languageNamesTable();
  // Code -> name, and the reverse.
  static std::optional<std::string_view> nameOfCode(std::string_view code);
  static std::optional<std::string_view> codeOfName(std::string_view name);
  // Codes never offered for deletion: "en".
  static const std::unordered_set<std::string>& systemIntegrityImportantLanguageNames();

  // From a code ("fr") or a name ("French"): code "fr", name "French". Any
  // other text stays the name, with code "".
  explicit Language(std::string withName);

  // The table's name of a folder's language: "French" for "fr.lproj",
  // "fr_CA.lproj", "FR.lproj" or "French.lproj"; none for a folder that is
  // no language ("Base.lproj", "no.lproj", "x.lproj", ".lproj", "").
  static std::optional<std::string> getLangName(std::string_view folderName);
  // The first component of a path that holds ".lproj" (a localisation
  // folder nested in another counts under the outer one's language); a view
  // into the path given.
  static std::optional<std::string_view> firstLanguageComponent(std::string_view path);

  std::vector<platform::URL> urls;
  std::string name;
  std::string fullName;
  std::uint64_t size = 0;

  // Deletes every folder of urls (never through a link) and answers the
  // bytes their files held; a folder that cannot be deleted is logged and
  // not counted. urls and size stay as they are.
  std::uint64_t purge() const;

  // "sectionName": fullName, "sectionSize": size.
  platform::Value::Dictionary asDictionary() const;
  // "Name = French, Size = 0, Files = 0".
  std::string debugDescription() const;

  // One language per code: a record made from "fr" equals one from "French".
  bool operator==(const Language& other) const { return name == other.name; }
};

}  // namespace vozi

template <>
struct std::hash<vozi::Language> {
  std::size_t operator()(const vozi::Language& language) const { return std::hash<std::string>{}(language.name); }
};

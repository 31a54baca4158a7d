#include "cleaners/Language.h"

#include <unordered_map>

#include "common/MLog.h"
#include "common/StringExtensions.h"
#include "platform/TreeRemoval.h"

namespace vozi {

namespace {

struct Table {
  std::vector<std::pair<std::string_view, std::string_view>> rows;
  std::unordered_map<std::string_view, std::string_view> nameOfCode;
  std::unordered_map<std::string_view, std::string_view> codeOfName;
};

const Table& table() {
  static const Table built = [] {
    Table made;
    made.rows = {
        {"en", "English"},    {"fr", "French"},      {"de", "German"},       {"it", "Italian"},
        {"nl", "Dutch"},      {"sv", "Swedish"},     {"es", "Spanish"},      {"da", "Danish"},
        {"nb", "Norwegian"},  {"he", "Hebrew"},      {"ja", "Japanese"},     {"ar", "Arabic"},
        {"fi", "Finnish"},    {"el", "Greek"},       {"is", "Icelandic"},    {"mt", "Maltese"},
        {"tr", "Turkish"},    {"hr", "Croatian"},    {"zh", "Chinese"},      {"ur", "Urdu"},
        {"hi", "Hindi"},      {"th", "Thai"},        {"ko", "Korean"},       {"lt", "Lithuanian"},
        {"pl", "Polish"},     {"hu", "Hungarian"},   {"et", "Estonian"},     {"lv", "Latvian"},
        {"se", "Sami"},       {"fo", "Faroese"},     {"fa", "Farsi"},        {"ru", "Russian"},
        {"pt", "Portugal"},   {"jp", "Japan"},       {"ga", "Irish"},        {"sq", "Albanian"},
        {"ro", "Romanian"},   {"cs", "Czech"},       {"sk", "Slovak"},       {"sl", "Slovenian"},
        {"yi", "Yiddish"},    {"sr", "Serbian"},     {"mk", "Macedonian"},   {"bg", "Bulgarian"},
        {"uk", "Ukrainian"},  {"be", "Byelorussian"}, {"uz", "Uzbek"},       {"kk", "Kazakh"},
        {"az", "Azerbaijani"}, {"hy", "Armenian"},   {"ka", "Georgian"},     {"mo", "Moldavian"},
        {"ky", "Kirghiz"},    {"tg", "Tajiki"},      {"tk", "Turkmen"},      {"mn", "Mongolian"},
        {"ps", "Pashto"},     {"ku", "Kurdish"},     {"ks", "Kashmiri"},     {"sd", "Sindhi"},
        {"bo", "Tibetan"},    {"ne", "Nepali"},      {"sa", "Sanskrit"},     {"mr", "Marathi"},
        {"bn", "Bengali"},    {"as", "Assamese"},    {"gu", "Gujarati"},     {"pa", "Punjabi"},
        {"or", "Oriya"},      {"ml", "Malayalam"},   {"kn", "Kannada"},      {"ta", "Tamil"},
        {"te", "Telugu"},     {"si", "Sinhalese"},   {"my", "Burmese"},      {"km", "Khmer"},
        {"lo", "Lao"},        {"vi", "Vietnamese"},  {"id", "Indonesian"},   {"tl", "Tagalog"},
        {"ms", "Malay"},      {"am", "Amharic"},     {"ti", "Tigrinya"},     {"om", "Oromo"},
        {"so", "Somali"},     {"sw", "Swahili"},     {"rw", "Kinyarwanda"},  {"rn", "Rundi"},
        {"mg", "Malagasy"},   {"eo", "Esperanto"},   {"cy", "Welsh"},        {"eu", "Basque"},
        {"ca", "Catalan"},    {"la", "Latin"},       {"qu", "Quechua"},      {"gn", "Guarani"},
        {"ay", "Aymara"},     {"tt", "Tatar"},       {"ug", "Uighur"},       {"dz", "Dzongkha"},
        {"jv", "Javanese"},   {"su", "Sundanese"},   {"gl", "Galician"},     {"af", "Afrikaans"},
        {"br", "Breton"},     {"iu", "Inuktitut"},   {"gd", "Scottish"},     {"gv", "Manx"},
        {"to", "Tongan"},     {"kl", "Greenlandic"}, {"nn", "Nynorsk"},
    };
    for (const auto& [code, name] : made.rows) {
      made.nameOfCode.emplace(code, name);
      made.codeOfName.emplace(name, code);
    }
    return made;
  }();
  return built;
}

}  // namespace

const std::vector<std::pair<std::string_view, std::string_view>>& Language::languageNamesTable() { return table().rows; }

std::optional<std::string_view> Language::nameOfCode(std::string_view code) {
  const auto& map = table().nameOfCode;
  const auto found = map.find(code);
  return found == map.end() ? std::nullopt : std::optional<std::string_view>(found->second);
}

std::optional<std::string_view> Language::codeOfName(std::string_view name) {
  const auto& map = table().codeOfName;
  const auto found = map.find(name);
  return found == map.end() ? std::nullopt : std::optional<std::string_view>(found->second);
}

const std::unordered_set<std::string>& Language::systemIntegrityImportantLanguageNames() {
  static const std::unordered_set<std::string> names{"en"};
  return names;
}

Language::Language(std::string withName) {
  if (const auto named = nameOfCode(withName)) {
    fullName = std::string(*named);
    name = std::move(withName);
    return;
  }
  if (const auto code = codeOfName(withName)) name = std::string(*code);
  fullName = std::move(withName);
}

std::optional<std::string> Language::getLangName(std::string_view folderName) {
  if (folderName.empty()) return std::nullopt;
  std::string stem(folderName);
  if (folderName.ends_with(kLanguageExtension)) {
    for (auto at = stem.find(kLanguageExtension); at != std::string::npos; at = stem.find(kLanguageExtension, at)) {
      stem.erase(at, kLanguageExtension.size());
    }
  }
  if (codeOfName(stem)) return stem;
  if (stem.size() < 2) return std::nullopt;
  const std::string code = asciiLowercased(std::string_view(stem).substr(0, 2));
  if (const auto named = nameOfCode(code)) return std::string(*named);
  return std::nullopt;
}

std::optional<std::string_view> Language::firstLanguageComponent(std::string_view path) {
  while (!path.empty()) {
    const auto slash = path.find('/');
    const std::string_view component = path.substr(0, slash);
    if (component.find(kLanguageExtension) != std::string_view::npos) return component;
    if (slash == std::string_view::npos) break;
    path.remove_prefix(slash + 1);
  }
  return std::nullopt;
}

std::uint64_t Language::purge() const {
  std::uint64_t total = 0;
  for (const platform::URL& url : urls) {
    MLog("Remove: " + url.absoluteString());
    const auto removed = platform::TreeRemoval::removeItem(url.path());
    if (!removed) {
      MLogf("Error delete file: %@", removed.error().localizedDescription());
      continue;
    }
    total += removed->bytes;
  }
  return total;
}

platform::Value::Dictionary Language::asDictionary() const {
  return {
      {"sectionName", platform::Value(fullName)},
      {"sectionSize", platform::Value(static_cast<unsigned long long>(size))},
  };
}

std::string Language::debugDescription() const {
  return "Name = " + fullName + ", Size = " + std::to_string(size) + ", Files = " + std::to_string(urls.size());
}

}  // namespace vozi

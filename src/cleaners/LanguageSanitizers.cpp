#include "cleaners/LanguageSanitizers.h"

#include <algorithm>

#include "common/ApplicationItem.h"
#include "common/FileManager.h"
#include "common/FileManagerAdditions.h"
#include "common/MLog.h"
#include "common/StringExtensions.h"
#include "platform/HostRoot.h"
#include "platform/PathComponents.h"
#include "sanitizers/ApplicationsScanningOperation.h"

namespace vozi {

namespace {

bool isKept(const std::string& code, const std::vector<std::string>& excludeLangs) {
  return Language::systemIntegrityImportantLanguageNames().contains(code) ||
         std::find(excludeLangs.begin(), excludeLangs.end(), code) != excludeLangs.end();
}

}  // namespace

std::pair<std::uint64_t, std::vector<std::shared_ptr<Language>>> LanguageSanitizer::langs(
    const platform::DispatchWorkItem& dispatchWorkItem, const std::vector<std::string>& excludeLangs) {
  languages_.clear();
  size = 0;
  for (const std::string& dir : dirs()) {
    if (dispatchWorkItem.isCancelled()) break;
    platform::DirectoryWalker::walk(dir, platform::DirectoryEnumerationOptions::None,
                                    [&](const platform::DirectoryWalker::Entry& entry) {
                                      if (dispatchWorkItem.isCancelled()) return platform::WalkAction::Stop;
                                      if (!accepts(entry)) return platform::WalkAction::SkipDescendants;
                                      if (!entry.path().ends_with(Language::kLanguageExtension))
                                        return platform::WalkAction::Continue;
                                      const std::uint64_t bytes = FileManager::directorySize(entry.path());
                                      if (!addFileToLang(entry.path(), bytes, excludeLangs))
                                        return platform::WalkAction::Continue;
                                      size += bytes;
                                      return platform::WalkAction::SkipDescendants;
                                    });
  }
  std::pair<std::uint64_t, std::vector<std::shared_ptr<Language>>> result{size, {}};
  for (const Language& language : languages_) result.second.push_back(std::make_shared<Language>(language));
  return result;
}

bool LanguageSanitizer::addFileToLang(const std::string& path, std::uint64_t bytes,
                                      const std::vector<std::string>& excludeLangs) {
  const std::string tree = platform::HostRoot::unresolve(path);
  const auto component = Language::firstLanguageComponent(tree);
  if (!component) return false;
  const auto fullName = Language::getLangName(*component);
  if (!fullName) return false;
  Language found(*fullName);
  const auto held = std::find(languages_.begin(), languages_.end(), found);
  if (held == languages_.end()) {
    if (isKept(found.name, excludeLangs)) {
      MLogf("Excluded language: %@", found.name);
      return false;
    }
    found.urls.push_back(platform::URL::fileURLWithPath(path, true));
    found.size += bytes;
    languages_.push_back(std::move(found));
    return true;
  }
  held->urls.push_back(platform::URL::fileURLWithPath(path, true));
  held->size += bytes;
  return true;
}

std::optional<Language> LanguageSanitizer::deletable(const Language& language) const {
  if (Language::systemIntegrityImportantLanguageNames().contains(language.name)) return std::nullopt;
  Language kept = language;
  kept.urls.clear();
  for (const platform::URL& url : language.urls) {
    const std::string path(platform::PathComponents::withoutTrailingSlashes(url.path()));
    bool inside = false;
    for (const std::string& dir : dirs()) inside = inside || platform::PathComponents::isInside(path, dir);
    if (inside && path.ends_with(Language::kLanguageExtension)) {
      kept.urls.push_back(url);
    } else {
      MLog("Not a localisation of this sanitizer's folders, left alone: " + path);
    }
  }
  return kept;
}

std::uint64_t LanguageSanitizer::purge(const Sizes& details) {
  std::uint64_t total = 0;
  for (const auto& [key, bytes] : details) {
    for (const Language& language : languages_) {
      if (language.fullName != key) continue;
      const auto removable = deletable(language);
      if (!removable) {
        MLogf("Language %@ not found", key);
        continue;
      }
      MLogf("Clean language: %@", key);
      total += removable->purge();
    }
  }
  return total;
}

std::pair<std::uint64_t, std::vector<Language>> LanguageSanitizer::purge(
    const Sizes& what, const std::vector<Language>& found, const platform::DispatchWorkItem& dispatchWorkItem) {
  std::pair<std::uint64_t, std::vector<Language>> removed;
  MLog("exists languages: " + std::to_string(found.size()));
  for (const auto& [key, bytes] : what) {
    if (dispatchWorkItem.isCancelled()) break;
    MLog("--> clean " + key);
    const auto language = std::find_if(found.begin(), found.end(), [&key](const Language& l) { return l.fullName == key; });
    const auto removable = language == found.end() ? std::nullopt : deletable(*language);
    if (!removable) {
      MLogf("Language %@ not found", key);
      continue;
    }
    removed.first += removable->purge();
    removed.second.push_back(*removable);
  }
  return removed;
}

SystemLangsSanitizer::SystemLangsSanitizer(const std::string& userName)
    : LanguageSanitizer([&userName] {
        std::vector<std::string> dirs{platform::HostRoot::resolve("/Library"),
                                      platform::HostRoot::resolve("/System/Library")};
        for (std::string& library : FileManagerAdditions::usersLibrary(userName)) dirs.push_back(std::move(library));
        return dirs;
      }()),
      userName_(userName) {}

bool SystemLangsSanitizer::accepts(const platform::DirectoryWalker::Entry& entry) {
  return !entry.path().ends_with(Language::kLanguageExtension) || entry.isDeletable();
}

AppsLangsSanitizer::AppsLangsSanitizer(const std::string& userName)
    : LanguageSanitizer([&userName] {
        std::vector<std::string> dirs;
        if (auto applications = FileManagerAdditions::applicationsDirectory()) dirs.push_back(std::move(*applications));
        for (std::string& own : FileManagerAdditions::usersDomainMaskFor(platform::SearchPathDirectory::Applications,
                                                                         platform::FileManager::defaultManager(),
                                                                         userName)) {
          if (std::find(dirs.begin(), dirs.end(), own) == dirs.end()) dirs.push_back(std::move(own));
        }
        return dirs;
      }()) {}

bool AppsLangsSanitizer::filterSystemApplication(const std::string& path) {
  std::size_t end = 0;
  while ((end = path.find(ApplicationsScanningOperation::kApplicationBundleExtension, end)) != std::string::npos) {
    end += std::string_view(ApplicationsScanningOperation::kApplicationBundleExtension).size();
    if (end != path.size() && path[end] != '/') continue;
    const std::string bundle = path.substr(0, end);
    if (const auto known = decided_.find(bundle); known != decided_.end()) return known->second;
    const auto identifier = ApplicationItem::bundleID(platform::URL::fileURLWithPath(bundle, true));
    if (!identifier) continue;
    const std::string lower = asciiLowercased(*identifier);
    const bool system = ApplicationsScanningOperation::isSystemApplication(lower) || lower.starts_with("com.microsoft");
    decided_[bundle] = system;
    return system;
  }
  return false;
}

bool AppsLangsSanitizer::accepts(const platform::DirectoryWalker::Entry& entry) {
  return !filterSystemApplication(entry.path());
}

}  // namespace vozi

#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "cleaners/Language.h"
#include "platform/DirectoryWalker.h"
#include "sanitizers/Sanitizer.h"

namespace vozi {

// The localisations of the synchronous family: the ".lproj" folders below
// the sanitizer's folders, one Language per code, English (and the codes a
// caller keeps) never among them, and the purge of the languages chosen.
//
// Each walk starts afresh. A folder filed under a language is measured
// whole and not entered, so nothing inside it is filed again. A purge
// deletes only folders inside the sanitizer's own folders, and never a
// language kept by the system.
class LanguageSanitizer : public Sanitizer {
 public:
  using Sanitizer::purge;
  using Sanitizer::Sanitizer;
  std::string name() const override { return "LanguageSanitizer"; }

  // The languages of the last walk, in the order they were first met.
  const std::vector<Language>& languages() const { return languages_; }
  void setLanguages(std::vector<Language> languages) { languages_ = std::move(languages); }
  std::uint64_t size = 0;

  // Walks the folders; (bytes filed, the languages). A cancelled work item
  // stops the walk where it is.
  std::pair<std::uint64_t, std::vector<std::shared_ptr<Language>>> langs(
      const platform::DispatchWorkItem& dispatchWorkItem, const std::vector<std::string>& excludeLangs) override;
  // Files a ".lproj" folder under its language; false when it is no
  // language's or a kept one (logged).
  bool addFileToLang(const std::string& path, std::uint64_t bytes, const std::vector<std::string>& excludeLangs);

  // Deletes the languages (full names) of the last walk.
  std::uint64_t purge(const Sizes& details) override;
  // Deletes the chosen languages (full names) of a kept result.
  std::pair<std::uint64_t, std::vector<Language>> purge(const Sizes& what, const std::vector<Language>& found,
                                                        const platform::DispatchWorkItem& dispatchWorkItem);

 protected:
  // Whether the walk looks at the entry (and below it) at all.
  virtual bool accepts(const platform::DirectoryWalker::Entry& entry) = 0;

 private:
  // The language with only its folders that lie inside this sanitizer's
  // folders; none for a kept language.
  std::optional<Language> deletable(const Language& language) const;

  std::vector<Language> languages_;
};

// The system's and the user's libraries: "/Library", "/System/Library" and
// the user's Library; only folders this process may delete are filed.
class SystemLangsSanitizer : public LanguageSanitizer {
 public:
  explicit SystemLangsSanitizer(const std::string& userName);
  std::string name() const override { return "SystemLangsSanitizer"; }
  const std::string& userName() const { return userName_; }

 protected:
  bool accepts(const platform::DirectoryWalker::Entry& entry) override;

 private:
  std::string userName_;
};

// The applications ("/Applications" and the user's own): every bundle but
// the system's and those whose identifier starts with "com.microsoft",
// decided once per bundle.
class AppsLangsSanitizer : public LanguageSanitizer {
 public:
  explicit AppsLangsSanitizer(const std::string& userName);
  std::string name() const override { return "AppsLangsSanitizer"; }

  // True for an entry inside (or being) a system application's bundle.
  bool filterSystemApplication(const std::string& path);

 protected:
  bool accepts(const platform::DirectoryWalker::Entry& entry) override;

 private:
  // Bundle path -> whether it is a system application's.
  std::map<std::string, bool> decided_;
};

}  // namespace vozi

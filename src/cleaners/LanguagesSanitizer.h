#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "cleaners/Language.h"
#include "common/ApplicationItem.h"
#include "common/ApplicationsLanguagesGroup.h"
#include "common/FileItem.h"
#include "common/FileManagerAdditions.h"
#include "common/LanguageItem.h"
#include "common/LanguagesGroup.h"
#include "common/MLog.h"
#include "common/StringExtensions.h"
#include "common/SystemLanguagesGroup.h"
#include "ipc/IUserAgentLink.h"
#include "platform/DirectoryWalker.h"
#include "sanitizers/ApplicationsScanningOperation.h"
#include "sanitizers/BaseFilesScanningOperation.h"
#include "sanitizers/FilesSanitizer.h"

namespace vozi {

// The scan of a localisations group: the ".lproj" folders this process may
// delete, one LanguageItem per language code (the group's key) holding one
// FileItem per folder, English never among them.
//
// - The system group walks the session user's Library, as the agent link
//   names it; the applications group walks "/Applications". Any other group
//   walks nothing. The link is asked once per operation.
// - Application bundles are walked, but for the system's own and those
//   whose identifier starts with "com.microsoft" (any letter case).
// - A folder's language is that of the first ".lproj" component of its
//   path below the walked root (Language::getLangName); a folder with no
//   language is left alone. An offered folder is measured whole and not
//   entered, so nothing inside it is offered a second time.
// - Sizes are walked sizes: a file item carries its folder's, a language
//   item the sum of its files, the group the sum of its languages.
//
// Progress: one unit per entry met, skipped bundles and offered folders
// counting everything below them, so the units add up to the total counted
// first. Cancellation ends the walk at the next entry; the completion then
// gets (nothing, true). Runs on the operation's thread.
template <typename Group>
class LanguagesScanningOperation : public BaseFilesScanningOperation<Group> {
 public:
  using Base = BaseFilesScanningOperation<Group>;
  using typename Base::Completion;
  using typename Base::GroupPtr;
  using typename Base::ProgressHandler;

  static constexpr const char* kItemIdentifier = "itemIdentifier";
  static constexpr const char* kFileIdentifier = "fileIdentifier";
  static constexpr std::string_view kMicrosoftPrefix = "com.microsoft";

  LanguagesScanningOperation(GroupPtr itemGroup, Completion completion, ProgressHandler progressHandler,
                             std::shared_ptr<IUserAgentLink> userAgentLink)
      : Base(std::move(itemGroup), std::move(completion), std::move(progressHandler)),
        userAgentLink_(std::move(userAgentLink)) {}

  std::vector<std::string> scanningRoots() override {
    if (!scanningURLs_) scanningURLs_ = findRoots();
    return *scanningURLs_;
  }

  void main() override {
    MLog("start languages scanning operation in " + this->itemGroup()->description());
    const FileManager fileManager;
    const std::vector<std::string> roots = scanningRoots();
    const auto canceller = [this] { return this->isCancelled(); };
    if (this->shouldCalculateDuration()) {
      this->setDuration(fileManager.numberOfPaths(roots, FileManager::Options::None, canceller));
    }
    for (const std::string& root : roots) {
      if (this->isCancelled()) break;
      platform::DirectoryWalker::walk(root, platform::DirectoryEnumerationOptions::None,
                                      [&](const platform::DirectoryWalker::Entry& entry) {
                                        if (this->isCancelled()) return platform::WalkAction::Stop;
                                        if (handleSubpath(entry.path()) == FileManagerEnumerationAction::skipPath)
                                          return platform::WalkAction::SkipDescendants;
                                        this->incrementProgress(1);
                                        const auto offered = addItemIfNeeded(
                                            entry, Language::systemIntegrityImportantLanguageNames(), *this->itemGroup());
                                        if (!offered) return platform::WalkAction::Continue;
                                        this->incrementProgress(offered->entries);
                                        return platform::WalkAction::SkipDescendants;
                                      });
    }
    this->finishScan();
  }

  // The support-folder rule, then the bundles not to walk.
  FileManagerEnumerationAction handleSubpath(const std::string& path) override {
    const FileManagerEnumerationAction action = Base::handleSubpath(path);
    if (action != FileManagerEnumerationAction::continueEnumeration) return action;
    this->handleBackgroundScan();
    if (!path.ends_with(ApplicationsScanningOperation::kApplicationBundleExtension)) return action;
    if (!platform::FileManager::defaultManager().isDirectory(path)) return action;
    const auto identifier = ApplicationItem::bundleID(platform::URL::fileURLWithPath(path, true));
    if (!identifier) return action;
    const std::string lower = asciiLowercased(*identifier);
    if (!ApplicationsScanningOperation::isSystemApplication(lower) && !lower.starts_with(kMicrosoftPrefix)) return action;
    if (this->shouldCalculateDuration()) this->incrementProgress(measure(path).entries + 1);
    return FileManagerEnumerationAction::skipPath;
  }

  // What lies below an offered folder.
  struct Measure {
    std::uint64_t bytes = 0;
    std::uint64_t entries = 0;
  };

  // Files the entry into the group when it is an offered localisation
  // folder, and tells what lies below it; none when it is not offered.
  std::optional<Measure> addItemIfNeeded(const platform::DirectoryWalker::Entry& entry,
                                         const std::unordered_set<std::string>& languagesToExclude,
                                         Group& group) const {
    if (!entry.path().ends_with(Language::kLanguageExtension) || !entry.isDeletable()) return std::nullopt;
    const auto component = Language::firstLanguageComponent(entry.relativePath());
    if (!component) return std::nullopt;
    const auto languageName = Language::getLangName(*component);
    if (!languageName) return std::nullopt;
    const auto code = Language::codeOfName(*languageName);
    if (!code || languagesToExclude.contains(std::string(*code))) return std::nullopt;

    Measure measured;
    if (entry.isDirectory()) {
      measured = measure(entry.path());
    } else if (const auto values = entry.resourceValues(platform::ResourceKeys::FileSize)) {
      measured.bytes = values->fileSize.value_or(0);
    }
    const std::uint64_t size = measured.bytes;
    auto file = std::make_shared<FileItem>(platform::URL::fileURLWithPath(entry.path(), entry.isDirectory()), size,
                                           std::nullopt, kFileIdentifier);
    if (auto existing = std::dynamic_pointer_cast<LanguageItem>(group.itemForKey(std::string(*code)))) {
      existing->addItem(file);
      group.setSize(group.size() + size);
    } else {
      auto item = std::make_shared<LanguageItem>(std::string(*code), 0, nullptr, kItemIdentifier, nullptr, nullptr);
      item->addItem(file);
      group.addItem(item);
    }
    return measured;
  }

 private:
  std::vector<std::string> findRoots() const {
    const ItemGroup* group = this->itemGroup().get();
    if (dynamic_cast<const SystemLanguagesGroup*>(group) != nullptr) {
      auto library = userAgentLink_ ? userAgentLink_->libraryDirectory()
                                    : platform::Result<std::string>(UserAgentManagerError::make());
      if (library) return {std::move(*library)};
      MLog("Couldn't get libraryDirectory from user agent");
      return {};
    }
    if (dynamic_cast<const ApplicationsLanguagesGroup*>(group) != nullptr) {
      if (auto applications = FileManagerAdditions::applicationsDirectory()) return {std::move(*applications)};
    }
    return {};
  }

  // The bytes of the files below a folder (links count as themselves) and
  // the number of entries, in one walk that follows no link.
  static Measure measure(const std::string& path) {
    Measure measured;
    platform::DirectoryWalker::walk(path, platform::DirectoryEnumerationOptions::None,
                                    [&measured](const platform::DirectoryWalker::Entry& inside) {
                                      ++measured.entries;
                                      if (!inside.isDirectory()) {
                                        const auto values = inside.resourceValues(platform::ResourceKeys::FileSize);
                                        if (values && values->fileSize) measured.bytes += *values->fileSize;
                                      }
                                      return platform::WalkAction::Continue;
                                    });
    return measured;
  }

  std::shared_ptr<IUserAgentLink> userAgentLink_;
  std::optional<std::vector<std::string>> scanningURLs_;
};

// The sanitizer of both localisation groups: the scan above, the generic
// file clean (FilesSanitizer's).
template <typename Group = LanguagesGroup>
class LanguagesSanitizer : public FilesSanitizer<Group> {
 public:
  using Base = FilesSanitizer<Group>;
  using Base::Base;
  using typename Base::GroupPtr;
  using typename Base::Operation;

 protected:
  std::shared_ptr<Operation> scanOperation(const GroupPtr& group, typename Operation::Completion completion,
                                           typename Operation::ProgressHandler progressHandler) override {
    return std::make_shared<LanguagesScanningOperation<Group>>(group, std::move(completion), std::move(progressHandler),
                                                               this->environment().userAgentLink);
  }
};

}  // namespace vozi

#include "server/ScanGroup.h"

#include <algorithm>

#include "cleaners/AppsSanitizer.h"
#include "cleaners/DuplicateSanitizer.h"
#include "cleaners/LanguageSanitizers.h"
#include "cleaners/MemorySanitizer.h"
#include "cleaners/OlderFileSanitizers.h"
#include "common/FileKinds.h"
#include "common/MLog.h"
#include "photos/PhotosDBCleaner.h"
#include "platform/ProcessUser.h"
#include "sanitizers/FolderSanitizers.h"
#include "store/MOApplicationsInstalled.h"
#include "store/MODuplicates.h"
#include "store/MODupsDetails.h"
#include "store/MOFile.h"
#include "store/MOLanguage.h"
#include "store/MOLanguageURL.h"
#include "store/MOScanGroup.h"
#include "store/MOScanSection.h"
#include "store/MOScanSubGroup.h"

namespace vozi {

namespace {

using Name = ScanSubGroup::Name;

std::uint64_t unsignedOf(std::int64_t stored) { return stored < 0 ? 0 : static_cast<std::uint64_t>(stored); }

std::vector<ModelFile> filesOf(const std::vector<std::shared_ptr<MOFile>>& records) {
  std::vector<ModelFile> files;
  for (const auto& record : records) {
    if (!record || !record->path()) continue;
    const auto kind = FileKinds::fileType(record->fileType().value_or("Documents"));
    files.emplace_back(*record->path(), unsignedOf(record->fileSize()),
                       record->lastOpen().value_or(platform::Date::distantPast()), kind);
  }
  return files;
}

template <typename T>
void removeEach(std::vector<T>& from, const std::vector<T>& removed) {
  for (const T& gone : removed) {
    const auto at = std::find(from.begin(), from.end(), gone);
    if (at != from.end()) from.erase(at);
  }
}

}  // namespace

// --- Subgroups -----------------------------------------------------------------

std::string_view ScanSubGroup::caseName(Name name) {
  switch (name) {
    case Name::systemCache: return "systemCache";
    case Name::systemLog: return "systemLog";
    case Name::userCache: return "userCache";
    case Name::userLog: return "userLog";
    case Name::develJunk: return "develJunk";
    case Name::i18nSystem: return "i18nSystem";
    case Name::i18nApps: return "i18nApps";
    case Name::mailAttachments: return "mailAttachments";
    case Name::photosCache: return "photosCache";
    case Name::trashBin: return "trashBin";
    case Name::temporaryFiles: return "temporaryFiles";
    case Name::appsLeftovers: return "appsLeftovers";
    case Name::memory: return "memory";
    case Name::shredder: return "shredder";
    case Name::applications: return "applications";
    case Name::duplicates: return "duplicates";
    case Name::bigFiles: return "bigFiles";
  }
  return "";
}

ScanSubGroup::ScanSubGroup(Name subgroupName, std::string user, std::string subgroupPath,
                           std::shared_ptr<IUserAgentLink> userAgentLink)
    : name(subgroupName), userName(std::move(user)), path(std::move(subgroupPath)) {
  set_sanitizer(userAgentLink);
}

ScanSubGroup::ScanSubGroup(const MOScanSubGroup& record, std::shared_ptr<IUserAgentLink> userAgentLink)
    : name(Name::temporaryFiles) {
  const auto known = record.name() ? fromRawValue<Name>(*record.name()) : std::nullopt;
  if (!known) {
    set_sanitizer(userAgentLink);
    return;
  }
  name = *known;
  size = unsignedOf(record.size());
  userName = record.userName().value_or("");
  path = record.path().value_or("");
  for (const auto& section : record.sections()) {
    if (section && section->name()) found[*section->name()] = unsignedOf(section->size());
  }
  foundMailAttachments = filesOf(record.mailAttachments());
  foundBigFiles = filesOf(record.bigFiles());
  for (const auto& app : record.appsInstalled()) {
    if (!app || !app->name() || !app->path()) continue;
    Application restored(*app->path(), app->name(), app->iconPath().value_or(""), unsignedOf(app->size()),
                         app->lastOpen().value_or(platform::Date::distantPast()),
                         app->timesLaunched());
    if (std::find(foundApps.begin(), foundApps.end(), restored) == foundApps.end()) foundApps.push_back(restored);
  }
  for (const auto& set : record.duplicates()) {
    if (!set || !set->name()) continue;
    std::optional<ModelDuplicate> restored;
    for (const auto& member : set->dups()) {
      if (!member || !member->path()) continue;
      ModelFile file(*member->path(), unsignedOf(member->size()), member->lastopen(), ZOLMFileItemType::documents);
      if (!restored) {
        restored.emplace(file);
      } else {
        restored->restore(file);
      }
    }
    if (restored) foundDups.push_back(*restored);
  }
  for (const auto& language : record.languages()) {
    if (!language || !language->fullName()) continue;
    Language restored(*language->fullName());
    restored.size = unsignedOf(language->size());
    for (const auto& url : language->urls()) {
      if (url && url->path()) restored.urls.push_back(platform::URL::fileURLWithPath(*url->path(), true));
    }
    if (std::find(foundLangs.begin(), foundLangs.end(), restored) == foundLangs.end()) foundLangs.push_back(restored);
  }
  set_sanitizer(userAgentLink);
}

void ScanSubGroup::set_sanitizer(const std::shared_ptr<IUserAgentLink>& userAgentLink) {
  MLogf("Set sanitizer: %@", std::string(rawValue(name)));
  switch (name) {
    case Name::systemCache: sanitizer = std::make_unique<SystemCacheSanitizer>(); break;
    case Name::systemLog: sanitizer = std::make_unique<SystemLogsSanitizer>(); break;
    case Name::userCache: sanitizer = UserCacheSanitizer::make(userName); break;
    case Name::userLog: sanitizer = UserLogsSanitizer::make(userName); break;
    case Name::develJunk: MLog("Can't set sanitizer. Name is invalid."); break;
    case Name::i18nSystem: sanitizer = std::make_unique<SystemLangsSanitizer>(userName); break;
    case Name::i18nApps: sanitizer = std::make_unique<AppsLangsSanitizer>(userName); break;
    case Name::mailAttachments: sanitizer = MailAttachmentsSanitizer::make(userName); break;
    case Name::photosCache: sanitizer = PhotosCacheSanitizer::make(userName); break;
    case Name::trashBin: {
      auto trash = userAgentLink ? userAgentLink->trashDirectory()
                                 : platform::Result<std::string>(UserAgentManagerError::make());
      if (trash) {
        sanitizer = std::make_unique<TrashBinSanitizer>(*trash);
      } else {
        MLog("could not init sanitizer: " + trash.error().localizedDescription());
      }
      break;
    }
    case Name::temporaryFiles: sanitizer = TempFilesSanitizer::make(userName); break;
    case Name::appsLeftovers: sanitizer = AppsLeftoversSanitizer::make(userName); break;
    case Name::memory: sanitizer = std::make_unique<MemorySanitizer>(); break;
    case Name::shredder: {
      // Only the session user's files, as the link tells; else this
      // process's own.
      const auto owner = userAgentLink ? userAgentLink->sessionUid() : std::nullopt;
      sanitizer = std::make_unique<ShredderSanitizer>(std::vector<std::string>{path},
                                                      owner.value_or(platform::ProcessUser::uid()));
      break;
    }
    case Name::applications: sanitizer = std::make_unique<AppsSanitizer>(userName); break;
    case Name::duplicates: {
      auto duplicates = std::make_unique<DuplicateSanitizer>(std::vector<std::string>{path});
      duplicates->userAgentLink = userAgentLink;
      sanitizer = std::move(duplicates);
      break;
    }
    case Name::bigFiles: sanitizer = std::make_unique<BigFilesSanitizer>(std::vector<std::string>{path}); break;
  }
}

std::string ScanSubGroup::debugDescription() const { return "VOZi.ScanSubGroup " + std::string(caseName(name)); }

std::uint64_t ScanSubGroup::scan(const platform::DispatchWorkItem& work, const std::vector<std::string>& excludeLangs) {
  if (!sanitizer) return size;
  sanitizer->preferences = preferences;
  if (auto* duplicates = dynamic_cast<DuplicateSanitizer*>(sanitizer.get())) {
    std::tie(size, foundDups) = duplicates->findDuplicates(work);
  } else if (auto* big = dynamic_cast<BigFilesSanitizer*>(sanitizer.get())) {
    std::tie(size, foundBigFiles) = big->bigFiles(work);
  } else if (auto* apps = dynamic_cast<AppsSanitizer*>(sanitizer.get())) {
    size = apps->apps(work).first;
    foundApps = apps->installedApps;
  } else if (auto* languages = dynamic_cast<LanguageSanitizer*>(sanitizer.get())) {
    size = languages->langs(work, excludeLangs).first;
    foundLangs = languages->languages();
  } else if (auto* mail = dynamic_cast<MailAttachmentsSanitizer*>(sanitizer.get())) {
    auto [bytes, files] = mail->mailAttachments(work);
    size = bytes;
    foundMailAttachments.clear();
    for (const auto& file : files) foundMailAttachments.push_back(*file);
  } else {
    std::tie(size, found) = sanitizer->scan();
  }
  return size;
}

std::uint64_t ScanSubGroup::purge(const platform::DispatchWorkItem& work) {
  MLogf("ScanSubGroup purging %@", std::string(rawValue(name)));
  std::uint64_t purged = 0;
  if (!sanitizer) {
    MLogf("Sanitizer not set for %@", std::string(rawValue(name)));
  } else {
    sanitizer->requireAdditionActionOnCleaningStart = requireAdditionActionOnCleaningStart;
    sanitizer->requireAdditionActionOnCleaningFinish = requireAdditionActionOnCleaningFinish;
    sanitizer->preferences = preferences;
    if (auto* duplicates = dynamic_cast<DuplicateSanitizer*>(sanitizer.get())) {
      MLog("----> found duplicates have " + std::to_string(foundDups.size()) + " elements");
      auto [bytes, removed] = duplicates->purge(toPurge, foundDups, work);
      purged = bytes;
      ModelDuplicate::removeFiles(removed, foundDups);
    } else if (auto* big = dynamic_cast<BigFilesSanitizer*>(sanitizer.get())) {
      MLog("----> found bigFiles have " + std::to_string(foundBigFiles.size()) + " elements");
      auto [bytes, removed] = big->purge(toPurge, foundBigFiles, work);
      purged = bytes;
      removeEach(foundBigFiles, removed);
    } else if (auto* mail = dynamic_cast<MailAttachmentsSanitizer*>(sanitizer.get())) {
      MLog("----> found mail attachments have " + std::to_string(foundMailAttachments.size()) + " elements");
      Sizes kept;
      for (const ModelFile& file : foundMailAttachments) kept[file.fileURL().path()] = file.fileSize();
      auto [bytes, removed] = mail->purge(toPurge, kept, work);
      purged = bytes;
      std::erase_if(foundMailAttachments,
                    [&removed](const ModelFile& file) { return removed.contains(file.fileURL().path()); });
    } else if (auto* apps = dynamic_cast<AppsSanitizer*>(sanitizer.get())) {
      MLog("----> found application have " + std::to_string(foundApps.size()) + " elements");
      auto [bytes, removed] = apps->purge(toPurge, foundApps, work);
      purged = bytes;
      removeEach(foundApps, removed);
    } else if (auto* languages = dynamic_cast<LanguageSanitizer*>(sanitizer.get())) {
      MLog("---> found langs have " + std::to_string(foundLangs.size()) + " elements");
      auto [bytes, removed] = languages->purge(toPurge, foundLangs, work);
      purged = bytes;
      for (Language& language : foundLangs) {
        if (std::find(removed.begin(), removed.end(), language) == removed.end()) continue;
        language.urls.clear();
        language.size = 0;
      }
    } else if (auto* memory = dynamic_cast<MemorySanitizer*>(sanitizer.get())) {
      purged = memory->purge();
    } else if (auto* shredder = dynamic_cast<ShredderSanitizer*>(sanitizer.get())) {
      purged = shredder->purge(toPurge, work).first;
    } else {
      auto [bytes, removed] = sanitizer->purge(toPurge, found, work);
      purged = bytes;
      for (const auto& [folder, removedBytes] : removed) found[folder] = 0;
    }
  }
  size = purged < size ? size - purged : 0;
  return purged;
}

// --- Groups ----------------------------------------------------------------------

std::vector<Name> ScanGroup::subgroupNames(ScanGroupName name) {
  switch (name) {
    case ScanGroupName::system:
      return {Name::userLog, Name::userCache, Name::systemCache, Name::systemLog, Name::i18nApps, Name::i18nSystem};
    case ScanGroupName::leftovers: return {Name::photosCache, Name::trashBin, Name::temporaryFiles, Name::appsLeftovers};
    case ScanGroupName::memory: return {Name::memory};
    case ScanGroupName::duplicates: return {Name::duplicates};
    case ScanGroupName::applications: return {Name::applications};
    case ScanGroupName::bigFiles: return {Name::bigFiles};
    case ScanGroupName::mailAttachments: return {Name::mailAttachments};
    case ScanGroupName::shredder: return {Name::shredder};
    case ScanGroupName::threats:
    case ScanGroupName::archives:
    case ScanGroupName::extensions: return {};
  }
  return {};
}

ScanGroup::ScanGroup(ScanGroupName groupName, std::string groupUser, std::string groupPath)
    : name(groupName), user(std::move(groupUser)), path(std::move(groupPath)) {}

void ScanGroup::scan(const platform::DispatchWorkItem& work) {
  if (subgroups.empty()) {
    for (const Name subgroup : subgroupNames(name))
      subgroups.push_back(std::make_unique<ScanSubGroup>(subgroup, user, path, userAgentLink));
  }
  size = 0;
  for (const auto& subgroup : subgroups) {
    if (work.isCancelled()) continue;
    subgroup->preferences = preferences;
    size += subgroup->scan(work, excludeLanguages);
  }
  created = platform::Date::now();
  lastScannedDate = created;
}

void ScanGroup::mergeSubgroupsIfNeeded() {
  if (name != ScanGroupName::duplicates || subgroups.empty()) return;
  Sanitizer::Sizes merged;
  for (const auto& subgroup : subgroups) merged.insert(subgroup->toPurge.begin(), subgroup->toPurge.end());
  subgroups.front()->toPurge = std::move(merged);
  subgroups.resize(1);
}

std::uint64_t ScanGroup::purge(const platform::DispatchWorkItem& work) {
  MLogf("ScanGroup purging %@", std::string(rawValue(name)));
  if (name == ScanGroupName::memory && subgroups.empty())
    subgroups.push_back(std::make_unique<ScanSubGroup>(Name::memory, "", "", userAgentLink));
  const bool photosRunning = name == ScanGroupName::duplicates && PhotosDBCleaner::photosRunning(path);
  mergeSubgroupsIfNeeded();
  if (!subgroups.empty()) {
    subgroups.back()->requireAdditionActionOnCleaningFinish = photosRunning;
    subgroups.front()->requireAdditionActionOnCleaningStart = photosRunning;
  }
  std::uint64_t total = 0;
  for (const auto& subgroup : subgroups) {
    subgroup->preferences = preferences;
    total += subgroup->purge(work);
    MLog("LastCleaned after subgroup: " + std::string(ScanSubGroup::caseName(subgroup->name)) + " = " +
         std::to_string(total));
  }
  created = platform::Date::now();
  lastCleanedSize = total;
  totalCleanedSize += total;
  lastCleanedDate = created;
  return total;
}

void ScanGroup::mergeStored(const MOScanGroup* stored) {
  if (!stored) return;
  std::string received;
  for (const auto& subgroup : subgroups) received += (received.empty() ? "" : ", ") + subgroup->debugDescription();
  MLog("Received subgroups: [" + received + "]");
  lastCleanedSize = unsignedOf(stored->lastCleanedSize());
  totalCleanedSize = unsignedOf(stored->totalCleanedSize());
  lastCleanedDate = stored->lastCleanedDate();
  lastScannedDate = stored->lastScannedDate();
  size = unsignedOf(stored->size());
  for (const auto& record : stored->scanSubGroups()) {
    if (!record) continue;
    auto restored = std::make_unique<ScanSubGroup>(*record, userAgentLink);
    bool matched = false;
    for (const auto& subgroup : subgroups) {
      if (subgroup->name != restored->name) continue;
      matched = true;
      subgroup->size = restored->size;
      Sanitizer* held = subgroup->sanitizer.get();
      if (!held) continue;
      if (dynamic_cast<DuplicateSanitizer*>(held)) {
        subgroup->foundDups = restored->foundDups;
      } else if (dynamic_cast<BigFilesSanitizer*>(held)) {
        subgroup->foundBigFiles = restored->foundBigFiles;
      } else if (dynamic_cast<AppsSanitizer*>(held)) {
        subgroup->foundApps = restored->foundApps;
      } else if (dynamic_cast<LanguageSanitizer*>(held)) {
        subgroup->foundLangs = restored->foundLangs;
      } else if (dynamic_cast<MailAttachmentsSanitizer*>(held)) {
        subgroup->foundMailAttachments = restored->foundMailAttachments;
      } else {
        subgroup->found = restored->found;
      }
    }
    if (!matched) subgroups.push_back(std::move(restored));
  }
}

}  // namespace vozi

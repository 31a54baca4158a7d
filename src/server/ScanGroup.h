#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cleaners/Application.h"
#include "cleaners/Language.h"
#include "cleaners/ModelDuplicate.h"
#include "cleaners/ModelFile.h"
#include "common/ScanGroupName.h"
#include "common/ZOLMPreferences.h"
#include "ipc/IPCShared.h"
#include "ipc/IUserAgentLink.h"
#include "platform/Date.h"
#include "platform/DispatchWorkItem.h"
#include "sanitizers/Sanitizer.h"

namespace vozi {

class MOScanGroup;
class MOScanSubGroup;

// The older model of the cleaner's work: a scan group is one category the
// user sees, made of subgroups each bound to one synchronous sanitizer.
// Scans and purges run the subgroups in turn on the caller's thread and add
// up their bytes. Nothing in the daemon's request path makes one; it is
// kept whole so that it can be run and checked as a unit.
class ScanSubGroup {
 public:
  using Name = IPCShared::ScanSubGroupName;
  using Sizes = Sanitizer::Sizes;

  // Binds the sanitizer of the name for the user and path (none when the
  // name needs a user and has none, or a Trash the link cannot name).
  ScanSubGroup(Name subgroupName, std::string user, std::string path,
               std::shared_ptr<IUserAgentLink> userAgentLink = nullptr);
  // Restores a stored subgroup, then binds its sanitizer. A name that is no
  // subgroup's gives an empty "Temporary files" subgroup.
  explicit ScanSubGroup(const MOScanSubGroup& managedObject, std::shared_ptr<IUserAgentLink> userAgentLink = nullptr);

  // The bytes found by the sanitizer's own kind of scan.
  std::uint64_t scan(const platform::DispatchWorkItem& dispatchWorkItem,
                     const std::vector<std::string>& excludeLangs = {"en"});
  // Purges toPurge; the bytes purged (the size never goes below 0).
  std::uint64_t purge(const platform::DispatchWorkItem& dispatchWorkItem);

  // "VOZi.ScanSubGroup userCache".
  std::string debugDescription() const;
  static std::string_view caseName(Name name);

  bool requireAdditionActionOnCleaningStart = false;
  bool requireAdditionActionOnCleaningFinish = false;
  Name name;
  std::uint64_t size = 0;
  std::unique_ptr<Sanitizer> sanitizer;
  std::string userName;
  Sizes found;
  std::string path;
  std::vector<ModelDuplicate> foundDups;
  std::vector<Application> foundApps;
  std::vector<ModelFile> foundBigFiles;
  std::vector<ModelFile> foundMailAttachments;
  std::vector<Language> foundLangs;
  Sizes toPurge;
  std::optional<ZOLMPreferences> preferences;

 private:
  void set_sanitizer(const std::shared_ptr<IUserAgentLink>& userAgentLink);
};

class ScanGroup {
 public:
  ScanGroup(ScanGroupName name, std::string user, std::string path);

  // Fills the subgroups on first use and scans each, unless cancelled.
  void scan(const platform::DispatchWorkItem& dispatchWorkItem);
  // Purges every subgroup's selection; the bytes purged.
  std::uint64_t purge(const platform::DispatchWorkItem& dispatchWorkItem);
  // Takes over a stored record's sizes, dates and subgroup results.
  void mergeStored(const MOScanGroup* stored);

  ScanGroupName name;
  std::uint64_t size = 0;
  std::vector<std::unique_ptr<ScanSubGroup>> subgroups;
  std::string user;
  platform::Date created = platform::Date::now();
  std::uint64_t totalCleanedSize = 0;
  std::uint64_t lastCleanedSize = 0;
  std::optional<platform::Date> lastCleanedDate;
  std::optional<platform::Date> lastScannedDate;
  std::string path;
  std::optional<ZOLMPreferences> preferences;
  std::vector<std::string> excludeLanguages{"en"};
  std::shared_ptr<IUserAgentLink> userAgentLink;

  // The subgroups a group is made of, in order.
  static std::vector<ScanSubGroup::Name> subgroupNames(ScanGroupName name);

 private:
  void mergeSubgroupsIfNeeded();
};

}  // namespace vozi

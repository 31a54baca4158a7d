#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Date.h"
#include "platform/Value.h"
#include "platform/store/ManagedObject.h"

namespace vozi {

class MOApplicationsInstalled;
class MODuplicates;
class MOFile;
class MOLanguage;
class MOScanGroup;
class MOScanSection;

// The results of one sub-group of a run.
class MOScanSubGroup : public platform::ManagedObject {
 public:
  static constexpr std::string_view kEntityName = "MOScanSubGroup";

  std::optional<std::string> name() const { return ManagedObject::string("name"); }
  void setName(std::optional<std::string> value) { ManagedObject::setString("name", std::move(value)); }
  std::optional<std::string> path() const { return ManagedObject::string("path"); }
  void setPath(std::optional<std::string> value) { ManagedObject::setString("path", std::move(value)); }
  std::int64_t size() const { return ManagedObject::integer("size"); }
  void setSize(std::int64_t value) { ManagedObject::setInteger("size", value); }
  std::optional<std::string> userName() const { return ManagedObject::string("userName"); }
  void setUserName(std::optional<std::string> value) { ManagedObject::setString("userName", std::move(value)); }
  std::vector<std::shared_ptr<MOApplicationsInstalled>> appsInstalled() const;
  void addAppsInstalledObject(const std::shared_ptr<MOApplicationsInstalled>& object);
  void removeAppsInstalledObject(const std::shared_ptr<MOApplicationsInstalled>& object);
  std::vector<std::shared_ptr<MOFile>> bigFiles() const;
  void addBigFilesObject(const std::shared_ptr<MOFile>& object);
  void removeBigFilesObject(const std::shared_ptr<MOFile>& object);
  std::vector<std::shared_ptr<MODuplicates>> duplicates() const;
  void addDuplicatesObject(const std::shared_ptr<MODuplicates>& object);
  void removeDuplicatesObject(const std::shared_ptr<MODuplicates>& object);
  std::vector<std::shared_ptr<MOLanguage>> languages() const;
  void addLanguagesObject(const std::shared_ptr<MOLanguage>& object);
  void removeLanguagesObject(const std::shared_ptr<MOLanguage>& object);
  std::vector<std::shared_ptr<MOFile>> mailAttachments() const;
  void addMailAttachmentsObject(const std::shared_ptr<MOFile>& object);
  void removeMailAttachmentsObject(const std::shared_ptr<MOFile>& object);
  std::shared_ptr<MOScanGroup> scanGroup() const;
  void setScanGroup(const std::shared_ptr<MOScanGroup>& object);
  std::vector<std::shared_ptr<MOScanSection>> sections() const;
  void addSectionsObject(const std::shared_ptr<MOScanSection>& object);
  void removeSectionsObject(const std::shared_ptr<MOScanSection>& object);
};

}  // namespace vozi

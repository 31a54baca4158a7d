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

class MOScanSubGroup;

// One file found by the big-files or mail-attachments scan.
class MOFile : public platform::ManagedObject {
 public:
  static constexpr std::string_view kEntityName = "MOFile";

  std::optional<std::string> fileName() const { return ManagedObject::string("fileName"); }
  void setFileName(std::optional<std::string> value) { ManagedObject::setString("fileName", std::move(value)); }
  std::int64_t fileSize() const { return ManagedObject::integer("fileSize"); }
  void setFileSize(std::int64_t value) { ManagedObject::setInteger("fileSize", value); }
  std::optional<std::string> fileType() const { return ManagedObject::string("fileType"); }
  void setFileType(std::optional<std::string> value) { ManagedObject::setString("fileType", std::move(value)); }
  std::optional<platform::Date> lastOpen() const { return ManagedObject::date("lastOpen"); }
  void setLastOpen(std::optional<platform::Date> value) { ManagedObject::setDate("lastOpen", std::move(value)); }
  std::optional<std::string> path() const { return ManagedObject::string("path"); }
  void setPath(std::optional<std::string> value) { ManagedObject::setString("path", std::move(value)); }
  std::shared_ptr<MOScanSubGroup> mailAttachmentsSubGroupId() const;
  void setMailAttachmentsSubGroupId(const std::shared_ptr<MOScanSubGroup>& object);
  std::shared_ptr<MOScanSubGroup> subGroupId() const;
  void setSubGroupId(const std::shared_ptr<MOScanSubGroup>& object);
};

}  // namespace vozi

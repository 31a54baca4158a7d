#pragma once

#include <vector>

#include "common/FileTypedGroup.h"
#include "common/IFilterable.h"
#include "common/IURLsRelated.h"

namespace vozi {

// Big and old files. The scan filters (minimum size, last access, kinds) are
// set by the caller after creation.
class BigFilesGroup : public FileTypedGroup, public IURLsRelated, public IFilterable {
 public:
  static constexpr std::string_view kClassName = "BigFilesGroup";

  using FileTypedGroup::FileTypedGroup;
  BigFilesGroup(std::optional<std::string> name, std::uint64_t size,
                const std::shared_ptr<IZOLModelItemCollection>& items, std::optional<std::string> identifier,
                std::optional<std::vector<platform::URL>> scanningURLs, ItemGroupHistoryPtr scanningHistory,
                ItemGroupHistoryPtr cleaningHistory)
      : FileTypedGroup(std::move(name), size, items, std::move(identifier), std::move(scanningHistory),
                       std::move(cleaningHistory)),
        scanningURLs_(std::move(scanningURLs)) {}
  // The scan filters are not archived: they read back as none, 0 and 0.
  explicit BigFilesGroup(platform::KeyedUnarchiver& unarchiver);

  const std::optional<std::vector<platform::URL>>& scanningURLs() const override { return scanningURLs_; }
  void setScanningURLs(std::optional<std::vector<platform::URL>> urls) override { scanningURLs_ = std::move(urls); }

  const std::optional<platform::Date>& minLastAccessDate() const override { return minLastAccessDate_; }
  void setMinLastAccessDate(std::optional<platform::Date> date) override { minLastAccessDate_ = date; }
  std::uint64_t minFileSizeToScan() const override { return minFileSizeToScan_; }
  void setMinFileSizeToScan(std::uint64_t size) override { minFileSizeToScan_ = size; }
  std::uint64_t fileItemTypes() const override { return FileTypedGroup::fileItemTypes(); }
  void setFileItemTypes(std::uint64_t types) override { FileTypedGroup::setFileItemTypes(types); }

  std::shared_ptr<IModelItem> copy() const override { return std::make_shared<BigFilesGroup>(*this); }
  std::string_view className() const override { return kClassName; }
  void encode(platform::KeyedArchiver& archiver) const override;

 private:
  std::optional<std::vector<platform::URL>> scanningURLs_;
  std::optional<platform::Date> minLastAccessDate_;
  std::uint64_t minFileSizeToScan_ = 0;
};

}  // namespace vozi

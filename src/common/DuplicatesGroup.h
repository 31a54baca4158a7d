#pragma once

#include <string>
#include <vector>

#include "common/IIgnorablePaths.h"
#include "common/IURLsRelated.h"
#include "common/ItemGroup.h"
#include "common/ModelItemArray.h"

namespace vozi {

// Sets of files with equal contents (DuplicateItem), found under the
// scanning URLs, passing over the ignored paths.
class DuplicatesGroup : public ItemGroup, public IURLsRelated, public IIgnorablePaths {
 public:
  static constexpr std::string_view kClassName = "DuplicatesGroup";

  using ItemGroup::ItemGroup;
  explicit DuplicatesGroup(platform::KeyedUnarchiver& unarchiver);

  const std::optional<std::vector<platform::URL>>& scanningURLs() const override { return scanningURLs_; }
  void setScanningURLs(std::optional<std::vector<platform::URL>> urls) override { scanningURLs_ = std::move(urls); }
  const std::vector<std::string>& ignorePathFragments() const override { return ignorePathFragments_; }
  void setIgnorePathFragments(std::vector<std::string> fragments) override {
    ignorePathFragments_ = std::move(fragments);
  }
  const std::vector<platform::URL>& ignoreURLs() const override { return ignoreURLs_; }
  void setIgnoreURLs(std::vector<platform::URL> urls) override { ignoreURLs_ = std::move(urls); }

  std::shared_ptr<IZOLModelItemMutableCollection> emptyItems() const override {
    return std::make_shared<ModelItemArray>();
  }

  std::shared_ptr<IModelItem> copy() const override { return std::make_shared<DuplicatesGroup>(*this); }
  std::string_view className() const override { return kClassName; }
  std::string description() const override;
  void encode(platform::KeyedArchiver& archiver) const override;

 private:
  std::optional<std::vector<platform::URL>> scanningURLs_;
  std::vector<std::string> ignorePathFragments_;
  std::vector<platform::URL> ignoreURLs_;
};

}  // namespace vozi

#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "common/IFileItem.h"

namespace vozi {

// One file or folder found by a scan. It is identified by its path: two file
// items with the same path are equal whatever their sizes and dates.
class FileItem : public IFileItem {
 public:
  static constexpr std::string_view kClassName = "FileItem";

  // The identifier argument is not kept: a file item's identifier is always
  // derived from its path.
  FileItem(platform::URL url, std::uint64_t size, std::optional<platform::Date> lastOpenDate,
           std::string_view identifier = {});
  // Reads the keys of an archived file item; a missing or non-file URL
  // fails the decode.
  explicit FileItem(platform::KeyedUnarchiver& unarchiver);
  // Copies carry everything but the cached content hash.
  FileItem(const FileItem& other);
  FileItem& operator=(const FileItem&) = delete;

  // The path, percent-encoded as a URL path.
  std::optional<std::string> identifier() const override;
  // The last path component without its extension. Final, so that
  // nameOfPath() is always the same.
  std::optional<std::string> name() const final;
  // name() from path(), for a caller that has the path already.
  std::string nameOfPath(std::string_view path) const { return url_.lastPathComponentWithoutExtension(path); }
  std::uint64_t size() const override { return size_; }

  void updateSize() override;
  const platform::URL& url() const override { return url_; }
  std::string path() const override { return url_.path(); }
  std::string fileExtension() const override { return url_.pathExtension(); }
  std::optional<platform::Date> lastOpenDate() const override { return lastOpenDate_; }
  // Read and hashed on first request, then kept.
  std::optional<platform::Data> fileDataHash() const override;
  // Gives the item a content hash worked out elsewhere (a scan that hashed
  // its files in bulk), so that asking for it reads nothing.
  void setFileDataHash(platform::Data hash) const { fileDataHash_ = std::move(hash); }

  std::shared_ptr<IModelItem> copy() const override { return std::make_shared<FileItem>(*this); }
  // Equal to any record that has the same path (a file item or an application).
  bool isEqual(const IModelItem& other) const override;
  std::size_t hash() const override;
  std::string_view className() const override { return kClassName; }
  std::string description() const override;
  void encode(platform::KeyedArchiver& archiver) const override;

 private:
  platform::URL url_;
  std::uint64_t size_;
  std::optional<platform::Date> lastOpenDate_;
  mutable std::optional<platform::Data> fileDataHash_;
};

}  // namespace vozi

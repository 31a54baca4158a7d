#include "cleaners/ModelFile.h"

#include "common/FileKinds.h"
#include "platform/FilePackage.h"
#include "platform/MetadataQuery.h"
#include "platform/PathComponents.h"
#include "platform/Sha256.h"

namespace vozi {

namespace {

ZOLMFileItemType kindOf(const platform::MetadataItem& metadata, const std::string& path) {
  return FileKinds::fileType(metadata.contentType, platform::FilePackage::extension(path))
      .value_or(ZOLMFileItemType::documents);
}

}  // namespace

ModelFile::ModelFile(const platform::URL& url) : state_(std::make_shared<State>()) {
  state_->fileURL = url;
  const auto metadata = platform::MetadataItem::atPath(url.path());
  if (!metadata) return;
  state_->fileName = metadata->displayName.empty() ? url.lastPathComponent() : metadata->displayName;
  state_->fileSize = metadata->fileSize.value_or(0);
  state_->fileType = kindOf(*metadata, url.path());
}

ModelFile::ModelFile(const std::string& path, std::uint64_t size, std::optional<platform::Date> lastOpen,
                     std::optional<ZOLMFileItemType> fileType)
    : state_(std::make_shared<State>()) {
  state_->fileURL = platform::URL::fileURLWithPath(path);
  state_->fileSize = size;
  state_->lastOpen = lastOpen;
  if (fileType) {
    state_->fileType = *fileType;
  } else if (const auto metadata = platform::MetadataItem::atPath(path)) {
    state_->fileType = kindOf(*metadata, path);
  }
}

std::optional<platform::Data> ModelFile::fileHash() const {
  if (!state_->hashComputed) {
    state_->fileHash = platform::Sha256::digestOfFile(state_->fileURL.path());
    state_->hashComputed = true;
  }
  return state_->fileHash;
}

void ModelFile::setFileHash(std::optional<platform::Data> hash) const {
  state_->fileHash = std::move(hash);
  state_->hashComputed = true;
}

std::optional<platform::Date> ModelFile::lastOpen() const {
  if (!state_->lastOpen) {
    // No metadata index here: the file's last modification is its last use.
    if (const auto metadata = platform::MetadataItem::atPath(state_->fileURL.path()))
      state_->lastOpen = metadata->contentModificationDate;
  }
  return state_->lastOpen;
}

platform::Value::Dictionary ModelFile::asDictionary() const {
  const auto opened = lastOpen();
  return {
      {"sectionName", platform::Value(fileName())},
      {"sectionSize", platform::Value(static_cast<unsigned long long>(fileSize()))},
      {"lastOpen", opened ? platform::Value(opened->timeIntervalSince1970()) : platform::Value(nullptr)},
      {"filePath", platform::Value(standardizedPath())},
  };
}

std::string ModelFile::debugDescription() const {
  return "ModelFile " + fileName() + ", " + std::to_string(fileSize()) + " bytes, " + fileURL().absoluteString();
}

std::string ModelFile::standardizedPath() const { return platform::PathComponents::normalized(state_->fileURL.path()); }

bool ModelFile::equalTo(const ModelFile& other) const { return fileURL() == other.fileURL(); }

}  // namespace vozi

#include "common/FileItem.h"

#include "common/ApplicationItem.h"
#include "common/RecordCoding.h"
#include "common/RecordDescription.h"
#include "platform/ResourceValues.h"
#include "platform/Sha256.h"

namespace vozi {

namespace {

// The path of a record that stands for something on disk, if it has one.
std::optional<std::string> pathOf(const IModelItem& record) {
  if (const auto* file = dynamic_cast<const IFileItem*>(&record)) return file->path();
  if (const auto* application = dynamic_cast<const ApplicationItem*>(&record)) return application->path();
  return std::nullopt;
}

}  // namespace

FileItem::FileItem(platform::URL url, std::uint64_t size, std::optional<platform::Date> lastOpenDate,
                   std::string_view /*identifier*/)
    : url_(std::move(url)), size_(size), lastOpenDate_(lastOpenDate) {}

FileItem::FileItem(platform::KeyedUnarchiver& unarchiver)
    : url_(recordcoding::decodeRequiredFileURL(unarchiver, "url")),
      size_(recordcoding::decodeUInt64(unarchiver, "size")),
      lastOpenDate_(unarchiver.decodeDateForKey("lastOpened")) {
  // Read back for its type only: the identifier is derived from the path.
  unarchiver.decodeStringForKey("identifier");
}

void FileItem::encode(platform::KeyedArchiver& archiver) const {
  archiver.encodeURL("url", url_.absoluteString());
  archiver.encode("identifier", identifier());
  recordcoding::encodeUInt64(archiver, "size", size_);
  archiver.encodeDate("lastOpened", lastOpenDate_);
}

FileItem::FileItem(const FileItem& other)
    : IFileItem(other), url_(other.url_), size_(other.size_), lastOpenDate_(other.lastOpenDate_) {}

std::optional<std::string> FileItem::identifier() const { return url_.encodedPath(); }

std::optional<std::string> FileItem::name() const { return url_.lastPathComponentWithoutExtension(); }

void FileItem::updateSize() {
  // The item's own size: a symbolic link is measured, not followed; a folder
  // has no length of its own.
  const auto values = platform::ResourceValues::readInTree(path(), platform::ResourceKeys::FileSize);
  size_ = values ? values->fileSize.value_or(0) : 0;
}

std::optional<platform::Data> FileItem::fileDataHash() const {
  if (!fileDataHash_) {
    fileDataHash_ = platform::Sha256::digestOfFile(path());
  }
  return fileDataHash_;
}

bool FileItem::isEqual(const IModelItem& other) const {
  if (&other == this) return true;
  const auto otherPath = pathOf(other);
  return otherPath && *otherPath == path();
}

std::size_t FileItem::hash() const { return std::hash<std::string>{}(path()); }

std::string FileItem::description() const {
  std::string text = recorddescription::header(className(), this) + " url: " + url_.absoluteString() + ", identifier " +
         recorddescription::text(identifier()) + ".";
  if (lastOpenDate_) text += " LastOpen: " + lastOpenDate_->description() + ".";
  return text;
}

}  // namespace vozi

#include "platform/PropertyList.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "platform/AtomicFile.h"
#include "platform/BinaryPropertyListReader.h"
#include "platform/BinaryPropertyListWriter.h"
#include "platform/CocoaError.h"
#include "platform/FileDescriptor.h"
#include "platform/PosixError.h"
#include "platform/TreePath.h"
#include "platform/XmlPropertyListReader.h"
#include "platform/XmlPropertyListWriter.h"

namespace vozi::platform {

namespace {

Error writeError(const std::string& why) { return CocoaError::propertyListInvalid(why); }

Result<Value> parseBinary(const char* bytes, std::size_t size) {
  return BinaryPropertyListReader::read(std::string_view(bytes, size), PropertyList::kMaxDepth);
}

bool looksBinary(const char* bytes, std::size_t size) { return size >= 8 && std::memcmp(bytes, "bplist00", 8) == 0; }

Error fileError(int error, const std::string& path) {
  CocoaError::Code code = CocoaError::fileReadUnknown;
  if (error == ENOENT) code = CocoaError::fileReadNoSuchFile;
  if (error == EACCES || error == EPERM) code = CocoaError::fileReadNoPermission;
  return CocoaError::make(code, "The file couldn't be read: " + PosixError::description(error),
                          {{"NSFilePath", Value(path)}});
}

}  // namespace

Result<Value> PropertyList::fromXML(std::string_view text, Strictness strictness) {
  return XmlPropertyListReader::read(text, strictness, kMaxDepth);
}

Result<Value> PropertyList::fromBinary(std::string_view bytes) { return parseBinary(bytes.data(), bytes.size()); }

Result<Value> PropertyList::fromBinary(const Data& bytes) {
  return parseBinary(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

Result<Value> PropertyList::fromAny(std::string_view bytes, Format* format, Strictness strictness) {
  const bool binary = looksBinary(bytes.data(), bytes.size());
  if (format) *format = binary ? Format::binary : Format::xml;
  return binary ? parseBinary(bytes.data(), bytes.size()) : fromXML(bytes, strictness);
}

Result<Value> PropertyList::fromAny(const Data& bytes, Format* format, Strictness strictness) {
  return fromAny(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), format, strictness);
}

Result<std::string> PropertyList::toXML(const Value& value) { return XmlPropertyListWriter::write(value, kMaxDepth); }

Result<Data> PropertyList::toBinary(const Value& value) {
  Data bytes;
  if (auto fault = BinaryPropertyListWriter::write(value, kMaxDepth, bytes)) return writeError(*fault);
  return bytes;
}

Result<Data> PropertyList::serialize(const Value& value, Format format) {
  if (format == Format::binary) return toBinary(value);
  auto text = toXML(value);
  if (!text) return text.error();
  return Data(text->begin(), text->end());
}

namespace {

// Reads the property list behind an open descriptor, which it closes. Only
// a regular file of at most maxSize bytes is read: the size is checked on
// the descriptor and again while reading, since the file can grow.
Result<Value> readOpened(int fd, const std::string& path, std::uint64_t maxSize, PropertyList::Format* format,
                         PropertyList::Strictness strictness) {
  FileDescriptor owned(fd);
  auto tooLarge = [&path] {
    return Result<Value>(CocoaError::make(CocoaError::fileReadTooLarge,
                                          "The file is too large to be read as a property list.",
                                          {{"NSFilePath", Value(path)}}));
  };
  struct stat info {};
  if (::fstat(fd, &info) != 0) return fileError(errno, path);
  if (!S_ISREG(info.st_mode)) return fileError(EISDIR, path);
  if (static_cast<std::uint64_t>(info.st_size) > maxSize) return tooLarge();
  auto bytes = owned.readAll(maxSize, static_cast<std::uint64_t>(info.st_size));
  if (!bytes) return bytes.error().code == EFBIG ? tooLarge() : fileError(static_cast<int>(bytes.error().code), path);
  owned.reset();
  return PropertyList::fromAny(*bytes, format, strictness);
}

// Opened without blocking: a pipe put where a file was expected would
// otherwise hold the open until someone writes to it. Regular files are
// unaffected by the flag.
constexpr int kReadFlags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;

}  // namespace

Result<Value> PropertyList::readFile(const std::string& path, Format* format, Strictness strictness) {
  const int fd = ::open(path.c_str(), kReadFlags);
  if (fd < 0) return fileError(errno, path);
  return readOpened(fd, path, std::numeric_limits<std::uint32_t>::max(), format, strictness);
}

Result<Value> PropertyList::readRegularFile(const std::string& path, std::uint64_t maxSize, Format* format,
                                            Strictness strictness) {
  // The folder is reached from the host root without a link on the way and
  // the file opened in it without following one, so neither a swapped folder
  // above it nor a link in its place sends the read elsewhere.
  constexpr std::uint64_t kLargest = std::numeric_limits<std::uint32_t>::max();
  auto parent = TreePath::openParent(path);
  if (!parent) return parent.error();
  auto file = TreePath::openRegularFile(parent->folder.descriptor.get(), parent->name, kLargest, path);
  if (!file) return file.error();
  return readOpened(file->descriptor.release(), path, std::min(maxSize, kLargest), format, strictness);
}

Result<void> PropertyList::writeFile(const std::string& path, const Value& value, Format format, mode_t mode) {
  auto bytes = serialize(value, format);
  if (!bytes) return bytes.error();
  return writeFileAtomically(path, std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()), mode);
}

Result<void> PropertyList::writeFileAtomically(const std::string& path, std::string_view bytes, mode_t mode) {
  return AtomicFile::write(path, bytes, mode);
}

}  // namespace vozi::platform

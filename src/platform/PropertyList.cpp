#include "platform/PropertyList.h"

#include <fcntl.h>
#include <plist/plist.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "platform/AtomicFile.h"
#include "platform/BinaryPropertyListWriter.h"
#include "platform/CocoaError.h"
#include "platform/FileDescriptor.h"
#include "platform/PosixError.h"
#include "platform/PropertyListGuard.h"
#include "platform/Utf8.h"
#include "platform/XmlPropertyListReader.h"
#include "platform/XmlPropertyListWriter.h"

namespace vozi::platform {

namespace {

struct PlistFree {
  void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

Error readError(const std::string& why) { return CocoaError::propertyListCorrupt(why); }

Error writeError(const std::string& why) { return CocoaError::propertyListInvalid(why); }

constexpr std::uint64_t kInt64Max = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());

// The seconds of a date node, read from its binary form (the value call of
// libplist 2.2 narrows them to 32-bit seconds and loses the sign of a
// fraction).
std::optional<double> dateSeconds(plist_t node) {
  PlistPtr copy(plist_copy(node));
  char* raw = nullptr;
  std::uint32_t length = 0;
  plist_to_bin(copy.get(), &raw, &length);
  if (!raw) return std::nullopt;
  std::unique_ptr<char, void (*)(char*)> owned(raw, plist_to_bin_free);
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(raw);
  if (length < 8 + 9 + 32) return std::nullopt;
  const std::uint8_t* trailer = bytes + length - 32;
  std::uint64_t tableOffset = 0;
  for (int i = 24; i < 32; ++i) tableOffset = (tableOffset << 8) | trailer[i];
  const std::size_t offsetSize = trailer[6];
  if (offsetSize == 0 || offsetSize > 8 || tableOffset + offsetSize > length - 32) return std::nullopt;
  std::uint64_t offset = 0;
  for (std::size_t i = 0; i < offsetSize; ++i) offset = (offset << 8) | bytes[tableOffset + i];
  if (offset + 9 > tableOffset || bytes[offset] != 0x33) return std::nullopt;
  std::uint64_t bits = 0;
  for (int i = 1; i <= 8; ++i) bits = (bits << 8) | bytes[offset + i];
  return std::bit_cast<double>(bits);
}

bool isUnsignedNode(plist_t node, std::uint64_t value) {
  // A node made by plist_new_uint is the signed 8-byte kind; the comparison
  // also compares the stored width.
  PlistPtr probe(plist_new_uint(value));
  return !plist_compare_node_value(node, probe.get());
}

Result<Value> fromNode(plist_t node, std::size_t depth) {
  switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
      std::uint8_t b = 0;
      plist_get_bool_val(node, &b);
      return Value(b != 0);
    }
    case PLIST_UINT: {
      std::uint64_t bits = 0;
      plist_get_uint_val(node, &bits);
      if (bits > kInt64Max && isUnsignedNode(node, bits)) return Value(bits);
      return Value(static_cast<std::int64_t>(bits));
    }
    case PLIST_REAL: {
      double d = 0;
      plist_get_real_val(node, &d);
      return Value(d);
    }
    case PLIST_STRING: {
      std::uint64_t length = 0;
      const char* text = plist_get_string_ptr(node, &length);
      std::string s(text ? text : "", text ? length : 0);
      if (!Utf8::isValid(s)) return readError("a string is not valid UTF-8");
      return Value(std::move(s));
    }
    case PLIST_DATA: {
      std::uint64_t length = 0;
      const auto* bytes = reinterpret_cast<const std::uint8_t*>(plist_get_data_ptr(node, &length));
      return Value(bytes ? Data(bytes, bytes + length) : Data());
    }
    case PLIST_DATE: {
      auto seconds = dateSeconds(node);
      if (!seconds) return readError("unreadable date");
      return Value(Date(*seconds));
    }
    case PLIST_UID: {
      std::uint64_t index = 0;
      plist_get_uid_val(node, &index);
      return Value::uid(index);
    }
    case PLIST_ARRAY: {
      if (depth >= PropertyList::kMaxDepth) return readError("containers nested too deep");
      Value::Array array;
      array.reserve(plist_array_get_size(node));
      plist_array_iter iter = nullptr;
      plist_array_new_iter(node, &iter);
      std::unique_ptr<void, void (*)(void*)> ownedIter(iter, free);
      for (;;) {
        plist_t item = nullptr;
        plist_array_next_item(node, iter, &item);
        if (!item) break;
        auto child = fromNode(item, depth + 1);
        if (!child) return child.error();
        array.push_back(std::move(*child));
      }
      return Value(std::move(array));
    }
    case PLIST_DICT: {
      if (depth >= PropertyList::kMaxDepth) return readError("containers nested too deep");
      Value::Dictionary dict;
      plist_dict_iter iter = nullptr;
      plist_dict_new_iter(node, &iter);
      std::unique_ptr<void, void (*)(void*)> ownedIter(iter, free);
      for (;;) {
        char* rawKey = nullptr;
        plist_t item = nullptr;
        plist_dict_next_item(node, iter, &rawKey, &item);
        std::unique_ptr<char, void (*)(void*)> key(rawKey, free);
        if (!item) break;
        if (!rawKey) return readError("dictionary entry without a key");
        std::string keyText(rawKey);
        if (!Utf8::isValid(keyText)) return readError("a dictionary key is not valid UTF-8");
        auto child = fromNode(item, depth + 1);
        if (!child) return child.error();
        dict.insert_or_assign(std::move(keyText), std::move(*child));
      }
      return Value(std::move(dict));
    }
    default:
      return readError("unsupported value type");
  }
}

Result<Value> parseBinary(const char* bytes, std::size_t size) {
  if (size > std::numeric_limits<std::uint32_t>::max()) return readError("input larger than 4 GiB");
  if (auto fault = PropertyListGuard::checkBinary(reinterpret_cast<const std::uint8_t*>(bytes), size))
    return readError(*fault);
  plist_t root = nullptr;
  plist_from_bin(bytes, static_cast<std::uint32_t>(size), &root);
  if (!root) return readError("malformed binary property list");
  PlistPtr owned(root);
  return fromNode(root, 0);
}

bool looksBinary(const char* bytes, std::size_t size) { return size >= 8 && std::memcmp(bytes, "bplist00", 8) == 0; }

Error fileError(int error, const std::string& path, bool writing) {
  CocoaError::Code code = writing ? CocoaError::fileWriteUnknown : CocoaError::fileReadUnknown;
  if (error == ENOENT && !writing) code = CocoaError::fileReadNoSuchFile;
  if (error == EACCES || error == EPERM) code = writing ? CocoaError::fileWriteNoPermission : CocoaError::fileReadNoPermission;
  if (error == ENOSPC || error == EDQUOT) code = CocoaError::fileWriteOutOfSpace;
  return CocoaError::make(code,
                          std::string(writing ? "The file couldn't be saved: " : "The file couldn't be read: ") +
                              PosixError::description(error),
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
  if (::fstat(fd, &info) != 0) return fileError(errno, path, false);
  if (!S_ISREG(info.st_mode)) return fileError(EISDIR, path, false);
  if (static_cast<std::uint64_t>(info.st_size) > maxSize) return tooLarge();
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(info.st_size));
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return fileError(errno, path, false);
    }
    if (n == 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
    if (bytes.size() > maxSize) return tooLarge();
  }
  owned.reset();
  return PropertyList::fromAny(bytes, format, strictness);
}

// Opened without blocking: a pipe put where a file was expected would
// otherwise hold the open until someone writes to it. Regular files are
// unaffected by the flag.
constexpr int kReadFlags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;

}  // namespace

Result<Value> PropertyList::readFile(const std::string& path, Format* format, Strictness strictness) {
  const int fd = ::open(path.c_str(), kReadFlags);
  if (fd < 0) return fileError(errno, path, false);
  return readOpened(fd, path, std::numeric_limits<std::uint32_t>::max(), format, strictness);
}

Result<Value> PropertyList::readRegularFile(const std::string& path, std::uint64_t maxSize, Format* format,
                                            Strictness strictness) {
  const int fd = ::open(path.c_str(), kReadFlags | O_NOFOLLOW);
  if (fd < 0) return fileError(errno, path, false);
  return readOpened(fd, path, std::min<std::uint64_t>(maxSize, std::numeric_limits<std::uint32_t>::max()), format,
                    strictness);
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

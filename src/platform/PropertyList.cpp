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

#include "platform/BinaryPropertyListReader.h"
#include "platform/BinaryPropertyListWriter.h"
#include "platform/CocoaError.h"
#include "platform/FileDescriptor.h"
#include "platform/PosixError.h"
#include "platform/PropertyListGuard.h"
#include "platform/Utf8.h"

namespace vozi::platform {

namespace {

struct PlistFree {
  void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

Error readError(const std::string& why) {
  return CocoaError::make(CocoaError::propertyListReadCorrupt, "The data couldn't be read because it isn't in the correct format: " + why);
}

Error writeError(const std::string& why) {
  return CocoaError::make(CocoaError::propertyListWriteInvalid, "The property list couldn't be written: " + why);
}

constexpr std::uint64_t kInt64Max = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());

// libplist 2.2 offers no call for two things a Value needs exactly: an
// integer marked unsigned (a 16-byte integer object, which is how values
// above INT64_MAX are stored) and a date with its full double. Its parser
// keeps both, so for the XML writer such nodes are made by parsing a
// one-object binary plist.
PlistPtr nodeFromSingleObject(const std::uint8_t* object, std::size_t length) {
  std::vector<std::uint8_t> bytes = {'b', 'p', 'l', 'i', 's', 't', '0', '0'};
  bytes.insert(bytes.end(), object, object + length);
  const std::uint8_t tableOffset = static_cast<std::uint8_t>(bytes.size());
  bytes.push_back(8);  // the one object starts right after the header
  std::uint8_t trailer[32] = {};
  trailer[6] = 1;   // offset size
  trailer[7] = 1;   // reference size
  trailer[15] = 1;  // one object, the top one is object 0
  trailer[31] = tableOffset;
  bytes.insert(bytes.end(), trailer, trailer + sizeof trailer);
  plist_t node = nullptr;
  plist_from_bin(reinterpret_cast<const char*>(bytes.data()), static_cast<std::uint32_t>(bytes.size()), &node);
  return PlistPtr(node);
}

void putBigEndian(std::uint8_t* out, std::uint64_t value) {
  for (int i = 7; i >= 0; --i) {
    out[i] = static_cast<std::uint8_t>(value & 0xFF);
    value >>= 8;
  }
}

PlistPtr newUnsignedNode(std::uint64_t value) {
  std::uint8_t object[17] = {0x14};  // integer of 2^4 bytes: high half zero, low half the value
  putBigEndian(object + 9, value);
  return nodeFromSingleObject(object, sizeof object);
}

PlistPtr newDateNode(const Date& date) {
  std::uint8_t object[9] = {0x33};
  putBigEndian(object + 1, std::bit_cast<std::uint64_t>(date.timeIntervalSinceReferenceDate()));
  return nodeFromSingleObject(object, sizeof object);
}

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

Result<PlistPtr> toNode(const Value& value, std::size_t depth);

Result<PlistPtr> checkedString(const std::string& text, const char* what) {
  if (text.find('\0') != std::string::npos) return writeError(std::string(what) + " contains a NUL character");
  if (!Utf8::isValid(text)) return writeError(std::string(what) + " is not valid UTF-8");
  return PlistPtr(plist_new_string(text.c_str()));
}

Result<PlistPtr> toNode(const Value& value, std::size_t depth) {
  switch (value.type()) {
    case Value::Type::null:
      return writeError("null is not a property-list value");
    case Value::Type::boolean:
      return PlistPtr(plist_new_bool(*value.asBool() ? 1 : 0));
    case Value::Type::integer:
      if (value.isUnsigned() && *value.asUInt64() > kInt64Max) {
        auto node = newUnsignedNode(*value.asUInt64());
        if (!node) return writeError("unsigned integer");
        return node;
      }
      return PlistPtr(plist_new_uint(static_cast<std::uint64_t>(*value.asInt64())));
    case Value::Type::real:
      return PlistPtr(plist_new_real(*value.asDouble()));
    case Value::Type::string:
      return checkedString(*value.asString(), "a string");
    case Value::Type::data: {
      const Data& data = *value.asData();
      return PlistPtr(plist_new_data(reinterpret_cast<const char*>(data.data()), data.size()));
    }
    case Value::Type::date: {
      auto node = newDateNode(*value.asDate());
      if (!node) return writeError("date");
      return node;
    }
    case Value::Type::array: {
      if (depth >= PropertyList::kMaxDepth) return writeError("containers nested too deep");
      PlistPtr array(plist_new_array());
      for (const Value& item : *value.asArray()) {
        auto child = toNode(item, depth + 1);
        if (!child) return child.error();
        plist_array_append_item(array.get(), child->release());
      }
      return array;
    }
    case Value::Type::dictionary: {
      if (auto uid = value.asUID()) return PlistPtr(plist_new_uid(*uid));
      if (depth >= PropertyList::kMaxDepth) return writeError("containers nested too deep");
      PlistPtr dict(plist_new_dict());
      for (const auto& [key, item] : *value.asDictionary()) {
        if (key.find('\0') != std::string::npos || !Utf8::isValid(key))
          return writeError("a dictionary key is not valid UTF-8 without NUL characters");
        auto child = toNode(item, depth + 1);
        if (!child) return child.error();
        plist_dict_set_item(dict.get(), key.c_str(), child->release());
      }
      return dict;
    }
  }
  return writeError("unknown value type");
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
  return BinaryPropertyListReader::read(std::string_view(bytes, size), PropertyList::kMaxDepth);
}

Result<Value> parseXML(const char* text, std::size_t size) {
  if (size > std::numeric_limits<std::uint32_t>::max()) return readError("input larger than 4 GiB");
  if (auto fault = PropertyListGuard::checkXML(text, size)) return readError(*fault);
  plist_t root = nullptr;
  plist_from_xml(text, static_cast<std::uint32_t>(size), &root);
  if (!root) return readError("malformed XML property list");
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

Result<Value> PropertyList::fromXML(std::string_view text) { return parseXML(text.data(), text.size()); }

Result<Value> PropertyList::fromBinary(std::string_view bytes) { return parseBinary(bytes.data(), bytes.size()); }

Result<Value> PropertyList::fromBinary(const Data& bytes) {
  return parseBinary(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

Result<Value> PropertyList::fromAny(std::string_view bytes, Format* format) {
  const bool binary = looksBinary(bytes.data(), bytes.size());
  if (format) *format = binary ? Format::binary : Format::xml;
  return binary ? parseBinary(bytes.data(), bytes.size()) : parseXML(bytes.data(), bytes.size());
}

Result<Value> PropertyList::fromAny(const Data& bytes, Format* format) {
  return fromAny(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), format);
}

Result<std::string> PropertyList::toXML(const Value& value) {
  auto node = toNode(value, 0);
  if (!node) return node.error();
  char* raw = nullptr;
  std::uint32_t length = 0;
  plist_to_xml(node->get(), &raw, &length);
  if (!raw) return writeError("libplist produced no XML");
  std::string text(raw, length);
  plist_to_xml_free(raw);
  return text;
}

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
Result<Value> readOpened(int fd, const std::string& path, std::uint64_t maxSize, PropertyList::Format* format) {
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
  return PropertyList::fromAny(bytes, format);
}

// Opened without blocking: a pipe put where a file was expected would
// otherwise hold the open until someone writes to it. Regular files are
// unaffected by the flag.
constexpr int kReadFlags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;

}  // namespace

Result<Value> PropertyList::readFile(const std::string& path, Format* format) {
  const int fd = ::open(path.c_str(), kReadFlags);
  if (fd < 0) return fileError(errno, path, false);
  return readOpened(fd, path, std::numeric_limits<std::uint32_t>::max(), format);
}

Result<Value> PropertyList::readRegularFile(const std::string& path, std::uint64_t maxSize, Format* format) {
  const int fd = ::open(path.c_str(), kReadFlags | O_NOFOLLOW);
  if (fd < 0) return fileError(errno, path, false);
  return readOpened(fd, path, std::min<std::uint64_t>(maxSize, std::numeric_limits<std::uint32_t>::max()), format);
}

Result<void> PropertyList::writeFile(const std::string& path, const Value& value, Format format, mode_t mode) {
  auto bytes = serialize(value, format);
  if (!bytes) return bytes.error();
  return writeFileAtomically(path, std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()), mode);
}

Result<void> PropertyList::writeFileAtomically(const std::string& path, std::string_view bytes, mode_t mode) {
  const auto slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty()) return fileError(EISDIR, path, true);
  std::string temp = (slash == std::string::npos ? std::string() : folder) + "." + name + ".XXXXXX";
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return fileError(errno, path, true);
  auto fail = [&](int error) {
    ::close(fd);
    ::unlink(temp.c_str());
    return Result<void>(fileError(error, path, true));
  };
  if (::fchmod(fd, mode) != 0) return fail(errno);
  if (const int error = FileDescriptor::writeAll(fd, bytes.data(), bytes.size())) return fail(error);
  if (::fsync(fd) != 0) return fail(errno);
  if (::close(fd) != 0) {
    const int error = errno;
    ::unlink(temp.c_str());
    return fileError(error, path, true);
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    const int error = errno;
    ::unlink(temp.c_str());
    return fileError(error, path, true);
  }
  return {};
}

}  // namespace vozi::platform

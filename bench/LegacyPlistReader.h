#pragma once

// The binary property-list reading the platform layer used before it had its
// own reader: libplist 2.2 builds its node tree (a full copy at every shared
// reference), which is then copied into Values. Kept for the benchmarks
// only, as the baseline the new reader is measured against; the size guard
// that ran in front of it is left out (it was a small part of the time).

#include <plist/plist.h>

#include <bit>
#include <cstdlib>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "platform/CocoaError.h"
#include "platform/Result.h"
#include "platform/Utf8.h"
#include "platform/Value.h"

namespace vozi::bench::legacy {

using namespace vozi::platform;

constexpr std::size_t kLegacyMaxDepth = 512;

struct PlistFree {
  void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;


inline Error readError(const std::string& why) {
  return CocoaError::make(CocoaError::propertyListReadCorrupt, "The data couldn't be read because it isn't in the correct format: " + why);
}


constexpr std::uint64_t kInt64Max = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());


// The seconds of a date node, read from its binary form (the value call of
// libplist 2.2 narrows them to 32-bit seconds and loses the sign of a
// fraction).
inline std::optional<double> dateSeconds(plist_t node) {
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

inline bool isUnsignedNode(plist_t node, std::uint64_t value) {
  // A node made by plist_new_uint is the signed 8-byte kind; the comparison
  // also compares the stored width.
  PlistPtr probe(plist_new_uint(value));
  return !plist_compare_node_value(node, probe.get());
}


inline Result<Value> fromNode(plist_t node, std::size_t depth) {
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
      if (depth >= kLegacyMaxDepth) return readError("containers nested too deep");
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
      if (depth >= kLegacyMaxDepth) return readError("containers nested too deep");
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

inline Result<Value> parseBinary(const char* bytes, std::size_t size) {
  if (size > std::numeric_limits<std::uint32_t>::max()) return readError("input larger than 4 GiB");
  plist_t root = nullptr;
  plist_from_bin(bytes, static_cast<std::uint32_t>(size), &root);
  if (!root) return readError("malformed binary property list");
  PlistPtr owned(root);
  return fromNode(root, 0);
}


// The whole property list, as PropertyList::fromBinary used to read it.
inline Result<Value> fromBinary(const Data& bytes) {
  return parseBinary(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

}  // namespace vozi::bench::legacy

#include "platform/BinaryPropertyListWriter.h"

#include <algorithm>
#include <bit>
#include <limits>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/Utf8.h"

namespace vozi::platform {

namespace {

constexpr std::uint64_t kInt64Max = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());

// The smallest of 1, 2, 4 and 8 bytes that holds `value`.
std::size_t widthFor(std::uint64_t value) {
  if (value <= 0xFF) return 1;
  if (value <= 0xFFFF) return 2;
  if (value <= 0xFFFFFFFFull) return 4;
  return 8;
}

void putBigEndian(Data& out, std::uint64_t value, std::size_t bytes) {
  for (std::size_t i = bytes; i-- > 0;) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

unsigned log2Width(std::size_t bytes) { return bytes == 1 ? 0 : bytes == 2 ? 1 : bytes == 4 ? 2 : 3; }

void putMarkerAndCount(Data& out, std::uint8_t type, std::uint64_t count) {
  if (count < 15) {
    out.push_back(static_cast<std::uint8_t>(type << 4 | count));
    return;
  }
  out.push_back(static_cast<std::uint8_t>(type << 4 | 0xF));
  const std::size_t width = widthFor(count);
  out.push_back(static_cast<std::uint8_t>(0x10 | log2Width(width)));
  putBigEndian(out, count, width);
}

std::u16string toUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  const auto* p = reinterpret_cast<const std::uint8_t*>(text.data());
  const auto* end = p + text.size();
  while (p < end) {  // the text is known to be valid UTF-8
    std::uint32_t c = *p;
    std::size_t length = 1;
    if (c >= 0xF0) {
      c &= 0x07;
      length = 4;
    } else if (c >= 0xE0) {
      c &= 0x0F;
      length = 3;
    } else if (c >= 0xC0) {
      c &= 0x1F;
      length = 2;
    }
    for (std::size_t i = 1; i < length; ++i) c = (c << 6) | (p[i] & 0x3F);
    p += length;
    if (c >= 0x10000) {
      c -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
  }
  return out;
}

class Flattener {
 public:
  explicit Flattener(std::size_t maxDepth) : maxDepth_(maxDepth) {}

  // One object to write: a scalar (value or key string) or a container
  // whose children's indices (dictionaries: keys, then values) are
  // children[firstChild, firstChild + childCount).
  struct Object {
    const Value* value = nullptr;
    const std::string* key = nullptr;
    std::optional<std::uint64_t> uid;
    std::uint64_t firstChild = 0;
    std::uint64_t childCount = 0;
  };

  std::optional<std::string> fault;
  std::vector<Object> objects;
  std::vector<std::uint64_t> children;

  std::uint64_t add(const Value& value, std::size_t depth) {
    if (fault) return 0;
    switch (value.type()) {
      case Value::Type::null:
        fault = "null is not a property-list value";
        return 0;
      case Value::Type::string:
        return addString(*value.asString(), nullptr, &value);
      case Value::Type::boolean:
      case Value::Type::integer:
      case Value::Type::real:
      case Value::Type::date: {
        const auto key = scalarKey(value);
        const auto found = scalars_.find(key);
        if (found != scalars_.end()) return found->second;
        const std::uint64_t index = push(Object{&value, nullptr, std::nullopt});
        scalars_.emplace(key, index);
        return index;
      }
      case Value::Type::data:
        return push(Object{&value, nullptr, std::nullopt});
      case Value::Type::array: {
        if (depth >= maxDepth_) return tooDeep();
        const std::uint64_t index = push(Object{&value, nullptr, std::nullopt});
        // Children's indices are collected on a scratch stack, since nested
        // containers append their own while these are being gathered.
        const std::size_t mark = scratch_.size();
        for (const Value& item : *value.asArray()) scratch_.push_back(add(item, depth + 1));
        settle(index, mark);
        return index;
      }
      case Value::Type::dictionary: {
        if (auto uid = value.asUID()) {
          if (*uid > 0xFFFFFFFFull) {  // references are 32-bit; readers refuse wider ones
            fault = "an object reference above 2^32-1";
            return 0;
          }
          // Archives number their objects densely, so most references
          // index a vector; others go to a map.
          if (*uid < kDenseUIDs) {
            if (*uid >= denseUIDs_.size()) denseUIDs_.resize(std::max<std::size_t>(*uid + 1, denseUIDs_.size() * 2), 0);
            if (denseUIDs_[*uid] != 0) return denseUIDs_[*uid] - 1;
            const std::uint64_t index = push(Object{&value, nullptr, *uid});
            denseUIDs_[*uid] = index + 1;
            return index;
          }
          const auto found = uids_.find(*uid);
          if (found != uids_.end()) return found->second;
          const std::uint64_t index = push(Object{&value, nullptr, *uid});
          uids_.emplace(*uid, index);
          return index;
        }
        if (depth >= maxDepth_) return tooDeep();
        const std::uint64_t index = push(Object{&value, nullptr, std::nullopt});
        const auto& dict = *value.asDictionary();
        const std::size_t mark = scratch_.size();
        for (const auto& [name, item] : dict) scratch_.push_back(addString(name, &name, nullptr));
        for (const auto& [name, item] : dict) scratch_.push_back(add(item, depth + 1));
        settle(index, mark);
        return index;
      }
    }
    fault = "unknown value type";
    return 0;
  }

 private:
  // Moves the children gathered since `mark` into place for `index`.
  void settle(std::uint64_t index, std::size_t mark) {
    objects[index].firstChild = children.size();
    objects[index].childCount = scratch_.size() - mark;
    children.insert(children.end(), scratch_.begin() + static_cast<std::ptrdiff_t>(mark), scratch_.end());
    scratch_.resize(mark);
  }

  std::uint64_t push(Object object) {
    objects.push_back(std::move(object));
    return objects.size() - 1;
  }

  std::uint64_t tooDeep() {
    fault = "containers nested too deep";
    return 0;
  }

  std::uint64_t addString(const std::string& text, const std::string* key, const Value* value) {
    const auto found = strings_.find(text);
    if (found != strings_.end()) return found->second;
    if (text.find('\0') != std::string::npos || !Utf8::isValid(text)) {
      fault = "a string or key is not UTF-8 without NUL characters";
      return 0;
    }
    const std::uint64_t index = push(Object{value, key, std::nullopt});
    strings_.emplace(text, index);
    return index;
  }

  // Type and bits: equal scalars share one object (an int64 and a uint64 of
  // the same number stay apart, as they are written differently).
  static std::pair<int, std::uint64_t> scalarKey(const Value& value) {
    switch (value.type()) {
      case Value::Type::boolean: return {0, *value.asBool() ? 1u : 0u};
      case Value::Type::integer:
        if (value.isUnsigned() && *value.asUInt64() > kInt64Max) return {2, *value.asUInt64()};
        return {1, static_cast<std::uint64_t>(*value.asInt64())};
      case Value::Type::real: return {3, std::bit_cast<std::uint64_t>(*value.asDouble())};
      default: return {4, std::bit_cast<std::uint64_t>(value.asDate()->timeIntervalSinceReferenceDate())};
    }
  }

  struct PairHash {
    std::size_t operator()(const std::pair<int, std::uint64_t>& p) const {
      return std::hash<std::uint64_t>()(p.second * 31 + static_cast<std::uint64_t>(p.first));
    }
  };

  std::size_t maxDepth_;
  std::vector<std::uint64_t> scratch_;
  std::unordered_map<std::string_view, std::uint64_t> strings_;
  std::unordered_map<std::pair<int, std::uint64_t>, std::uint64_t, PairHash> scalars_;
  static constexpr std::uint64_t kDenseUIDs = std::uint64_t{1} << 24;
  std::vector<std::uint64_t> denseUIDs_;  // uid -> object index + 1, 0 when not yet written
  std::unordered_map<std::uint64_t, std::uint64_t> uids_;
};

void writeObject(Data& out, const Flattener::Object& object, const std::vector<std::uint64_t>& children,
                 std::size_t refSize) {
  if (object.key) {
    const std::string& text = *object.key;
    const bool ascii = std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) {
      putMarkerAndCount(out, 0x5, text.size());
      out.insert(out.end(), text.begin(), text.end());
    } else {
      const std::u16string units = toUtf16(text);
      putMarkerAndCount(out, 0x6, units.size());
      for (char16_t u : units) putBigEndian(out, u, 2);
    }
    return;
  }
  if (object.uid) {
    const std::size_t width = widthFor(*object.uid);
    out.push_back(static_cast<std::uint8_t>(0x80 | (width - 1)));
    putBigEndian(out, *object.uid, width);
    return;
  }
  const Value& value = *object.value;
  switch (value.type()) {
    case Value::Type::boolean:
      out.push_back(*value.asBool() ? 0x09 : 0x08);
      return;
    case Value::Type::integer:
      if (value.isUnsigned() && *value.asUInt64() > kInt64Max) {
        out.push_back(0x14);
        putBigEndian(out, 0, 8);
        putBigEndian(out, *value.asUInt64(), 8);
      } else {
        const std::int64_t v = *value.asInt64();
        // 1, 2 and 4-byte integers are unsigned; negatives take 8 bytes.
        const std::size_t width = v < 0 ? 8 : widthFor(static_cast<std::uint64_t>(v));
        out.push_back(static_cast<std::uint8_t>(0x10 | log2Width(width)));
        putBigEndian(out, static_cast<std::uint64_t>(v), width);
      }
      return;
    case Value::Type::real:
      out.push_back(0x23);
      putBigEndian(out, std::bit_cast<std::uint64_t>(*value.asDouble()), 8);
      return;
    case Value::Type::date:
      out.push_back(0x33);
      putBigEndian(out, std::bit_cast<std::uint64_t>(value.asDate()->timeIntervalSinceReferenceDate()), 8);
      return;
    case Value::Type::data: {
      const Data& data = *value.asData();
      putMarkerAndCount(out, 0x4, data.size());
      out.insert(out.end(), data.begin(), data.end());
      return;
    }
    case Value::Type::string: {
      Flattener::Object asKey{nullptr, value.asString(), std::nullopt};
      writeObject(out, asKey, children, refSize);
      return;
    }
    case Value::Type::array:
    case Value::Type::dictionary: {
      const bool isArray = value.isArray();
      putMarkerAndCount(out, isArray ? 0xA : 0xD, isArray ? object.childCount : object.childCount / 2);
      for (std::uint64_t i = 0; i < object.childCount; ++i) putBigEndian(out, children[object.firstChild + i], refSize);
      return;
    }
    case Value::Type::null:
      return;
  }
}

}  // namespace

// Nodes (values and dictionary keys) in the tree, an upper bound of the
// objects to write; reserving for them up front spares the allocator many
// large reallocations.
std::size_t countNodes(const Value& value, std::size_t depth, std::size_t maxDepth) {
  if (depth > maxDepth) return 0;
  std::size_t count = 1;
  if (const auto* array = value.asArray()) {
    for (const auto& item : *array) count += countNodes(item, depth + 1, maxDepth);
  } else if (const auto* dict = value.asDictionary()) {
    for (const auto& [name, item] : *dict) count += 1 + countNodes(item, depth + 1, maxDepth);
  }
  return count;
}

std::optional<std::string> BinaryPropertyListWriter::write(const Value& value, std::size_t maxDepth, Data& out) {
  Flattener flat(maxDepth);
  const std::size_t nodes = countNodes(value, 0, maxDepth);
  flat.objects.reserve(nodes);
  flat.children.reserve(nodes);
  flat.add(value, 0);
  if (flat.fault) return flat.fault;

  const std::size_t refSize = widthFor(flat.objects.size() - 1);
  static constexpr std::uint8_t kHeader[8] = {'b', 'p', 'l', 'i', 's', 't', '0', '0'};
  out.assign(std::begin(kHeader), std::end(kHeader));
  out.reserve(flat.objects.size() * (8 + refSize) + 64);
  std::vector<std::uint64_t> offsets;
  offsets.reserve(flat.objects.size());
  for (const auto& object : flat.objects) {
    offsets.push_back(out.size());
    writeObject(out, object, flat.children, refSize);
  }
  const std::uint64_t tableOffset = out.size();
  const std::size_t offsetSize = widthFor(tableOffset);
  for (auto offset : offsets) putBigEndian(out, offset, offsetSize);
  out.resize(out.size() + 6, 0);  // unused trailer bytes
  out.push_back(static_cast<std::uint8_t>(offsetSize));
  out.push_back(static_cast<std::uint8_t>(refSize));
  putBigEndian(out, flat.objects.size(), 8);
  putBigEndian(out, 0, 8);  // the top object is the first
  putBigEndian(out, tableOffset, 8);
  return std::nullopt;
}

}  // namespace vozi::platform

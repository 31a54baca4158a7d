#include "platform/Utf8.h"
#include "platform/BinaryPropertyListReader.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "platform/CocoaError.h"

namespace vozi::platform {

namespace {

constexpr std::size_t kHeaderSize = 8;
constexpr std::size_t kTrailerSize = 32;
constexpr std::uint64_t kInt64Max = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
constexpr std::uint64_t kLargestUID = 0xFFFFFFFFull;

enum Kind : std::uint8_t {
  kSimple = 0x0,
  kInteger = 0x1,
  kReal = 0x2,
  kDate = 0x3,
  kData = 0x4,
  kASCII = 0x5,
  kUTF16 = 0x6,
  kUID = 0x8,
  kArray = 0xA,
  kDictionary = 0xD,
};

Error readError(const std::string& why) { return CocoaError::propertyListCorrupt(why); }

std::uint64_t bigEndian(const char* p, std::size_t width) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < width; ++i) value = (value << 8) | static_cast<std::uint8_t>(p[i]);
  return value;
}

std::uint64_t saturatingAdd(std::uint64_t a, std::uint64_t b) {
  return a > std::numeric_limits<std::uint64_t>::max() - b ? std::numeric_limits<std::uint64_t>::max() : a + b;
}

Error overBudgetError() {
  return readError("building the value would take more work and memory than the input's size allows");
}

bool isContainer(std::uint8_t type) { return type == kArray || type == kDictionary; }
bool isString(std::uint8_t type) { return type == kASCII || type == kUTF16; }


std::size_t utf8Length(std::uint32_t c) { return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4; }

// Checks a string object's text and gives its length in UTF-8; appends the
// UTF-8 to `out` when given.
Result<std::size_t> decodeText(std::string_view bytes, const BinaryPropertyListReader::Object& object,
                               std::string* out) {
  const char* p = bytes.data() + object.payload;
  if (object.type == kASCII) {
    for (std::uint64_t i = 0; i < object.count; ++i) {
      const auto c = static_cast<std::uint8_t>(p[i]);
      if (c == 0) return readError("a string holds a NUL character");
      if (c > 0x7F) return readError("an ASCII string holds a byte above 0x7F");
    }
    if (out) out->append(p, object.count);
    return static_cast<std::size_t>(object.count);
  }
  std::size_t length = 0;
  if (out) out->reserve(out->size() + object.count);
  for (std::uint64_t i = 0; i < object.count; ++i) {
    std::uint32_t c = static_cast<std::uint32_t>(bigEndian(p + 2 * i, 2));
    if (c == 0) return readError("a string holds a NUL character");
    if (c >= 0xDC00 && c <= 0xDFFF) return readError("a string holds an unpaired UTF-16 surrogate");
    if (c >= 0xD800 && c <= 0xDBFF) {
      const std::uint32_t low = i + 1 < object.count ? static_cast<std::uint32_t>(bigEndian(p + 2 * (i + 1), 2)) : 0;
      if (low < 0xDC00 || low > 0xDFFF) return readError("a string holds an unpaired UTF-16 surrogate");
      c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
      ++i;
    }
    length += utf8Length(c);
    if (out) Utf8::append(*out, c);
  }
  return length;
}

// What a scalar adds to a value's size, after checking it can be read.
Result<std::uint64_t> scalarCost(std::string_view bytes, const BinaryPropertyListReader::Object& object) {
  const char* p = bytes.data() + object.payload;
  switch (object.type) {
    case kInteger:
      if (object.low == 4) {
        const std::uint64_t high = bigEndian(p, 8);
        const std::uint64_t low = bigEndian(p + 8, 8);
        const bool negative = high == std::numeric_limits<std::uint64_t>::max() && low > kInt64Max;
        if (high != 0 && !negative) return readError("an integer does not fit 64 bits");
      }
      return BinaryPropertyListReader::kNodeCost;
    case kUID:
      if (bigEndian(p, object.low + 1u) > kLargestUID) return readError("an object reference above 2^32-1");
      // A reference reads as a one-entry dictionary.
      return 3 * BinaryPropertyListReader::kNodeCost;
    case kData:
      return saturatingAdd(BinaryPropertyListReader::kNodeCost, object.count);
    case kASCII:
    case kUTF16: {
      auto length = decodeText(bytes, object, nullptr);
      if (!length) return length.error();
      return BinaryPropertyListReader::kNodeCost + *length;
    }
    default:
      return BinaryPropertyListReader::kNodeCost;
  }
}

Value scalarValue(std::string_view bytes, const BinaryPropertyListReader::Object& object) {
  const char* p = bytes.data() + object.payload;
  switch (object.type) {
    case kSimple:
      return Value(object.low == 0x9);
    case kInteger: {
      if (object.low == 4) {
        const std::uint64_t low = bigEndian(p + 8, 8);
        if (bigEndian(p, 8) == 0 && low > kInt64Max) return Value(low);
        return Value(static_cast<std::int64_t>(low));
      }
      return Value(static_cast<std::int64_t>(bigEndian(p, std::size_t{1} << object.low)));
    }
    case kReal:
      if (object.low == 2) return Value(static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(bigEndian(p, 4)))));
      return Value(std::bit_cast<double>(bigEndian(p, 8)));
    case kDate:
      return Value(Date(std::bit_cast<double>(bigEndian(p, 8))));
    case kData: {
      const auto* start = reinterpret_cast<const std::uint8_t*>(p);
      return Value(Data(start, start + object.count));
    }
    case kUID:
      return Value::uid(bigEndian(p, object.low + 1u));
    default: {
      std::string text;
      (void)decodeText(bytes, object, &text);
      return Value(std::move(text));
    }
  }
}

}  // namespace

Result<BinaryPropertyListReader> BinaryPropertyListReader::open(std::string_view bytes, std::size_t maxDepth) {
  if (bytes.size() < kHeaderSize + 1 + kTrailerSize || std::memcmp(bytes.data(), "bplist00", kHeaderSize) != 0)
    return readError("not a binary property list");
  if (bytes.size() > std::numeric_limits<std::uint32_t>::max()) return readError("input larger than 4 GiB");
  const char* trailer = bytes.data() + bytes.size() - kTrailerSize;
  BinaryPropertyListReader reader;
  reader.bytes_ = bytes;
  reader.maxDepth_ = maxDepth;
  reader.offsetSize_ = static_cast<std::uint8_t>(trailer[6]);
  reader.refSize_ = static_cast<std::uint8_t>(trailer[7]);
  reader.objectCount_ = bigEndian(trailer + 8, 8);
  reader.topObject_ = bigEndian(trailer + 16, 8);
  reader.tableOffset_ = bigEndian(trailer + 24, 8);
  if (reader.offsetSize_ < 1 || reader.offsetSize_ > 8) return readError("bad offset size in the trailer");
  if (reader.refSize_ < 1 || reader.refSize_ > 8) return readError("bad reference size in the trailer");
  const std::uint64_t tableSpace = bytes.size() - kTrailerSize;
  if (reader.tableOffset_ <= kHeaderSize || reader.tableOffset_ > tableSpace)
    return readError("offset table out of range");
  if (reader.objectCount_ == 0 || reader.objectCount_ > (tableSpace - reader.tableOffset_) / reader.offsetSize_)
    return readError("object count does not fit the offset table");
  if (reader.topObject_ >= reader.objectCount_) return readError("top object out of range");
  return reader;
}

Result<Value> BinaryPropertyListReader::read(std::string_view bytes, std::size_t maxDepth) {
  auto reader = open(bytes, maxDepth);
  if (!reader) return reader.error();
  std::uint64_t budget = budgetFor(bytes.size());
  return reader->value(reader->topObject(), budget);
}

Result<BinaryPropertyListReader::Object> BinaryPropertyListReader::object(std::uint64_t index) const {
  if (index >= objectCount_) return readError("reference to an object that does not exist");
  const std::uint64_t offset = bigEndian(bytes_.data() + tableOffset_ + index * offsetSize_, offsetSize_);
  if (offset < kHeaderSize || offset >= tableOffset_) return readError("object offset out of range");
  std::size_t pos = static_cast<std::size_t>(offset);
  const std::size_t end = static_cast<std::size_t>(tableOffset_);
  const auto marker = static_cast<std::uint8_t>(bytes_[pos++]);
  Object out;
  out.type = marker >> 4;
  out.low = marker & 0xF;
  std::uint64_t width = 0;  // bytes after the marker (and count)
  switch (out.type) {
    case kSimple:
      if (out.low != 0x8 && out.low != 0x9) return readError("unsupported simple object");
      break;
    case kInteger:
      if (out.low > 4) return readError("bad integer size");
      width = std::uint64_t{1} << out.low;
      break;
    case kReal:
      if (out.low != 2 && out.low != 3) return readError("bad real size");
      width = std::uint64_t{1} << out.low;
      break;
    case kDate:
      if (out.low != 3) return readError("bad date size");
      width = 8;
      break;
    case kUID:
      if (out.low > 7) return readError("bad reference size");
      width = out.low + 1u;
      break;
    case kData:
    case kASCII:
    case kUTF16:
    case kArray:
    case kDictionary: {
      out.count = out.low;
      if (out.low == 0xF) {
        if (pos >= end) return readError("object count runs past the object area");
        const auto countMarker = static_cast<std::uint8_t>(bytes_[pos++]);
        if ((countMarker >> 4) != kInteger || (countMarker & 0xF) > 3) return readError("bad object count marker");
        const std::size_t countWidth = std::size_t{1} << (countMarker & 0xF);
        if (end - pos < countWidth) return readError("object count runs past the object area");
        out.count = bigEndian(bytes_.data() + pos, countWidth);
        pos += countWidth;
      }
      const std::uint64_t unit = out.type == kUTF16 ? 2 : out.type == kArray ? refSize_ : out.type == kDictionary ? 2 * refSize_ : 1;
      if (out.count > (end - pos) / unit) return readError("object runs past the object area");
      width = out.count * unit;
      break;
    }
    default:
      return readError("unsupported object type");
  }
  if (width > end - pos) return readError("object runs past the object area");
  out.payload = pos;
  return out;
}

std::uint64_t BinaryPropertyListReader::reference(const Object& container, std::uint64_t slot) const {
  return bigEndian(bytes_.data() + container.payload + slot * refSize_, refSize_);
}

Result<std::string> BinaryPropertyListReader::text(const Object& string) const {
  if (!isString(string.type)) return readError("a dictionary key is not a string");
  std::string out;
  auto length = decodeText(bytes_, string, &out);
  if (!length) return length.error();
  return out;
}

Result<Value> BinaryPropertyListReader::value(std::uint64_t index, std::uint64_t& budget) const {
  auto first = object(index);
  if (!first) return first.error();
  auto overBudget = overBudgetError;
  if (!isContainer(first->type)) {
    auto cost = scalarCost(bytes_, *first);
    if (!cost) return cost.error();
    if (*cost > budget) return overBudget();
    budget -= *cost;
    return scalarValue(bytes_, *first);
  }

  if (auto flat = flatValue(*first, budget)) return std::move(*flat);

  // First pass: walk what the value would hold, each object once, checking
  // every object and measuring the size and nesting of the value as built.
  struct Visit {
    std::uint64_t cost = 0;
    std::uint32_t height = 0;  // containers nested in the value, this one included
    std::uint32_t uses = 0;    // references to it within the value
    bool done = false;
    bool text = false;
  };
  struct Frame {
    std::uint64_t index;
    Object object;
    std::uint64_t next;
    std::uint64_t slots;
    std::uint64_t cost;
    std::uint32_t height;
  };
  std::unordered_map<std::uint64_t, Visit> seen;
  std::vector<std::uint64_t> order;  // every object after everything it refers to
  std::vector<Frame> stack;

  // Adds a finished object to the container being walked.
  auto addToParent = [&](const Visit& child) -> bool {
    if (stack.empty()) return true;
    Frame& parent = stack.back();
    parent.cost = saturatingAdd(parent.cost, child.cost);
    parent.height = std::max(parent.height, child.height);
    return parent.cost <= budget;
  };
  auto enter = [&](std::uint64_t at, const Object& found) -> std::optional<Error> {
    if (stack.size() >= maxDepth_) return readError("containers nested too deep");
    seen.emplace(at, Visit{0, 0, 1, false, false});
    const std::uint64_t slots = found.type == kDictionary ? 2 * found.count : found.count;
    stack.push_back(Frame{at, found, 0, slots, kNodeCost, 0});
    return std::nullopt;
  };
  if (auto fault = enter(index, *first)) return *fault;
  while (!stack.empty()) {
    Frame& frame = stack.back();
    if (frame.next < frame.slots) {
      const std::uint64_t slot = frame.next++;
      const bool isKey = frame.object.type == kDictionary && slot < frame.object.count;
      const std::uint64_t child = reference(frame.object, slot);
      auto known = seen.find(child);
      if (known != seen.end()) {
        if (!known->second.done) return readError("the property list has a reference cycle");
        if (isKey && !known->second.text) return readError("a dictionary key is not a string");
        ++known->second.uses;
        if (!addToParent(known->second)) return overBudget();
        continue;
      }
      auto found = object(child);
      if (!found) return found.error();
      if (isKey && !isString(found->type)) return readError("a dictionary key is not a string");
      if (isContainer(found->type)) {
        if (auto fault = enter(child, *found)) return *fault;
        continue;
      }
      auto cost = scalarCost(bytes_, *found);
      if (!cost) return cost.error();
      const Visit& visit = seen.emplace(child, Visit{*cost, 0, 1, true, isString(found->type)}).first->second;
      order.push_back(child);
      if (!addToParent(visit)) return overBudget();
      continue;
    }
    const Frame finished = frame;
    stack.pop_back();
    Visit& visit = seen[finished.index];
    visit.done = true;
    visit.cost = finished.cost;
    visit.height = finished.height + 1;
    if (visit.height > maxDepth_) return readError("containers nested too deep");
    order.push_back(finished.index);
    if (!addToParent(visit)) return overBudget();
  }
  const std::uint64_t total = seen[index].cost;
  if (total > budget) return overBudget();

  // Second pass: build each object once, children first; a child is moved
  // into the last container that refers to it and copied into the others.
  std::unordered_map<std::uint64_t, Value> built;
  built.reserve(order.size());
  auto take = [&](std::uint64_t at) -> Value {
    auto it = built.find(at);
    if (--seen[at].uses == 0) {
      Value out = std::move(it->second);
      built.erase(it);
      return out;
    }
    return it->second;
  };
  for (const std::uint64_t at : order) {
    const auto found = object(at);  // checked in the first pass
    if (!isContainer(found->type)) {
      built.emplace(at, scalarValue(bytes_, *found));
      continue;
    }
    if (found->type == kArray) {
      Value::Array array;
      array.reserve(found->count);
      for (std::uint64_t i = 0; i < found->count; ++i) array.push_back(take(reference(*found, i)));
      built.emplace(at, Value(std::move(array)));
      continue;
    }
    Value::Dictionary dictionary;
    for (std::uint64_t i = 0; i < found->count; ++i) {
      Value key = take(reference(*found, i));
      Value item = take(reference(*found, found->count + i));
      if (!dictionary.emplace(*key.asString(), std::move(item)).second)
        return readError("a dictionary holds the key \"" + *key.asString() + "\" twice");
    }
    built.emplace(at, Value(std::move(dictionary)));
  }
  budget -= total;
  return take(index);
}

// Most containers of a keyed archive hold only scalars (a record's fields,
// a collection's references): those are checked and built in one go,
// without the bookkeeping of the general walk. Nothing when `container`
// holds a container.
std::optional<Result<Value>> BinaryPropertyListReader::flatValue(const Object& container, std::uint64_t& budget) const {
  if (maxDepth_ < 1) return std::nullopt;
  const std::uint64_t slots = container.type == kDictionary ? 2 * container.count : container.count;
  std::uint64_t cost = kNodeCost;
  for (std::uint64_t slot = 0; slot < slots; ++slot) {
    auto found = object(reference(container, slot));
    if (!found) return Result<Value>(found.error());
    if (isContainer(found->type)) return std::nullopt;
    if (slot < container.count && container.type == kDictionary && !isString(found->type))
      return Result<Value>(readError("a dictionary key is not a string"));
    auto itemCost = scalarCost(bytes_, *found);
    if (!itemCost) return Result<Value>(itemCost.error());
    cost = saturatingAdd(cost, *itemCost);
  }
  if (cost > budget) return Result<Value>(overBudgetError());
  // An object referred to again is copied from where it was built, not
  // decoded again: a long string shared many times costs a copy each time,
  // not a fresh decoding. Small containers (a record's fields) skip the map.
  const bool memoise = container.count > 16;
  std::unordered_map<std::uint64_t, Value> decoded;
  auto scalarAt = [&](std::uint64_t slot) -> Value {
    const std::uint64_t at = reference(container, slot);
    if (!memoise) return scalarValue(bytes_, *object(at));
    auto [it, isNew] = decoded.try_emplace(at);
    if (isNew) it->second = scalarValue(bytes_, *object(at));
    return it->second;
  };
  if (container.type == kArray) {
    Value::Array array;
    array.reserve(container.count);
    for (std::uint64_t i = 0; i < container.count; ++i) array.push_back(scalarAt(i));
    budget -= cost;
    return Result<Value>(Value(std::move(array)));
  }
  Value::Dictionary dictionary;
  for (std::uint64_t i = 0; i < container.count; ++i) {
    Value key = scalarAt(i);
    if (!dictionary.emplace(*key.asString(), scalarAt(container.count + i)).second)
      return Result<Value>(readError("a dictionary holds the key \"" + *key.asString() + "\" twice"));
  }
  budget -= cost;
  return Result<Value>(Value(std::move(dictionary)));
}

Result<std::vector<std::uint64_t>> BinaryPropertyListReader::arrayElements(std::uint64_t index) const {
  auto found = object(index);
  if (!found) return found.error();
  if (found->type != kArray) return readError("object " + std::to_string(index) + " is not an array");
  std::vector<std::uint64_t> out;
  out.reserve(found->count);
  for (std::uint64_t i = 0; i < found->count; ++i) {
    const std::uint64_t ref = reference(*found, i);
    if (ref >= objectCount_) return readError("reference to an object that does not exist");
    out.push_back(ref);
  }
  return out;
}

Result<BinaryPropertyListReader::Object> BinaryPropertyListReader::dictionaryObject(std::uint64_t index,
                                                                                   std::uint64_t maxEntries) const {
  auto found = object(index);
  if (!found) return found.error();
  if (found->type != kDictionary) return readError("object " + std::to_string(index) + " is not a dictionary");
  if (found->count > maxEntries)
    return readError("object " + std::to_string(index) + " has more than " + std::to_string(maxEntries) + " entries");
  return found;
}

Result<std::vector<std::pair<std::string, std::uint64_t>>> BinaryPropertyListReader::dictionaryEntries(
    std::uint64_t index, std::uint64_t maxEntries) const {
  auto found = dictionaryObject(index, maxEntries);
  if (!found) return found.error();
  std::vector<std::pair<std::string, std::uint64_t>> out;
  out.reserve(found->count);
  std::unordered_set<std::string_view> names;
  for (std::uint64_t i = 0; i < found->count; ++i) {
    auto keyObject = object(reference(*found, i));
    if (!keyObject) return keyObject.error();
    auto key = text(*keyObject);
    if (!key) return key.error();
    const std::uint64_t ref = reference(*found, found->count + i);
    if (ref >= objectCount_) return readError("reference to an object that does not exist");
    out.emplace_back(std::move(*key), ref);
  }
  for (const auto& entry : out) {
    if (!names.insert(entry.first).second) return readError("a dictionary holds the key \"" + entry.first + "\" twice");
  }
  return out;
}

Result<std::vector<std::pair<std::uint64_t, std::uint64_t>>> BinaryPropertyListReader::dictionaryReferences(
    std::uint64_t index, std::uint64_t maxEntries) const {
  auto found = dictionaryObject(index, maxEntries);
  if (!found) return found.error();
  std::vector<std::pair<std::uint64_t, std::uint64_t>> out(found->count);
  for (std::uint64_t i = 0; i < found->count; ++i) {
    out[i] = {reference(*found, i), reference(*found, found->count + i)};
    if (out[i].first >= objectCount_ || out[i].second >= objectCount_)
      return readError("reference to an object that does not exist");
  }
  return out;
}

Result<std::string> BinaryPropertyListReader::stringValue(std::uint64_t index, std::uint64_t maxUnits) const {
  auto found = object(index);
  if (!found) return found.error();
  if (!isString(found->type)) return readError("object " + std::to_string(index) + " is not a string");
  if (found->count > maxUnits)
    return readError("object " + std::to_string(index) + " is longer than " + std::to_string(maxUnits) + " units");
  return text(*found);
}

Result<std::uint64_t> BinaryPropertyListReader::referenceValue(std::uint64_t index) const {
  auto found = object(index);
  if (!found) return found.error();
  if (found->type != kUID) return readError("object " + std::to_string(index) + " is not a reference");
  const std::uint64_t value = bigEndian(bytes_.data() + found->payload, found->low + 1u);
  if (value > kLargestUID) return readError("an object reference above 2^32-1");
  return value;
}

}  // namespace vozi::platform

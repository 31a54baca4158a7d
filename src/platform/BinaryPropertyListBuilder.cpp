#include "platform/BinaryPropertyListBuilder.h"

#include <algorithm>
#include <bit>
#include <limits>

namespace vozi::platform {

namespace {

constexpr std::uint64_t kInt64Max = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
constexpr std::uint32_t kDenseUIDs = 1u << 24;

// The smallest of 1, 2, 4 and 8 bytes that holds `value`.
std::size_t widthFor(std::uint64_t value) {
  if (value <= 0xFF) return 1;
  if (value <= 0xFFFF) return 2;
  if (value <= 0xFFFFFFFFull) return 4;
  return 8;
}

unsigned log2Width(std::size_t bytes) { return bytes == 1 ? 0 : bytes == 2 ? 1 : bytes == 4 ? 2 : 3; }

template <class Bytes>
void putBigEndian(Bytes& out, std::uint64_t value, std::size_t bytes) {
  for (std::size_t i = bytes; i-- > 0;) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

template <class Bytes>
void putMarkerAndCount(Bytes& out, std::uint8_t type, std::uint64_t count) {
  if (count < 15) {
    out.push_back(static_cast<std::uint8_t>(type << 4 | count));
    return;
  }
  out.push_back(static_cast<std::uint8_t>(type << 4 | 0xF));
  const std::size_t width = widthFor(count);
  out.push_back(static_cast<std::uint8_t>(0x10 | log2Width(width)));
  putBigEndian(out, count, width);
}

// A short scalar's encoding, built on the stack before deduplication.
struct Small {
  std::uint8_t bytes[17];
  std::size_t size = 0;
  void push_back(std::uint8_t b) { bytes[size++] = b; }
};

// Writes big-endian numbers and markers at a fixed place.
struct At {
  std::uint8_t* at;
  void push_back(std::uint8_t b) { *at++ = b; }
};

constexpr std::size_t kScalarBlock = 1 << 20;
constexpr std::size_t kMarkerRoom = 10;  // a marker with the widest count

}  // namespace

BinaryPropertyListBuilder::BinaryPropertyListBuilder() : strings_(1024) {}

std::uint8_t* BinaryPropertyListBuilder::reserveScalar(std::size_t size) {
  if (scalarBlocks_.empty() || scalarBlockSize_ - scalarBlockUsed_ < size) {
    scalarBlockSize_ = std::max(size, kScalarBlock);
    scalarBlocks_.push_back(std::make_unique_for_overwrite<std::uint8_t[]>(scalarBlockSize_));
    scalarBlockUsed_ = 0;
  }
  return scalarBlocks_.back().get() + scalarBlockUsed_;
}

BinaryPropertyListBuilder::Index BinaryPropertyListBuilder::addScalar(const std::uint8_t* start, std::size_t size) {
  scalarBlockUsed_ += size;
  scalarBytes_ += size;
  objects_.push_back(Entry{reinterpret_cast<std::uintptr_t>(start), static_cast<std::uint32_t>(size), 0});
  return static_cast<Index>(objects_.size() - 1);
}

BinaryPropertyListBuilder::Index BinaryPropertyListBuilder::addEncoded(const std::uint8_t* encoded, std::size_t size) {
  std::uint8_t* at = reserveScalar(size);
  std::copy(encoded, encoded + size, at);
  return addScalar(at, size);
}

std::string_view BinaryPropertyListBuilder::keep(std::string_view text) {
  if (textBlocks_.empty() || textBlockSize_ - textBlockUsed_ < text.size()) {
    textBlockSize_ = std::max<std::size_t>(text.size(), 1 << 16);
    textBlocks_.push_back(std::make_unique<char[]>(textBlockSize_));
    textBlockUsed_ = 0;
  }
  char* at = textBlocks_.back().get() + textBlockUsed_;
  std::copy(text.begin(), text.end(), at);
  textBlockUsed_ += text.size();
  return std::string_view(at, text.size());
}

BinaryPropertyListBuilder::StringSlot* BinaryPropertyListBuilder::findString(std::string_view text,
                                                                              std::size_t hash) {
  const std::size_t mask = strings_.size() - 1;
  const auto tag = static_cast<std::uint32_t>(hash);
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    StringSlot& slot = strings_[i];
    if (!slot.text) return &slot;
    if (slot.hash == tag && slot.size == text.size() && std::equal(text.begin(), text.end(), slot.text)) return &slot;
  }
}

void BinaryPropertyListBuilder::growStrings() {
  std::vector<StringSlot> old(strings_.size() * 2);
  old.swap(strings_);
  // The kept 32 bits of the hash place a slot as the whole hash did: the
  // table is far smaller than 2^32 slots. Texts are all different, so no
  // text is read.
  const std::size_t mask = strings_.size() - 1;
  for (const StringSlot& slot : old) {
    if (!slot.text) continue;
    std::size_t i = slot.hash & mask;
    while (strings_[i].text) i = (i + 1) & mask;
    strings_[i] = slot;
  }
}

BinaryPropertyListBuilder::Index BinaryPropertyListBuilder::string(std::string_view text) {
  const std::size_t hash = std::hash<std::string_view>{}(text);
  StringSlot* slot = findString(text, hash);
  if (slot->text) return slot->index;
  const bool ascii = std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  Index index = 0;
  std::string_view kept;
  if (ascii) {
    // The encoded string holds the text as it is: the table points there.
    std::uint8_t* start = reserveScalar(kMarkerRoom + text.size());
    At out{start};
    putMarkerAndCount(out, 0x5, text.size());
    std::copy(text.begin(), text.end(), out.at);
    kept = std::string_view(reinterpret_cast<const char*>(out.at), text.size());
    index = addScalar(start, static_cast<std::size_t>(out.at - start) + text.size());
  } else {
    std::u16string units;
    units.reserve(text.size());
    const auto* p = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
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
      for (std::size_t i = 1; i < length && p + i < end; ++i) c = (c << 6) | (p[i] & 0x3F);
      p += length;
      if (c >= 0x10000) {
        c -= 0x10000;
        units.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
        units.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
      } else {
        units.push_back(static_cast<char16_t>(c));
      }
    }
    std::uint8_t* start = reserveScalar(kMarkerRoom + 2 * units.size());
    At out{start};
    putMarkerAndCount(out, 0x6, units.size());
    for (char16_t u : units) putBigEndian(out, u, 2);
    index = addScalar(start, static_cast<std::size_t>(out.at - start));
    kept = keep(text);
  }
  *slot = StringSlot{kept.data(), static_cast<std::uint32_t>(kept.size()), index, static_cast<std::uint32_t>(hash)};
  if (++stringCount_ * 4 > strings_.size() * 3) growStrings();
  return index;
}

BinaryPropertyListBuilder::Index BinaryPropertyListBuilder::integer(std::int64_t value) {
  const bool small = value >= 0 && static_cast<std::uint64_t>(value) < kSmallIntegers;
  if (small && smallIntegers_[value] != 0) return smallIntegers_[value] - 1;
  Small encoded;
  // 1, 2 and 4-byte integers are unsigned; negatives take 8 bytes.
  const std::size_t width = value < 0 ? 8 : widthFor(static_cast<std::uint64_t>(value));
  encoded.push_back(static_cast<std::uint8_t>(0x10 | log2Width(width)));
  putBigEndian(encoded, static_cast<std::uint64_t>(value), width);
  const Index index = addEncoded(encoded.bytes, encoded.size);
  if (small) smallIntegers_[value] = index + 1;
  return index;
}

BinaryPropertyListBuilder::Index BinaryPropertyListBuilder::unsignedInteger(std::uint64_t value) {
  if (value <= kInt64Max) return integer(static_cast<std::int64_t>(value));
  Small encoded;
  encoded.push_back(0x14);
  putBigEndian(encoded, 0, 8);
  putBigEndian(encoded, value, 8);
  return addEncoded(encoded.bytes, encoded.size);
}

BinaryPropertyListBuilder::Index BinaryPropertyListBuilder::real(double value) {
  Small encoded;
  encoded.push_back(0x23);
  putBigEndian(encoded, std::bit_cast<std::uint64_t>(value), 8);
  return addEncoded(encoded.bytes, encoded.size);
}

BinaryPropertyListBuilder::Index BinaryPropertyListBuilder::boolean(bool value) {
  Index& known = booleans_[value ? 1 : 0];
  if (known == 0) {
    const std::uint8_t encoded = value ? 0x09 : 0x08;
    known = addEncoded(&encoded, 1) + 1;
  }
  return known - 1;
}

BinaryPropertyListBuilder::Index BinaryPropertyListBuilder::date(double secondsSince2001) {
  Small encoded;
  encoded.push_back(0x33);
  putBigEndian(encoded, std::bit_cast<std::uint64_t>(secondsSince2001), 8);
  return addEncoded(encoded.bytes, encoded.size);
}

BinaryPropertyListBuilder::Index BinaryPropertyListBuilder::uid(std::uint32_t value) {
  // Archives number their objects densely, so most references index a vector.
  if (value < kDenseUIDs) {
    if (value >= uids_.size()) uids_.resize(std::max<std::size_t>(value + 1, uids_.size() * 2), 0);
    if (uids_[value] != 0) return uids_[value] - 1;
  } else if (const auto found = largeUIDs_.find(value); found != largeUIDs_.end()) {
    return found->second;
  }
  Small encoded;
  const std::size_t width = widthFor(value);
  encoded.push_back(static_cast<std::uint8_t>(0x80 | (width - 1)));
  putBigEndian(encoded, value, width);
  const Index index = addEncoded(encoded.bytes, encoded.size);
  if (value < kDenseUIDs)
    uids_[value] = index + 1;
  else
    largeUIDs_.emplace(value, index);
  return index;
}

BinaryPropertyListBuilder::Index BinaryPropertyListBuilder::data(const std::uint8_t* bytes, std::size_t size) {
  std::uint8_t* start = reserveScalar(kMarkerRoom + size);
  At out{start};
  putMarkerAndCount(out, 0x4, size);
  std::copy(bytes, bytes + size, out.at);
  return addScalar(start, static_cast<std::size_t>(out.at - start) + size);
}

BinaryPropertyListBuilder::Index BinaryPropertyListBuilder::array(const Index* items, std::size_t count) {
  objects_.push_back(Entry{children_.size(), static_cast<std::uint32_t>(count), 0xA});
  children_.insert(children_.end(), items, items + count);
  return static_cast<Index>(objects_.size() - 1);
}

BinaryPropertyListBuilder::Index BinaryPropertyListBuilder::dictionary(const Index* keys, const Index* values,
                                                                       std::size_t count) {
  objects_.push_back(Entry{children_.size(), static_cast<std::uint32_t>(count * 2), 0xD});
  children_.insert(children_.end(), keys, keys + count);
  children_.insert(children_.end(), values, values + count);
  return static_cast<Index>(objects_.size() - 1);
}

namespace {

std::size_t markerSize(std::uint64_t count) { return count < 15 ? 1 : 2 + widthFor(count); }

// Writes `value` as `width` big-endian bytes.
inline std::uint8_t* putBigEndianAt(std::uint8_t* at, std::uint64_t value, std::size_t width) {
  for (std::size_t i = width; i-- > 0;) *at++ = static_cast<std::uint8_t>(value >> (8 * i));
  return at;
}

// The width is a constant here, so each reference's bytes are written
// without a loop over the width.
template <std::size_t Width>
std::uint8_t* putReferences(std::uint8_t* at, const std::uint32_t* refs, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) at = putBigEndianAt(at, refs[i], Width);
  return at;
}

}  // namespace

Data BinaryPropertyListBuilder::finish(Index top) const {
  const std::size_t refSize = widthFor(objects_.empty() ? 0 : objects_.size() - 1);
  // The size is known before a byte is written, so the output is written in
  // place, the offset table beside the objects.
  std::uint64_t tableOffset = 8 + scalarBytes_;
  for (const Entry& entry : objects_) {
    if (entry.kind == 0) continue;
    tableOffset += markerSize(entry.kind == 0xD ? entry.length / 2 : entry.length) + entry.length * refSize;
  }
  const std::size_t offsetSize = widthFor(tableOffset);
  Data out(tableOffset + objects_.size() * offsetSize + 32);
  static constexpr std::uint8_t kHeader[8] = {'b', 'p', 'l', 'i', 's', 't', '0', '0'};
  std::uint8_t* const base = out.data();
  std::copy(std::begin(kHeader), std::end(kHeader), base);
  std::uint8_t* at = base + 8;
  std::uint8_t* offset = base + tableOffset;
  for (const Entry& entry : objects_) {
    offset = putBigEndianAt(offset, static_cast<std::uint64_t>(at - base), offsetSize);
    if (entry.kind == 0) {
      const auto* first = reinterpret_cast<const std::uint8_t*>(static_cast<std::uintptr_t>(entry.start));
      at = std::copy(first, first + entry.length, at);
      continue;
    }
    At marker{at};
    putMarkerAndCount(marker, entry.kind, entry.kind == 0xD ? entry.length / 2 : entry.length);
    at = marker.at;
    const std::uint32_t* refs = children_.data() + entry.start;
    switch (refSize) {
      case 1: at = putReferences<1>(at, refs, entry.length); break;
      case 2: at = putReferences<2>(at, refs, entry.length); break;
      case 4: at = putReferences<4>(at, refs, entry.length); break;
      default: at = putReferences<8>(at, refs, entry.length); break;
    }
  }
  // The trailer: six unused bytes, the widths, the count, the top, the table.
  std::uint8_t* trailer = offset + 6;
  *trailer++ = static_cast<std::uint8_t>(offsetSize);
  *trailer++ = static_cast<std::uint8_t>(refSize);
  trailer = putBigEndianAt(trailer, objects_.size(), 8);
  trailer = putBigEndianAt(trailer, top, 8);
  putBigEndianAt(trailer, tableOffset, 8);
  return out;
}

}  // namespace vozi::platform

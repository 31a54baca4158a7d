#include "platform/PropertyListGuard.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <limits>
#include <string_view>
#include <vector>

namespace vozi::platform {

namespace {

// ---------------------------------------------------------------------------
// Binary: "bplist00", the objects, an offset table and a 32-byte trailer
// (offset size, reference size, object count, top object, table offset).

constexpr std::size_t kHeaderSize = 8;
constexpr std::size_t kTrailerSize = 32;

std::uint64_t readBigEndian(const std::uint8_t* p, std::size_t bytes) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < bytes; ++i) value = (value << 8) | p[i];
  return value;
}

struct BinaryLayout {
  const std::uint8_t* data;
  std::size_t offsetSize;
  std::size_t refSize;
  std::uint64_t objectCount;
  std::uint64_t tableOffset;  // objects end here
};

// One object as far as the walk needs it: where its references start and
// how many there are (containers), or nothing else (scalars).
struct ObjectInfo {
  unsigned type = 0;  // the marker's high nibble
  bool container = false;
  std::uint64_t refCount = 0;
  std::size_t refsAt = 0;
};

// Reads the count that follows a marker whose low nibble is `info`:
// the nibble itself, or 0xF and then an integer object.
std::optional<std::string> readCount(const BinaryLayout& layout, std::size_t& pos, unsigned info,
                                     std::uint64_t& count) {
  if (info != 0xF) {
    count = info;
    return std::nullopt;
  }
  if (pos >= layout.tableOffset) return "object count runs past the object area";
  const std::uint8_t marker = layout.data[pos++];
  if ((marker >> 4) != 0x1 || (marker & 0xF) > 3) return "bad object count marker";
  const std::size_t bytes = std::size_t{1} << (marker & 0xF);
  if (layout.tableOffset - pos < bytes) return "object count runs past the object area";
  count = readBigEndian(layout.data + pos, bytes);
  pos += bytes;
  return std::nullopt;
}

std::optional<std::string> inspectObject(const BinaryLayout& layout, std::uint64_t index, ObjectInfo& info) {
  const std::uint64_t offset = readBigEndian(layout.data + layout.tableOffset + index * layout.offsetSize,
                                             layout.offsetSize);
  if (offset < kHeaderSize || offset >= layout.tableOffset) return "object offset out of range";
  std::size_t pos = static_cast<std::size_t>(offset);
  const std::uint8_t marker = layout.data[pos++];
  const unsigned type = marker >> 4;
  const unsigned low = marker & 0xF;
  info.type = type;
  const std::size_t available = layout.tableOffset - pos;
  std::uint64_t payload = 0;  // bytes after the marker (and count)
  switch (type) {
    case 0x0:
      if (low != 0x8 && low != 0x9) return "unsupported simple object";
      return std::nullopt;
    case 0x1:
      if (low > 4) return "bad integer size";
      payload = std::uint64_t{1} << low;
      break;
    case 0x2:
      if (low != 2 && low != 3) return "bad real size";
      payload = std::uint64_t{1} << low;
      break;
    case 0x3:
      if (low != 3) return "bad date size";
      payload = 8;
      break;
    case 0x8:
      if (low > 7) return "bad reference size";
      payload = low + 1;
      break;
    case 0x4:
    case 0x5:
    case 0x6: {
      std::uint64_t count = 0;
      if (auto fault = readCount(layout, pos, low, count)) return fault;
      if (type == 0x6 && count > std::numeric_limits<std::uint64_t>::max() / 2) return "string too long";
      payload = type == 0x6 ? count * 2 : count;
      if (payload > layout.tableOffset - pos) return "object runs past the object area";
      return std::nullopt;
    }
    case 0xA:
    case 0xD: {
      std::uint64_t count = 0;
      if (auto fault = readCount(layout, pos, low, count)) return fault;
      const std::uint64_t limit = (layout.tableOffset - pos) / layout.refSize;
      if (count > (type == 0xD ? limit / 2 : limit)) return "container count runs past the object area";
      info.container = true;
      info.refCount = type == 0xD ? count * 2 : count;
      info.refsAt = pos;
      return std::nullopt;
    }
    default:
      return "unsupported object type";
  }
  if (payload > available) return "object runs past the object area";
  return std::nullopt;
}

// ---------------------------------------------------------------------------
// XML leaf values, in the forms libplist reads exactly.

std::string_view trim(std::string_view s) {
  const char* spaces = " \t\r\n";
  const auto first = s.find_first_not_of(spaces);
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(spaces) - first + 1);
}

bool allDigits(std::string_view s, bool hex = false) {
  if (s.empty()) return false;
  return std::all_of(s.begin(), s.end(), [hex](char c) {
    return hex ? std::isxdigit(static_cast<unsigned char>(c)) != 0 : (c >= '0' && c <= '9');
  });
}

// Decimal without leading zeros (a leading zero would be read as octal) or
// 0x-hexadecimal, optionally signed, within -2^63 .. 2^64-1.
bool isValidInteger(std::string_view s) {
  bool negative = false;
  if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  int base = 10;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
    if (!allDigits(s, true)) return false;
  } else {
    if (!allDigits(s)) return false;
    if (s.size() > 1 && s[0] == '0') return false;
  }
  std::uint64_t magnitude = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), magnitude, base);
  if (ec != std::errc() || end != s.data() + s.size()) return false;
  return !negative || magnitude <= std::uint64_t{1} << 63;
}

bool isValidReal(std::string_view s) {
  static constexpr std::string_view words[] = {"nan", "inf", "+inf", "-inf", "infinity", "+infinity", "-infinity"};
  std::string lower(s);
  for (auto& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (std::find(std::begin(words), std::end(words), lower) != std::end(words)) return true;
  if (!s.empty() && s[0] == '+') s.remove_prefix(1);
  if (s.empty() || !(std::isdigit(static_cast<unsigned char>(s[0])) || s[0] == '-' || s[0] == '.')) return false;
  double value = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  return ec == std::errc() && end == s.data() + s.size();
}

// YYYY-MM-DDTHH:MM:SSZ (the year may have more or fewer digits), whole seconds.
bool isValidDate(std::string_view s) {
  const auto dash = s.find('-');
  if (dash == std::string_view::npos || dash > 6) return false;
  if (!allDigits(s.substr(0, dash))) return false;
  const std::string_view rest = s.substr(dash + 1);
  if (rest.size() != 15 || rest[2] != '-' || rest[5] != 'T' || rest[8] != ':' || rest[11] != ':' || rest[14] != 'Z')
    return false;
  auto field = [&](std::size_t at, int low, int high) {
    std::string_view digits = rest.substr(at, 2);
    if (!allDigits(digits)) return false;
    const int v = (digits[0] - '0') * 10 + (digits[1] - '0');
    return v >= low && v <= high;
  };
  return field(0, 1, 12) && field(3, 1, 31) && field(6, 0, 23) && field(9, 0, 59) && field(12, 0, 60);
}

// Groups of four symbols, the last one or two of a group possibly '='.
// Whitespace may appear anywhere; padded groups may follow one another
// (libplist decodes such concatenations); a final group must be complete.
bool isValidBase64(std::string_view s) {
  std::size_t inGroup = 0;
  std::size_t padding = 0;
  for (char c : s) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
    if (c == '=') {
      if (inGroup < 2) return false;
      ++padding;
    } else {
      if (padding > 0) return false;  // a symbol after '=' within a group
      if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '/')) return false;
    }
    if (++inGroup == 4) {
      inGroup = 0;
      padding = 0;
    }
  }
  return inGroup == 0;
}

}  // namespace

std::optional<std::string> PropertyListGuard::checkBinary(const std::uint8_t* data, std::size_t size,
                                                          std::size_t maxDepth) {
  if (size < kHeaderSize + 1 + kTrailerSize || std::memcmp(data, "bplist00", kHeaderSize) != 0)
    return "not a binary property list";
  const std::uint8_t* trailer = data + size - kTrailerSize;
  BinaryLayout layout{data, trailer[6], trailer[7], readBigEndian(trailer + 8, 8), readBigEndian(trailer + 24, 8)};
  const std::uint64_t top = readBigEndian(trailer + 16, 8);
  if (layout.offsetSize < 1 || layout.offsetSize > 8 || layout.refSize < 1 || layout.refSize > 8)
    return "bad offset or reference size";
  const std::uint64_t objectsEnd = size - kTrailerSize;
  if (layout.objectCount == 0 || top >= layout.objectCount) return "bad object count or top object";
  if (layout.tableOffset <= kHeaderSize || layout.tableOffset > objectsEnd) return "bad offset table position";
  if (layout.objectCount > (objectsEnd - layout.tableOffset) / layout.offsetSize) return "offset table too short";
  if (layout.refSize < 8 && layout.objectCount > (std::uint64_t{1} << (8 * layout.refSize)))
    return "more objects than references can name";

  // Depth-first walk over the reachable objects with an explicit stack.
  // Per object: 0 unseen, 1 on the current path, 2 finished; finished
  // containers remember their nesting depth and their expanded node count,
  // so a shared object is walked once however often it is referenced.
  const std::size_t count = static_cast<std::size_t>(layout.objectCount);
  std::vector<std::uint8_t> state(count, 0);
  std::vector<std::uint16_t> depthOf(count, 0);
  std::vector<std::uint64_t> nodesOf(count, 0);
  std::vector<std::uint8_t> typeOf(count, 0);
  constexpr std::uint64_t kSaturated = std::uint64_t{1} << 62;
  std::uint64_t references = 0;

  struct Frame {
    std::uint64_t object;
    ObjectInfo info;
    std::uint64_t next = 0;
    std::uint16_t childDepth = 0;
    std::uint64_t nodes = 1;
  };
  std::vector<Frame> stack;

  auto isString = [](unsigned type) { return type == 0x5 || type == 0x6; };
  auto visit = [&](std::uint64_t index, bool mustBeString, std::uint16_t& depth, std::uint64_t& nodes,
                   bool& pushed) -> std::optional<std::string> {
    pushed = false;
    if (index >= layout.objectCount) return "object reference out of range";
    if (state[index] == 1) return "reference cycle";
    if (state[index] == 2) {
      if (mustBeString && !isString(typeOf[index])) return "dictionary key is not a string";
      depth = depthOf[index];
      nodes = nodesOf[index];
      // A finished container reached again from deeper down nests deeper here.
      if (stack.size() + depth > maxDepth) return "containers nested too deep";
      return std::nullopt;
    }
    ObjectInfo info;
    if (auto fault = inspectObject(layout, index, info)) return fault;
    typeOf[index] = static_cast<std::uint8_t>(info.type);
    if (mustBeString && !isString(info.type)) return "dictionary key is not a string";
    if (!info.container) {
      state[index] = 2;
      depthOf[index] = 0;
      nodesOf[index] = 1;
      depth = 0;
      nodes = 1;
      return std::nullopt;
    }
    if (stack.size() >= maxDepth) return "containers nested too deep";
    state[index] = 1;
    references += info.refCount;
    stack.push_back(Frame{index, info});
    pushed = true;
    return std::nullopt;
  };

  std::uint16_t rootDepth = 0;
  std::uint64_t rootNodes = 0;
  bool pushed = false;
  if (auto fault = visit(top, false, rootDepth, rootNodes, pushed)) return fault;
  while (!stack.empty()) {
    Frame& frame = stack.back();
    if (frame.next < frame.info.refCount) {
      const std::uint64_t child = readBigEndian(data + frame.info.refsAt + frame.next * layout.refSize, layout.refSize);
      const bool isKey = frame.info.type == 0xD && frame.next < frame.info.refCount / 2;
      ++frame.next;
      std::uint16_t depth = 0;
      std::uint64_t nodes = 0;
      if (auto fault = visit(child, isKey, depth, nodes, pushed)) return fault;
      if (!pushed) {
        frame.childDepth = std::max(frame.childDepth, depth);
        frame.nodes = std::min(kSaturated, frame.nodes + nodes);
      }
      continue;
    }
    const Frame done = frame;
    stack.pop_back();
    state[done.object] = 2;
    depthOf[done.object] = static_cast<std::uint16_t>(done.childDepth + 1);
    nodesOf[done.object] = done.nodes;
    if (stack.empty()) {
      rootNodes = done.nodes;
    } else {
      Frame& parent = stack.back();
      parent.childDepth = std::max(parent.childDepth, depthOf[done.object]);
      parent.nodes = std::min(kSaturated, parent.nodes + done.nodes);
    }
  }
  if (rootNodes > references + 1 + kSharedNodeAllowance) return "shared containers expand too far";
  return std::nullopt;
}

std::optional<std::string> PropertyListGuard::checkXML(const char* text, std::size_t size, std::size_t maxDepth) {
  const std::string_view doc(text, size);
  std::size_t depth = 0;
  std::size_t pos = 0;
  std::string_view leaf;          // integer, real, date or data element being read
  std::size_t leafStart = 0;

  auto skipPast = [&](std::string_view terminator) {
    const auto at = doc.find(terminator, pos);
    if (at == std::string_view::npos) return false;
    pos = at + terminator.size();
    return true;
  };

  while (true) {
    const auto open = doc.find('<', pos);
    if (open == std::string_view::npos) break;
    pos = open;
    const std::string_view rest = doc.substr(pos);
    if (!leaf.empty() && rest.substr(0, 2) != "</") return "markup inside a <" + std::string(leaf) + "> value";
    if (rest.starts_with("<?")) {
      if (!skipPast("?>")) return "unterminated processing instruction";
      continue;
    }
    if (rest.starts_with("<!--")) {
      pos += 4;
      if (!skipPast("-->")) return "unterminated comment";
      continue;
    }
    if (rest.starts_with("<![CDATA[")) {
      if (!skipPast("]]>")) return "unterminated CDATA section";
      continue;
    }
    if (rest.starts_with("<!DOCTYPE")) {
      const auto stop = doc.find_first_of("[>", pos);
      if (stop == std::string_view::npos) return "unterminated DOCTYPE";
      pos = stop;
      if (doc[stop] == '[') {
        if (!skipPast("]>")) return "unterminated DOCTYPE";
      } else {
        ++pos;
      }
      continue;
    }
    if (rest.starts_with("<!")) return "unsupported markup";

    const auto close = doc.find('>', pos);
    if (close == std::string_view::npos) return "unterminated tag";
    const bool closing = rest.size() > 1 && rest[1] == '/';
    const std::size_t nameStart = pos + (closing ? 2 : 1);
    auto nameEnd = doc.find_first_of(" \t\r\n/>", nameStart);
    if (nameEnd == std::string_view::npos || nameEnd > close) nameEnd = close;
    const std::string_view name = doc.substr(nameStart, nameEnd - nameStart);
    const bool empty = !closing && doc[close - 1] == '/';
    pos = close + 1;

    if (closing) {
      if (name == "array" || name == "dict") {
        if (depth == 0) return "unbalanced closing tag";
        --depth;
      } else if (!leaf.empty()) {
        if (name != leaf) return "mismatched closing tag";
        const std::string_view value = doc.substr(leafStart, open - leafStart);
        if (value.find('&') != std::string_view::npos) return "entity inside a <" + std::string(leaf) + "> value";
        const std::string_view trimmed = trim(value);
        const bool valid = leaf == "integer" ? isValidInteger(trimmed)
                           : leaf == "real"  ? isValidReal(trimmed)
                           : leaf == "date"  ? isValidDate(trimmed)
                                             : isValidBase64(value);
        if (!valid) return "invalid <" + std::string(leaf) + "> value '" + std::string(trimmed.substr(0, 40)) + "'";
        leaf = {};
      }
      continue;
    }
    if (name == "array" || name == "dict") {
      if (!empty && ++depth > maxDepth) return "containers nested too deep";
    } else if (name == "integer" || name == "real" || name == "date" || name == "data") {
      if (empty) {
        if (name != "data") return "empty <" + std::string(name) + "> element";
      } else {
        leaf = name;
        leafStart = pos;
      }
    }
  }
  if (!leaf.empty()) return "unterminated <" + std::string(leaf) + "> element";
  return std::nullopt;
}

}  // namespace vozi::platform

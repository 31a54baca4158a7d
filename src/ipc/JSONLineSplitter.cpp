#include "ipc/JSONLineSplitter.h"

#include <cstring>

namespace vozi {

namespace {
constexpr std::size_t kKeptCapacity = 64 * 1024;

bool isJSONWhitespace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
}  // namespace

JSONLineSplitter::JSONLineSplitter(std::size_t maxLineLength) : maxLineLength_(maxLineLength) {}

bool JSONLineSplitter::append(std::string_view bytes, std::vector<std::string>& pieces) {
  if (overflowed_) return false;
  while (!bytes.empty()) {
    const void* found = std::memchr(bytes.data(), '\n', bytes.size());
    const std::size_t length =
        found ? static_cast<std::size_t>(static_cast<const char*>(found) - bytes.data()) : bytes.size();
    if (pending_.size() + length > maxLineLength_) {
      overflowed_ = true;
      reset();
      return false;
    }
    const std::string_view segment = bytes.substr(0, length);
    scan(segment);
    pending_.append(segment);
    if (!found) break;
    emit(pieces);
    bytes.remove_prefix(length + 1);
  }
  // A whole object needs no line feed to be complete: whatever follows on
  // its line can only be whitespace or make the line invalid.
  if (shape_ == Shape::closed) emit(pieces);
  return true;
}

std::optional<std::string> JSONLineSplitter::finish() {
  std::optional<std::string> tail;
  if (shape_ != Shape::blank) tail = std::move(pending_);
  reset();
  overflowed_ = false;
  return tail;
}

void JSONLineSplitter::scan(std::string_view segment) {
  for (const char c : segment) {
    switch (shape_) {
      case Shape::blank:
        if (c == '{') {
          shape_ = Shape::object;
          depth_ = 1;
        } else if (!isJSONWhitespace(c)) {
          shape_ = Shape::other;
        }
        break;
      case Shape::object:
        if (inString_) {
          if (escaped_) {
            escaped_ = false;
          } else if (c == '\\') {
            escaped_ = true;
          } else if (c == '"') {
            inString_ = false;
          }
        } else if (c == '"') {
          inString_ = true;
        } else if (c == '{' || c == '[') {
          ++depth_;
        } else if (c == '}' || c == ']') {
          if (--depth_ == 0) shape_ = Shape::closed;
        }
        break;
      case Shape::closed:
        if (!isJSONWhitespace(c)) shape_ = Shape::other;
        break;
      case Shape::other:
        return;  // nothing can make the line whole again before its line feed
    }
  }
}

void JSONLineSplitter::emit(std::vector<std::string>& pieces) {
  if (shape_ != Shape::blank) pieces.push_back(std::move(pending_));
  reset();
}

void JSONLineSplitter::reset() {
  pending_.clear();
  // Do not hold on to the memory of one huge request for the connection's life.
  if (pending_.capacity() > kKeptCapacity) pending_.shrink_to_fit();
  shape_ = Shape::blank;
  depth_ = 0;
  inString_ = false;
  escaped_ = false;
}

}  // namespace vozi

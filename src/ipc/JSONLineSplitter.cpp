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
  std::size_t start = 0;  // where the current piece's bytes in this read begin
  for (std::size_t at = 0; at < bytes.size(); ++at) {
    const char c = bytes[at];
    switch (state_) {
      case State::between:
        if (isJSONWhitespace(c)) break;
        state_ = c == '{' ? State::object : State::malformed;
        depth_ = 1;
        start = at;
        break;
      case State::object:
        if (c == '\n') {
          if (!emit(bytes.substr(start, at - start), pieces)) return false;
        } else if (inString_) {
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
        } else if ((c == '}' || c == ']') && --depth_ == 0) {
          if (!emit(bytes.substr(start, at + 1 - start), pieces)) return false;
        }
        break;
      case State::malformed: {
        // Nothing in the line matters but its end.
        const void* found = std::memchr(bytes.data() + at, '\n', bytes.size() - at);
        if (!found) {
          at = bytes.size() - 1;
          break;
        }
        at = static_cast<std::size_t>(static_cast<const char*>(found) - bytes.data());
        if (!emit(bytes.substr(start, at - start), pieces)) return false;
        break;
      }
    }
  }
  if (state_ == State::between) return true;
  const std::string_view held = bytes.substr(start);
  if (pending_.size() + held.size() > maxLineLength_) {
    overflowed_ = true;
    reset();
    return false;
  }
  pending_.append(held);
  return true;
}

std::optional<std::string> JSONLineSplitter::finish() {
  std::optional<std::string> tail;
  if (state_ != State::between) tail = std::move(pending_);
  reset();
  overflowed_ = false;
  return tail;
}

bool JSONLineSplitter::emit(std::string_view tail, std::vector<std::string>& pieces) {
  if (pending_.size() + tail.size() > maxLineLength_) {
    overflowed_ = true;
    reset();
    return false;
  }
  pending_.append(tail);
  pieces.push_back(std::move(pending_));
  reset();
  return true;
}

void JSONLineSplitter::reset() {
  pending_.clear();
  // Do not hold on to the memory of one huge request for the connection's life.
  if (pending_.capacity() > kKeptCapacity) pending_.shrink_to_fit();
  state_ = State::between;
  depth_ = 0;
  inString_ = false;
  escaped_ = false;
}

}  // namespace vozi

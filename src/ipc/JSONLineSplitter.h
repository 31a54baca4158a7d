#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vozi {

// Cuts the byte stream of a socket connection into request pieces. The rule
// looks only at the bytes, never at where one read ends and the next
// begins, so a stream gives the same pieces however it is cut:
//   - JSON whitespace (line feeds included) between pieces is skipped;
//   - "{" starts an object, handed out the moment its top-level brace
//     closes: a request needs no line feed, and several may share a line;
//   - any other byte starts a malformed piece that runs to the end of its
//     line, handed out at the line feed for the decoder to refuse; so does
//     an object still open when a line feed comes, so one broken request
//     costs one line and the next line is read afresh.
// Nesting is followed through strings and escapes, so braces in strings do
// not count. Pieces are raw bytes without line feeds; the caller decodes
// them. Each byte is looked at once, and only the unfinished piece is held.
//
// A piece longer than the limit (whitespace between pieces is never held
// and does not count) makes the splitter refuse all further input.
//
// Not thread-safe: one connection's read queue owns it.
class JSONLineSplitter {
 public:
  static constexpr std::size_t defaultMaxLineLength = 16 * 1024 * 1024;

  explicit JSONLineSplitter(std::size_t maxLineLength = defaultMaxLineLength);

  // Adds the bytes of one read and appends every piece now complete to
  // `pieces`, in stream order. Returns false when a piece grows past the
  // limit: the pieces before it are in `pieces`, the overlong piece and all
  // later input are dropped.
  bool append(std::string_view bytes, std::vector<std::string>& pieces);

  // End of the stream: the unfinished piece (an object never closed, or a
  // malformed piece without its line feed), if there is one. The splitter
  // starts afresh afterwards.
  std::optional<std::string> finish();

  // Bytes held of the current, unfinished piece.
  std::size_t pendingLength() const { return pending_.size(); }
  bool overflowed() const { return overflowed_; }
  std::size_t maxLineLength() const { return maxLineLength_; }

 private:
  // Where the stream stands.
  enum class State {
    between,    // before a piece: whitespace is skipped
    object,     // inside a top-level object
    malformed,  // in a piece that ends at the line feed
  };

  // Ends the current piece with `tail`; false when it is too long.
  bool emit(std::string_view tail, std::vector<std::string>& pieces);
  void reset();

  std::size_t maxLineLength_;
  std::string pending_;
  State state_ = State::between;
  std::size_t depth_ = 0;
  bool inString_ = false;
  bool escaped_ = false;
  bool overflowed_ = false;
};

}  // namespace vozi
